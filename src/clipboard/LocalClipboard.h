// The serving side's view of the local clipboard: the names of its formats as one format list
// text, the data of one format (by name) as a global memory block, and the mapping between
// format ids and names that both sides of the bridge use. The process has one, built before the
// server coordinator, which reaches it as its clipboard source and answers for its serving
// state before it calls in.
//
// Threads: GetLocalClipInfo and GetClipboardData run on the serving connections' event threads,
// several at once; they read the clipboard through the OLE clipboard's data object, never with
// OpenClipboard of their own, so they never take clipboard ownership. FormatNameFromId runs on
// the main thread only (its one name buffer is overwritten by each call); FormatIdFromName keeps
// no state.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <string>

#include "protocol/ClipboardSource.h"
#include "runtime/Handles.h"

class CLocalClipboard final : public IClipboardSource {
public:
    // Fills `list` with the format list text of the clipboard (emptied first). FALSE when the
    // OLE clipboard cannot be had; TRUE otherwise, also for an empty list.
    BOOL GetLocalClipInfo(std::wstring& list) const override;

    // The data of the named format as a movable global block that the caller owns; NULL when
    // the name maps to no format, the format is not on the clipboard or its data cannot be had
    // as a global block. A file list comes with network paths while ConvertFilenameToUNC is on.
    HGLOBAL GetClipboardData(const wchar_t* name) const override;

    // The id of a format name: the predefined names whatever their letter case, else the id
    // the system registers for the name (the same in every process of the desktop); 0 on failure.
    UINT FormatIdFromName(const wchar_t* name) const override;

    // The name of a format id, or NULL when it has none. Valid until the next call.
    const wchar_t* FormatNameFromId(UINT id) override;

    // The two halves of the work on a given data object (the clipboard's, or a test's own).
    static void ListFormats(IDataObject* data, std::wstring& list);
    static HGLOBAL TakeGlobalData(IDataObject* data, UINT id);

private:
    // The OLE clipboard opens the system clipboard for a moment inside each enumeration and
    // each data request, and only one thread can have it open at a time: two event threads
    // reading at once would make one of them fail now and then. This program's readers
    // therefore take turns under this lock. It is held only while the clipboard is read; the
    // owner of a delayed-rendered format renders on its own thread without it, so no wait on it
    // can come back round to a holder.
    mutable CriticalSection m_readers;
    wchar_t m_formatName[512] = {};
};
