// Windows Sockets for the whole process: started once during static construction, asking for
// version 1.1 exactly, and cleaned up once at exit. Every socket creation asks SocketsStarted().
//
// Threads: the start and the clean-up run on the main thread before and after everything else
// (the process-wide object theWinsock); the state is only read in between, by any thread.
#pragma once

#include <winsock2.h>

using WinsockStartupFunction = int (WSAAPI*)(WORD version, WSADATA* data);
using WinsockCleanupFunction = int (WSAAPI*)();

// Starts Winsock 1.1 with the given calls (the real ones unless a test passes its own).
// SocketsStarted() becomes true only if the call returns 0 and grants exactly 1.1; another
// granted version is given back at once with the clean-up call. Returns SocketsStarted().
bool StartSockets(WinsockStartupFunction startup = ::WSAStartup, WinsockCleanupFunction cleanup = ::WSACleanup) noexcept;
// Cleans up once: the clean-up call if Winsock was started, and never twice.
void CleanupSockets(WinsockCleanupFunction cleanup = ::WSACleanup) noexcept;

[[nodiscard]] bool SocketsStarted() noexcept;
// What the start-up call returned (0 for success).
[[nodiscard]] int SocketsStartupResult() noexcept;

// The process-wide start and clean-up (defined with the other process-wide objects). It does not
// trace: it lives outside the trace lock's lifetime.
class CWinsock {
public:
    CWinsock() noexcept { StartSockets(); }
    CWinsock(const CWinsock&) = delete;
    CWinsock& operator=(const CWinsock&) = delete;
    ~CWinsock() { CleanupSockets(); }
};

extern CWinsock theWinsock;
