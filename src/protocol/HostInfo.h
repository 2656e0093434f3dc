// HostInfo: what the program knows of one other host on the network.
#pragma once

#include <windows.h>

#include <string>

struct HostInfo {
    DWORD Address = 0;   // IPv4 address in host byte order: the host's identity
    std::wstring Name;   // the computer name it announced; never changes
    std::wstring Nick;   // the name shown for it: its stored nick, else a copy of Name
    BOOL Friend = FALSE;
};
