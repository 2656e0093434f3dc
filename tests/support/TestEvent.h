// A manual-reset event for tests that wait on another thread. Waits are long so that a busy
// machine never fails a test; nothing here sleeps.
#pragma once

#include <windows.h>

#include "runtime/Handles.h"

constexpr DWORD GenerousWait = 30000;

class TestEvent {
public:
    void Set() noexcept { ::SetEvent(m_event.Get()); }
    bool Wait(DWORD timeout = GenerousWait) const noexcept {
        return ::WaitForSingleObject(m_event.Get(), timeout) == WAIT_OBJECT_0;
    }

private:
    UniqueKernelHandle m_event{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

// The exit code of the thread once it ended, or STILL_ACTIVE if it did not within the time-out.
inline DWORD WaitForThreadEnd(HANDLE thread, DWORD timeout = GenerousWait) noexcept {
    DWORD code = STILL_ACTIVE;
    if (::WaitForSingleObject(thread, timeout) == WAIT_OBJECT_0) ::GetExitCodeThread(thread, &code);
    return code;
}
