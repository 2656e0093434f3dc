#include "runtime/Winsock.h"

#include <cstring>

namespace {
// Written by the start and the clean-up only (single-threaded times of the process).
bool g_started = false;
int g_startupResult = 0;
bool g_cleanedUp = false;
}  // namespace

bool StartSockets(WinsockStartupFunction startup, WinsockCleanupFunction cleanup) noexcept {
    WSADATA data;
    std::memset(&data, 0, sizeof data);
    g_startupResult = startup(MAKEWORD(1, 1), &data);
    g_started = false;
    g_cleanedUp = false;
    if (g_startupResult == 0) {
        if (LOBYTE(data.wVersion) == 1 && HIBYTE(data.wVersion) == 1) {
            g_started = true;
        } else {
            cleanup();  // a version we did not ask for: give it back
        }
    }
    return g_started;
}

void CleanupSockets(WinsockCleanupFunction cleanup) noexcept {
    if (g_cleanedUp) return;
    g_cleanedUp = true;
    if (g_started) cleanup();
    g_started = false;
}

bool SocketsStarted() noexcept { return g_started; }

int SocketsStartupResult() noexcept { return g_startupResult; }
