#include "framework/UiThread.h"

#include <exception>

#include "runtime/Trace.h"

namespace {
thread_local CUiThread* t_current = nullptr;
}  // namespace

CUiThread::~CUiThread() {
    if (m_thread && m_threadId != ::GetCurrentThreadId()) Quit();
}

CUiThread* CUiThread::Current() noexcept {
    return t_current;
}

bool CUiThread::CreateThread() {
    if (m_thread) return false;
    m_started.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!m_started) return false;
    m_thread.Reset(::CreateThread(nullptr, 0, &CUiThread::ThreadProc, this, 0, &m_threadId));
    if (!m_thread) {
        ExTrace(L"UiThread: CreateThread failed with %d", static_cast<int>(::GetLastError()));
        m_threadId = 0;
        return false;
    }
    // Either InitInstance has returned, or the thread is gone (it cannot set the event then).
    const HANDLE waits[] = {m_started.Get(), m_thread.Get()};
    ::WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    return true;
}

BOOL CUiThread::PostThreadMessage(UINT message, WPARAM wParam, LPARAM lParam) const noexcept {
    return m_threadId ? ::PostThreadMessageW(m_threadId, message, wParam, lParam) : FALSE;
}

bool CUiThread::Quit(DWORD timeoutMs) {
    if (!m_thread) return true;
    if (::WaitForSingleObject(m_thread.Get(), 0) == WAIT_OBJECT_0) return true;
    PostThreadMessage(WM_QUIT, 0, 0);
    if (m_threadId == ::GetCurrentThreadId()) return false;
    return ::WaitForSingleObject(m_thread.Get(), timeoutMs) == WAIT_OBJECT_0;
}

int CUiThread::ExitInstance() {
    return m_exitCode;
}

DWORD WINAPI CUiThread::ThreadProc(void* parameter) noexcept {
    auto* self = static_cast<CUiThread*>(parameter);
    t_current = self;
    self->Run();
    t_current = nullptr;
    return static_cast<DWORD>(self->m_exitCode);
}

void CUiThread::Run() noexcept {
    // The queue exists before the creator goes on, so its posted messages are not lost.
    MSG msg;
    ::PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    bool started = false;
    try {
        started = InitInstance();
    } catch (const std::exception& e) {
        ExTrace(L"UiThread: exception in InitInstance: %S", e.what());
    } catch (...) {
        ExTrace(L"UiThread: exception in InitInstance");
    }
    ::SetEvent(m_started.Get());
    if (started) m_exitCode = RunMessageLoop();
    try {
        m_exitCode = ExitInstance();
    } catch (const std::exception& e) {
        ExTrace(L"UiThread: exception in ExitInstance: %S", e.what());
    } catch (...) {
        ExTrace(L"UiThread: exception in ExitInstance");
    }
}
