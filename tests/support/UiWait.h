// Helpers for Windows tests that drive this process's own windows from a second thread while the
// thread under test sits in a modal loop (a dialog, a menu). Windows are found by polling with a
// generous limit: there is no event for "a window of another thread has appeared".
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace uitest {

constexpr DWORD kGenerousMs = 30000;

inline std::wstring TextOf(HWND hwnd) {
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

// Waits until a visible top-level window of this process has the class; null after the limit
// (or when stop is set).
inline HWND WaitForProcessWindow(const wchar_t* className, const std::atomic<bool>* stop = nullptr) {
    for (const ULONGLONG end = ::GetTickCount64() + kGenerousMs;; ::Sleep(10)) {
        for (HWND hwnd = nullptr; (hwnd = ::FindWindowExW(nullptr, hwnd, className, nullptr)) != nullptr;) {
            DWORD pid = 0;
            ::GetWindowThreadProcessId(hwnd, &pid);
            if (pid == ::GetCurrentProcessId() && ::IsWindowVisible(hwnd)) return hwnd;
        }
        if ((stop && stop->load()) || ::GetTickCount64() > end) return nullptr;
    }
}

inline void PostKey(HWND hwnd, UINT key) {
    ::PostMessageW(hwnd, WM_KEYDOWN, key, 1);
    ::PostMessageW(hwnd, WM_KEYUP, key, 0xC0000001);
}

// Processes this thread's pending messages until the condition holds (or the limit passes).
inline bool PumpUntil(const std::function<bool()>& condition) {
    for (const ULONGLONG end = ::GetTickCount64() + kGenerousMs;; ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT)) {
        for (MSG msg; ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);) ::TranslateMessage(&msg), ::DispatchMessageW(&msg);
        if (condition()) return true;
        if (::GetTickCount64() > end) return false;
    }
}

// Watches, while the code under test runs, for a window of the class to appear; dismisses each
// one with Escape and counts it. Used to prove that something did NOT open a menu or a box:
// a menu or box that opened would hold the tested call until dismissed, so it cannot be missed.
class WindowWatch {
public:
    explicit WindowWatch(const wchar_t* className) : m_className(className) {
        m_thread = std::thread([this] {
            while (!m_stop.load()) {
                if (HWND hwnd = WaitForProcessWindow(m_className.c_str(), &m_stop)) {
                    ++m_seen;
                    PostKey(hwnd, VK_ESCAPE);
                    while (::IsWindow(hwnd) && ::IsWindowVisible(hwnd)) ::Sleep(10);
                }
            }
        });
    }
    ~WindowWatch() { Stop(); }
    int Stop() {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
        return m_seen.load();
    }

private:
    std::wstring m_className;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_seen{0};
    std::thread m_thread;
};

}  // namespace uitest
