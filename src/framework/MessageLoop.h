// What the main thread's application object and a user-interface thread share: a message loop
// that a main window ends. Each thread's object is told (by CWindow) when one of its windows has
// handled its last message; the destruction of the main window posts WM_QUIT to that thread.
// Everything here runs on the thread that owns the loop.
#pragma once

#include <windows.h>

class CWindow;

class CMessageLoop {
public:
    CMessageLoop(const CMessageLoop&) = delete;
    CMessageLoop& operator=(const CMessageLoop&) = delete;

    // The main window: its destruction ends the message loop.
    void SetMainWindow(CWindow* window) noexcept { m_mainWindow = window; }
    [[nodiscard]] CWindow* MainWindow() const noexcept { return m_mainWindow; }

    // Called by CWindow when a window's last message has been handled.
    void OnWindowDestroyed(CWindow* window) noexcept;

protected:
    CMessageLoop() = default;
    ~CMessageLoop() = default;

private:
    CWindow* m_mainWindow = nullptr;
};

// Runs a message loop on the calling thread until WM_QUIT; returns its exit code.
// GetMessage failing (-1) ends the loop with that code instead of spinning.
int RunMessageLoop();
