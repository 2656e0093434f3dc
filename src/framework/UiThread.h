// A user-interface thread: a thread with its own windows and message loop, like the main thread
// but started by the program (the progress window lives on one, so that it stays responsive
// while the main thread is blocked in a clipboard request).
//
// CreateThread starts it (default security and stack, creation flags 0) and returns once the
// thread's InitInstance has run there, so the windows it makes exist and posted messages find
// its queue. The thread then runs its message loop until WM_QUIT (posted by Quit, or by the
// destruction of its main window), runs ExitInstance and ends with its result.
//
// A derived class that holds window objects must end the thread (Quit) before its members go:
// a window can only be destroyed by its own thread.
#pragma once

#include <windows.h>

#include "framework/MessageLoop.h"
#include "runtime/Handles.h"

class CUiThread : public CMessageLoop {
public:
    CUiThread() = default;
    CUiThread(const CUiThread&) = delete;
    CUiThread& operator=(const CUiThread&) = delete;
    // Asks a thread still running to quit and waits for it (bounded, see Quit).
    virtual ~CUiThread();

    // Starts the thread and waits for its InitInstance. Returns whether the thread was created
    // (a false InitInstance still counts as created: the thread has then already ended).
    bool CreateThread();

    // The object of the user-interface thread that runs the calling code, or null (main thread).
    static CUiThread* Current() noexcept;

    [[nodiscard]] DWORD ThreadId() const noexcept { return m_threadId; }
    [[nodiscard]] HANDLE ThreadHandle() const noexcept { return m_thread.Get(); }

    BOOL PostThreadMessage(UINT message, WPARAM wParam, LPARAM lParam) const noexcept;

    // Posts WM_QUIT to the thread and waits up to timeoutMs for it to end. True if it has ended
    // (or never ran). From the thread itself it only posts the quit message.
    bool Quit(DWORD timeoutMs = 5000);

protected:
    // On the new thread, before its message loop: make the thread's windows. False ends the
    // thread at once (ExitInstance still runs).
    virtual bool InitInstance() = 0;
    // On the new thread, after its message loop: returns the thread's exit code (the WM_QUIT
    // code by default).
    virtual int ExitInstance();

    int m_exitCode = 0;

private:
    static DWORD WINAPI ThreadProc(void* parameter) noexcept;
    void Run() noexcept;

    UniqueKernelHandle m_thread;
    UniqueKernelHandle m_started;   // set once InitInstance has returned
    DWORD m_threadId = 0;
};
