// What a serving connection asks of the host it serves for: whether the peer may be served,
// whether the clipboard may be, and the clipboard's format list and data. The coordinator's
// serving policy answers (ServingPolicy.h); a test may give its own.
//
// Threads: the serving connections' event threads, several at once.
#pragma once

#include <windows.h>

#include <string>

class IServingSide {
public:
    // Whether the peer is served at all (the lock, friends only); the command is not looked at.
    virtual bool IsRequestAllowed(ULONG peer, DWORD command) = 0;
    // Whether the clipboard is served now: only for cmd_GetInfo and cmd_GetData, and never while
    // it holds formats borrowed from another host.
    virtual bool CanServeClipboard(ULONG peer, DWORD command) const = 0;
    // The format list text (FALSE when it cannot be had) and the data of one format as a block
    // that the caller owns (NULL when it cannot be had).
    virtual BOOL GetLocalClipInfo(std::wstring& list) const = 0;
    virtual HGLOBAL GetClipboardData(const wchar_t* name) const = 0;

protected:
    ~IServingSide() = default;
};
