#include "app/MainApp.h"

#include <objbase.h>
#include <ole2.h>

#include "app/WindowMessages.h"
#include "settings/Settings.h"

bool CMainApp::InitInstance() {
    ::CoInitialize(nullptr);
    ::OleInitialize(nullptr);

    // A running copy takes over: it shows its main window, this copy ends silently.
    if (HWND running = ::FindWindowW(kHiddenWindowClass, nullptr)) {
        ::PostMessageW(running, WM_OPENMAINWINDOW, 0, 0);
        return false;
    }

    if (!theSettings.Load()) {
        ::MessageBoxW(nullptr, L"Failed to load settings", L"Pelko", MB_ICONERROR);
        return false;
    }
    theSettings.RegisterSoundEvents();
    return false;
}
