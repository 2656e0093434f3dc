// The application object: start-up and exit hooks around the main thread's message loop.
// One per process (the program's CMainApp); Run() is called by wWinMain.
#pragma once

#include <windows.h>

#include "framework/MessageLoop.h"

class CApplication : public CMessageLoop {
public:
    CApplication();
    CApplication(const CApplication&) = delete;
    CApplication& operator=(const CApplication&) = delete;
    virtual ~CApplication();

    // The running application object, or null outside its lifetime.
    static CApplication* Current() noexcept { return s_current; }

    // InitInstance; if it succeeds, the message loop until WM_QUIT; then ExitInstance.
    // Returns the process exit code.
    int Run();

    // Start-up: false ends the process at once (ExitInstance still runs).
    virtual bool InitInstance() = 0;
    // Exit: returns the exit code (the WM_QUIT code by default).
    virtual int ExitInstance();

protected:
    int m_exitCode = 0;

private:
    static inline CApplication* s_current = nullptr;
};
