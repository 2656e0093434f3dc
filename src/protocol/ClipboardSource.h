// The local clipboard as the network side needs it: its format list and the data of one format
// for the serving connections, and the mapping between format ids and names for the requests.
// The clipboard bridge implements it (clipboard/LocalClipboard.h); a test may give its own.
//
// Threads: GetLocalClipInfo and GetClipboardData run on the serving connections' event threads,
// several at once; FormatIdFromName and FormatNameFromId on the main thread.
#pragma once

#include <windows.h>

#include <string>

class IClipboardSource {
public:
    // The format list text (emptied first); FALSE when the clipboard cannot be read.
    virtual BOOL GetLocalClipInfo(std::wstring& list) const = 0;
    // The named format's data as a movable block that the caller owns, or NULL.
    virtual HGLOBAL GetClipboardData(const wchar_t* name) const = 0;
    // The id of a format name (0 on failure), and the name of an id (NULL when it has none;
    // valid until the next call).
    virtual UINT FormatIdFromName(const wchar_t* name) const = 0;
    virtual const wchar_t* FormatNameFromId(UINT id) = 0;

protected:
    ~IClipboardSource() = default;
};
