#include "app/MainApp.h"

#include <objbase.h>
#include <ole2.h>

#include "app/AppMessages.h"
#include "protocol/Server.h"
#include "settings/Settings.h"
#include "settings/SoundEvents.h"
#include "skin/Skin.h"
#include "ui/Progressor.h"
#include "ui/ShowMessage.h"

bool CMainApp::HandOverToRunningCopy() {
    HWND running = ::FindWindowW(kHiddenWindowClass, nullptr);
    if (!running) return false;
    ::PostMessageW(running, WM_OPENMAINWINDOW, 0, 0);
    return true;
}

bool CMainApp::FailStartup(const wchar_t* text) {
    ShowMessage(text, MB_ICONERROR);
    return false;
}

bool CMainApp::InitInstance() {
    // COM and OLE for the clipboard's data objects; a failure shows later, where they are used.
    // (No ActiveX controls are hosted and the system draws 3D controls itself: nothing to enable.)
    ::CoInitialize(nullptr);
    ::OleInitialize(nullptr);

    // A second copy ends here, silently: no message box, no tray icon, no network.
    if (HandOverToRunningCopy()) return false;

    if (!theSettings.Load()) return FailStartup(L"Failed to load settings");
    RegisterSoundEvents();  // the result does not matter
    if (!theSkin.Setup()) return FailStartup(L"Failed to initialize resources");
    // The network: discovery sockets, TCP listener, friends, and the first query.
    // The user interface hears of the hosts from the first one on (until Exit).
    theServer.HostTable().SetListener(&m_hiddenWnd.HostEvents());
    if (!theServer.Init()) {
        theServer.HostTable().SetListener(nullptr);
        return FailStartup(L"Failed to initialize server");
    }

    // The hidden window joins the clipboard viewer chain as it is created; its failure has no
    // message of its own.
    if (!m_hiddenWnd.Create()) {
        theServer.HostTable().SetListener(nullptr);
        return false;
    }
    SetMainWindow(&m_hiddenWnd);
    theServer.SetClipboardOwner(m_hiddenWnd.Hwnd());

    // The progress window's thread (its result does not matter: transfers go on without it).
    theProgressor.CreateThread();
    theServer.SetProgress(&theProgressor);

    m_hiddenWnd.AddTrayIcon();
    return true;
}
