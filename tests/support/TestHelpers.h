// Small helpers of the Windows tests: names, ports, block contents, waits for events and threads,
// and a second thread that drives the windows (a box, a menu) whose modal loop holds the thread
// under test. Waits are long, so that a busy machine never fails a test; windows are found by
// polling, as there is no event for "a window of another thread appeared".
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cwchar>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "runtime/Handles.h"

constexpr DWORD GenerousWait = 30000;

// A manual-reset event for tests that wait on another thread.
struct TestEvent {
    void Set() noexcept { ::SetEvent(m_event.Get()); }
    bool Wait(DWORD timeout = GenerousWait) const { return ::WaitForSingleObject(m_event.Get(), timeout) == WAIT_OBJECT_0; }
    UniqueKernelHandle m_event{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

// The exit code of the thread once it ended, or STILL_ACTIVE if it did not within the time-out.
inline DWORD WaitForThreadEnd(HANDLE thread, DWORD timeout = GenerousWait) noexcept {
    DWORD code = STILL_ACTIVE;
    if (::WaitForSingleObject(thread, timeout) == WAIT_OBJECT_0) ::GetExitCodeThread(thread, &code);
    return code;
}

namespace testutil {

// The computer name as GetComputerNameW gives it (upper case, at most 15 characters).
inline std::wstring ComputerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    return ::GetComputerNameW(name, &length) ? std::wstring(name, length) : L"<no computer name>";
}
inline std::wstring ProgramPath() {   // of the running test program
    wchar_t path[MAX_PATH];
    return std::wstring(path, ::GetModuleFileNameW(nullptr, path, MAX_PATH));
}
inline USHORT LocalPort(SOCKET handle) {   // the port a socket is bound to (0 if none)
    sockaddr_in address{};
    int length = sizeof address;
    return ::getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length) == 0 ? ::ntohs(address.sin_port) : 0;
}
// Every byte of a global memory block (empty when it cannot be locked).
inline std::vector<std::uint8_t> BytesOf(HGLOBAL block) {
    GlobalLockGuard lock(block);
    const auto* data = static_cast<const std::uint8_t*>(lock.Data());
    return data ? std::vector<std::uint8_t>(data, data + lock.Size()) : std::vector<std::uint8_t>{};
}
// The wide text in a global memory block, up to its first null or the block's end.
inline std::wstring WideTextOf(HGLOBAL block) {
    GlobalLockGuard lock(block);
    const auto* text = static_cast<const wchar_t*>(lock.Data());
    return text ? std::wstring(text, ::wcsnlen(text, lock.Size() / sizeof(wchar_t))) : L"";
}

}  // namespace testutil

namespace uitest {

inline std::wstring TextOf(HWND hwnd) {
    wchar_t text[1024];
    return std::wstring(text, static_cast<size_t>(::GetWindowTextW(hwnd, text, 1024)));
}

// A visible top-level window of this process with the class, once there is one; null after the limit or once stop is set.
inline HWND WaitForProcessWindow(const wchar_t* className, const std::atomic<bool>* stop = nullptr) {
    for (const ULONGLONG end = ::GetTickCount64() + GenerousWait;; ::Sleep(10)) {
        for (HWND hwnd = nullptr; (hwnd = ::FindWindowExW(nullptr, hwnd, className, nullptr)) != nullptr;)
            if (DWORD pid = 0; ::GetWindowThreadProcessId(hwnd, &pid) && pid == ::GetCurrentProcessId())
                if (::IsWindowVisible(hwnd)) return hwnd;
        if ((stop && stop->load()) || ::GetTickCount64() > end) return nullptr;
    }
}

inline void PostKey(HWND w, UINT key) { ::PostMessageW(w, WM_KEYDOWN, key, 1), ::PostMessageW(w, WM_KEYUP, key, 0xC0000001); }

// Processes this thread's pending messages until the condition holds (or the limit passes).
inline bool PumpUntil(const std::function<bool()>& condition) {
    for (const auto end = ::GetTickCount64() + GenerousWait;; ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT)) {
        for (MSG msg; ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);) ::TranslateMessage(&msg), ::DispatchMessageW(&msg);
        if (condition()) return true;
        if (::GetTickCount64() > end) return false;
    }
}

// Watches, while the code under test runs, for windows of the class to appear; hands each one to
// `answer` (by default: Escape), waits until it has gone, and counts it. A menu or box that opened
// would hold the tested call until answered, so none can be missed: this proves that something did
// NOT open one, or answers the one it opens.
class WindowWatch {
public:
    using Answer = std::function<void(HWND)>;
    explicit WindowWatch(const wchar_t* className, Answer answer = [](HWND w) { PostKey(w, VK_ESCAPE); })
        : m_thread([this, name = std::wstring(className), answer] {
              while (!m_stop.load())
                  if (HWND hwnd = WaitForProcessWindow(name.c_str(), &m_stop)) {
                      ++m_seen, answer(hwnd);
                      while (::IsWindow(hwnd) && ::IsWindowVisible(hwnd)) ::Sleep(10);
                  }
          }) {}
    ~WindowWatch() { Stop(); }
    int Stop() { m_stop = true; if (m_thread.joinable()) m_thread.join(); return m_seen.load(); }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_seen{0};
    std::thread m_thread;   // last: starts once the counters exist
};

}  // namespace uitest
