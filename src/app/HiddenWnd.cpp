#include "app/HiddenWnd.h"

#include "app/AppMessages.h"
#include "framework/Application.h"
#include "protocol/Server.h"
#include "resource.h"
#include "settings/Settings.h"
#include "settings/SoundEvents.h"
#include "ui/ShowMessage.h"
#include "ui/UiMessages.h"

CHiddenWnd::CHiddenWnd()
    : m_remote(theServer, theSettings, WM_RENDERED),
      m_mainWnd(m_hostEvents, [this](DWORD address) { TakeRemoteClipboard(address); }),
      m_tray(theSettings, theServer.HostTable()),
      m_taskbarCreated(::RegisterWindowMessageW(L"TaskbarCreated")) {}

// The main window object (if any) goes before the host events it reports to.
CHiddenWnd::~CHiddenWnd() = default;

bool CHiddenWnd::Create() {
    HICON icon = static_cast<HICON>(
        ::LoadImageW(ModuleInstance(), MAKEINTRESOURCEW(IDI_PELKO), IMAGE_ICON, 16, 16, LR_SHARED));
    if (!RegisterWindowClass(kHiddenWindowClass, CS_DBLCLKS, nullptr, nullptr, icon)) return false;
    return CreateEx(WS_EX_TOOLWINDOW, kHiddenWindowClass, nullptr, WS_POPUP, 0, 0, 0, 0, ::GetDesktopWindow());
}

void CHiddenWnd::DestroyWindow() {
    if (Hwnd()) m_chain.Leave(Hwnd());   // stop the watchdog and leave the viewer chain first
    CWindow::DestroyWindow();
}

LRESULT CHiddenWnd::OnCreate(WPARAM wParam, LPARAM lParam) {
    if (DefaultProc(WM_CREATE, wParam, lParam) == -1) return -1;
    m_chain.Join(Hwnd());   // into the clipboard viewer chain, with its watchdog timer
    return 0;
}

void CHiddenWnd::ToggleLock() {
    theSettings.Locked = !theSettings.Locked;
    m_tray.ShowLock();
}

void CHiddenWnd::Exit() {
    // The network goes first: the others hear our goodbye while the icon is still there.
    theServer.Shutdown();
    theServer.HostTable().SetListener(nullptr);
    m_tray.Remove();
    DestroyWindow();   // the application's main window: its end posts WM_QUIT
    if (CApplication* app = CApplication::Current()) app->ExitInstance();
}

void CHiddenWnd::ReportFailure() {
    PlaySoundEvent(kSoundTaskFailed, kSoundFlagsAsync);
    ShowMessage(theServer.GetStatusText().c_str(), MB_ICONERROR);
}

void CHiddenWnd::TakeRemoteClipboard(DWORD host) {
    if (!m_remote.Take(Hwnd(), host)) ReportFailure();   // the local clipboard stays as it was
}

void CHiddenWnd::OnTrayNotify(UINT mouseMessage) {
    if (mouseMessage != WM_RBUTTONUP) return;
    // While the main window is open it answers the click, brought to the front: "Exit" waits
    // until it is closed.
    if (m_mainWnd.Exists()) return m_mainWnd.Open();
    OnTrayCommand(m_tray.Track(Hwnd()));
}

void CHiddenWnd::OnTrayCommand(UINT command) {
    switch (command) {
        case 0:
            break;   // dismissed
        case ID_TRAY_EXIT:
            Exit();
            break;
        case ID_TRAY_OPEN_MAIN:
            m_mainWnd.Create();
            break;
        case ID_TRAY_LOCK:
            ToggleLock();
            break;
        default:
            // A host item: its address goes to the placement of that host's remote clipboard.
            if (const std::optional<DWORD> address = m_tray.HostOfCommand(command)) TakeRemoteClipboard(*address);
            break;
    }
}

LRESULT CHiddenWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            return OnCreate(wParam, lParam);
        case WM_DRAWCLIPBOARD:
            m_chain.OnDrawClipboard(Hwnd());
            return 0;
        case WM_CHANGECBCHAIN:
            m_chain.OnChangeCBChain(Hwnd(), reinterpret_cast<HWND>(wParam), reinterpret_cast<HWND>(lParam));
            return 0;
        case WM_TIMER:
            m_chain.OnTimer(Hwnd());
            return DefaultProc(message, wParam, lParam);
        case WM_RENDERFORMAT:
            // A failed fetch: the pasting application gets nothing for this format.
            if (!m_remote.Render(Hwnd(), static_cast<UINT>(wParam))) ReportFailure();
            return DefaultProc(message, wParam, lParam);
        case WM_RENDERED:
            m_remote.OnRendered();
            return 0;
        case WM_TRAYNOTIFY:
            OnTrayNotify(static_cast<UINT>(lParam));
            return 0;
        case WM_OPENMAINWINDOW:
            m_mainWnd.Open();
            return 0;
        default:
            if (message == m_taskbarCreated && m_taskbarCreated != 0 && m_tray.IsAdded()) {
                AddTrayIcon();   // a restarted task bar has forgotten the icon
                return 0;
            }
            return DefaultProc(message, wParam, lParam);
    }
}
