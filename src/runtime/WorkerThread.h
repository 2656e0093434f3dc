// The program's thread class for background work without windows: the event thread of every
// non-blocking socket and the client's request thread are built on it. A subclass supplies the
// body (Run); this class starts it, asks it to stop, stops it with a time-out (terminating it
// when the time-out passes), and runs the body under a guard so that an exception or a processor
// fault ends the thread with a line on the debugger output instead of ending the process.
//
// Threads: Start and Stop are called by the owning side; Run, OnThreadStart and
// OnThreadEnd run on the new thread. The stop flag is the field both sides write and is only
// touched with interlocked operations; the handle and id fields are written by the owner when it
// starts the thread and cleared by the thread itself as its last act (atomics). The real thread
// handle is kept privately and is closed only by the owning side, so the owner may wait on it
// while the thread clears its public fields.
//
// Destruction: a subclass whose Run uses its own members stops the thread in its own destructor;
// by the time this class's destructor runs the subclass part is gone. The body may destroy its
// own object (a socket handler that frees its socket does): the destructor then does not wait on
// its own thread, and the thread touches the object no more after Run returns.
#pragma once

#include <windows.h>

#include <atomic>

#include "runtime/Handles.h"

class WorkerThread {
public:
    static constexpr DWORD ThreadSignature = 0x54485244;  // "THRD"

    WorkerThread() noexcept;
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;
    // Stops the thread (waiting up to 5000 ms, then terminating it) and clears the signature.
    virtual ~WorkerThread();

    // Starts the body with the parameter. Fails if the thread is running or CanStart refuses.
    virtual bool Start(void* parameter, unsigned creationFlags = 0, unsigned stackSize = 0,
                       SECURITY_ATTRIBUTES* security = nullptr);
    // With wait: asks the body to stop and waits up to the time-out; true if it ended in time.
    // A thread still running after that (or at once without wait) is terminated, and the result
    // is the termination's. Called on the thread itself it only asks: a thread cannot wait for
    // its own end.
    virtual bool Stop(bool wait = true, DWORD timeout = 5000);
    // Waits up to the time-out for the thread to end, neither asking it nor ending it (owner
    // side). True once it has ended, or when none was started.
    bool WaitForEnd(DWORD timeout) const noexcept;

    // Non-virtual queries; IsRunning is safe on a pointer to a destroyed object.
    [[nodiscard]] bool IsRunning() const noexcept;
    [[nodiscard]] bool IsStopRequested() const noexcept;
    bool SetPriority(int priority) noexcept;

    // What the owner needs to tell threads apart: the id (0 when none) and the handle
    // (INVALID_HANDLE_VALUE when none).
    [[nodiscard]] DWORD ThreadId() const noexcept { return m_threadId.load(); }
    [[nodiscard]] HANDLE Handle() const noexcept { return m_handle.load(); }
    [[nodiscard]] bool IsCurrentThread() const noexcept;

protected:
    // The body, on the new thread, inside the guard; its result is the exit code.
    virtual DWORD Run(void* parameter);
    // Asked by Start, on the owner's thread, before anything happens.
    virtual bool CanStart(void* parameter);
    // On the new thread, before the body and outside the guard.
    virtual void OnThreadStart(void* parameter);
    // On the new thread, after the body, unless the body destroyed the object or the thread was
    // terminated. Crashed: the guard caught an exception or fault (the exit code is then 0).
    // It may change the exit code.
    virtual void OnThreadEnd(bool crashed, DWORD& exitCode);
    // Forgets the thread: handle INVALID_HANDLE_VALUE, id 0.
    virtual void ResetHandle();

public:
    // Sets the stop flag (the body polls IsStopRequested); returns its previous value.
    // (Declared last, after the thread hooks, to keep the virtual table in its usual order.)
    virtual LONG RequestStop();

private:
    // Handed to the thread entry; the entry copies it at once.
    struct StartBlock {
        WorkerThread* owner;
        void* parameter;
    };
    // Lives on the thread's stack for the thread's life; the destructor marks it when the body
    // destroys its own object, so that the thread entry leaves the object alone afterwards.
    struct RunningRecord {
        bool ownerGone = false;
    };

    static unsigned __stdcall ThreadEntry(void* argument);
    // False once the destructor has run (the signature is cleared), or for memory not readable.
    [[nodiscard]] bool IsValid() const noexcept;
    static void ReportCrash() noexcept;

    // The thread's identity, the start block, the stop flag and the signature; then private
    // bookkeeping.
    std::atomic<DWORD> m_threadId{0};
    std::atomic<HANDLE> m_handle{INVALID_HANDLE_VALUE};
    StartBlock m_start{nullptr, nullptr};
    volatile LONG m_stopFlag = 0;
    volatile DWORD m_signature = 0;
    UniqueKernelHandle m_ownedHandle;      // the real handle; owner side only
    RunningRecord* m_running = nullptr;    // written and read on the thread itself only
};
