// The application object: start-up and exit hooks around the main thread's message loop.
// One per process (the program's CMainApp); Run() is called by wWinMain.
#pragma once

#include <windows.h>

class CWindow;

class CApplication {
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

    // The main window: its destruction ends the message loop.
    void SetMainWindow(CWindow* window) noexcept { m_mainWindow = window; }
    [[nodiscard]] CWindow* MainWindow() const noexcept { return m_mainWindow; }

    // Called by CWindow when a window's last message has been handled.
    void OnWindowDestroyed(CWindow* window) noexcept;

protected:
    int m_exitCode = 0;

private:
    static inline CApplication* s_current = nullptr;
    CWindow* m_mainWindow = nullptr;
};

// Runs a message loop on the calling thread until WM_QUIT; returns its exit code.
// GetMessage failing (-1) ends the loop with that code instead of spinning.
int RunMessageLoop();
