// What the host table tells about its changes, to one listener that the user interface installs
// (Hosts::SetListener). Called on the thread that changed the table (discovery's socket thread,
// or the main thread), with the table's lock held: an implementation posts or records, and never
// sends, waits or calls back into the table.
#pragma once

#include <windows.h>

class IHostsListener {
public:
    // `name` lives as long as the host's record.
    virtual void HostAdded(DWORD address, const wchar_t* name) = 0;
    virtual void HostRemoved(DWORD address) = 0;
    virtual void HostChanged(DWORD address, BOOL isFriend) = 0;

protected:
    ~IHostsListener() = default;
};
