// A manual-reset event for tests that wait on something another thread does. Waits are long
// (GenerousWait) because a slow or busy machine must not fail a test; a test never sleeps to wait.
#pragma once

#include <windows.h>

#include "framework/Handles.h"

constexpr DWORD GenerousWait = 30000;

class TestEvent {
public:
    TestEvent() : m_event(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    void Set() noexcept { ::SetEvent(m_event.Get()); }
    void Reset() noexcept { ::ResetEvent(m_event.Get()); }
    // True if the event is set within the time-out.
    bool Wait(DWORD timeout = GenerousWait) const noexcept {
        return ::WaitForSingleObject(m_event.Get(), timeout) == WAIT_OBJECT_0;
    }
    bool IsSet() const noexcept { return Wait(0); }
    HANDLE Get() const noexcept { return m_event.Get(); }

private:
    UniqueKernelHandle m_event;
};

// A handle of the calling thread that outlives the thread's objects: for waiting on its end and
// reading its exit code.
inline HANDLE OpenCurrentThread() noexcept {
    return ::OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, ::GetCurrentThreadId());
}

// The exit code of an ended thread, or STILL_ACTIVE when it did not end within the time-out.
inline DWORD WaitForThreadEnd(HANDLE thread, DWORD timeout = GenerousWait) noexcept {
    if (::WaitForSingleObject(thread, timeout) != WAIT_OBJECT_0) return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    ::GetExitCodeThread(thread, &code);
    return code;
}
