#include "runtime/WorkerThread.h"

#include <process.h>

#include <cwchar>

#include "runtime/FaultGuard.h"

WorkerThread::WorkerThread() noexcept : m_signature(ThreadSignature) {}

WorkerThread::~WorkerThread() {
    if (IsCurrentThread()) {
        // The body is destroying its own object: waiting would be waiting for itself. The thread
        // runs on and must not touch the object once the body returns.
        RequestStop();
        if (m_running) m_running->ownerGone = true;
        m_ownedHandle.Reset();
    } else {
        Stop(true, 5000);
    }
    m_signature = 0;
}

bool WorkerThread::Start(void* parameter, unsigned creationFlags, unsigned stackSize, SECURITY_ATTRIBUTES* security) {
    if (IsRunning() || !CanStart(parameter)) return false;
    m_start = StartBlock{this, parameter};
    ::InterlockedExchange(&m_stopFlag, 0);
    m_ownedHandle.Reset();  // a thread that ended by itself leaves its handle for us to close
    // Created suspended so that the handle and id are in place before the body can run (and
    // before the thread, ending at once, clears them).
    unsigned threadId = 0;
    const uintptr_t thread = ::_beginthreadex(security, stackSize, &ThreadEntry, &m_start,
                                              creationFlags | CREATE_SUSPENDED, &threadId);
    if (thread == 0) return false;
    const auto handle = reinterpret_cast<HANDLE>(thread);
    m_ownedHandle.Reset(handle);
    m_threadId = threadId;
    m_handle = handle;
    if (!(creationFlags & CREATE_SUSPENDED)) ::ResumeThread(handle);
    return true;
}

bool WorkerThread::Stop(bool wait, DWORD timeout) {
    if (IsCurrentThread()) {
        RequestStop();
        return true;
    }
    bool result = true;
    if (IsRunning()) {
        const HANDLE handle = m_ownedHandle.Get();
        bool ended = false;
        if (wait) {
            RequestStop();
            ended = ::WaitForSingleObject(handle, timeout) == WAIT_OBJECT_0;
            result = ended;
        }
        if (!ended) {
            result = ::TerminateThread(handle, 0) != FALSE;
            // Termination completes asynchronously; the object may be freed right after us.
            if (result) ::WaitForSingleObject(handle, timeout);
        }
    }
    m_handle = INVALID_HANDLE_VALUE;
    ResetHandle();
    m_ownedHandle.Reset();
    return result;
}

bool WorkerThread::WaitForEnd(DWORD timeout) const noexcept {
    return !m_ownedHandle || ::WaitForSingleObject(m_ownedHandle.Get(), timeout) == WAIT_OBJECT_0;
}

bool WorkerThread::IsValid() const noexcept {
    return !::IsBadReadPtr(this, sizeof(WorkerThread)) && m_signature == ThreadSignature;
}

bool WorkerThread::IsRunning() const noexcept {
    if (!IsValid()) return false;
    const HANDLE handle = m_handle.load();
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr) return false;
    DWORD code = 0;
    return ::GetExitCodeThread(handle, &code) && code == STILL_ACTIVE;
}

bool WorkerThread::IsStopRequested() const noexcept {
    return ::InterlockedExchangeAdd(const_cast<volatile LONG*>(&m_stopFlag), 0) == 1;
}

bool WorkerThread::SetPriority(int priority) noexcept {
    const HANDLE handle = m_handle.load();
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr) return false;
    return ::SetThreadPriority(handle, priority) != FALSE;
}

bool WorkerThread::IsCurrentThread() const noexcept {
    return m_threadId.load() == ::GetCurrentThreadId();
}

DWORD WorkerThread::Run(void*) { return 0; }
bool WorkerThread::CanStart(void*) { return true; }
void WorkerThread::OnThreadStart(void*) {}
void WorkerThread::OnThreadEnd(bool, DWORD&) {}

void WorkerThread::ResetHandle() {
    // The handle last: an owner that sees it gone may free the object at once.
    m_threadId = 0;
    m_handle = INVALID_HANDLE_VALUE;
}

LONG WorkerThread::RequestStop() {
    return ::InterlockedExchange(&m_stopFlag, 1);
}

void WorkerThread::ReportCrash() noexcept {
    // Straight to the debugger output, not through the trace log: the trace lock may be held by
    // the very code that faulted.
    wchar_t line[256];
    ::_snwprintf(line, 256, L"Unhandled exception caught in thread %X", static_cast<unsigned>(::GetCurrentThreadId()));
    line[255] = L'\0';
    ::OutputDebugStringW(line);
}

unsigned __stdcall WorkerThread::ThreadEntry(void* argument) {
    auto* block = static_cast<StartBlock*>(argument);
    if (block == nullptr || block->owner == nullptr) {
        ::SetLastError(ERROR_BAD_ARGUMENTS);
        return ERROR_BAD_ARGUMENTS;
    }
    WorkerThread* const owner = block->owner;
    void* const parameter = block->parameter;
    RunningRecord record;
    owner->m_running = &record;

    owner->OnThreadStart(parameter);
    DWORD exitCode = 0;
    const GuardOutcome outcome = RunGuarded([&] { exitCode = owner->Run(parameter); });
    const bool crashed = outcome != GuardOutcome::Completed;
    if (crashed) {
        exitCode = 0;
        ReportCrash();
    }
    // From here on the object may be gone: the body (or the end hook) may have destroyed it.
    if (!record.ownerGone) owner->OnThreadEnd(crashed, exitCode);
    if (!record.ownerGone) {
        owner->m_running = nullptr;
        owner->ResetHandle();  // the last touch: the owner may free the object after it
    }
    ::_endthreadex(exitCode);
    return exitCode;
}
