// The application object: the start-up sequence, the guard against a second running copy, and
// the hidden window, which becomes the application's main window. Main thread.
#pragma once

#include "app/HiddenWnd.h"
#include "framework/Application.h"

class CMainApp : public CApplication {
public:
    // Start-up, in order; false ends the process at once (a second copy, or a failed step).
    bool InitInstance() override;

    [[nodiscard]] CHiddenWnd& HiddenWnd() noexcept { return m_hiddenWnd; }

private:
    // A running copy takes over: it gets WM_OPENMAINWINDOW and this copy ends. True if found.
    static bool HandOverToRunningCopy();
    // Tells the user why start-up stopped; returns false for InitInstance to return.
    static bool FailStartup(const wchar_t* text);

    CHiddenWnd m_hiddenWnd;
};
