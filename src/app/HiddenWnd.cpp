#include "app/HiddenWnd.h"

#include "app/AppMessages.h"
#include "clipboard/FileLists.h"
#include "clipboard/LocalClipboardWork.h"
#include "framework/Application.h"
#include "protocol/Server.h"
#include "resource.h"
#include "runtime/Trace.h"
#include "settings/Settings.h"
#include "settings/SoundEvents.h"
#include "ui/MainWnd.h"
#include "ui/ShowMessage.h"
#include "ui/UiMessages.h"

CHiddenWnd::CHiddenWnd() : m_taskbarCreated(::RegisterWindowMessageW(L"TaskbarCreated")) {}

// The main window object (if any) goes first; its window goes with it without calling back.
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

bool CHiddenWnd::MainWindowExists() const noexcept {
    return m_mainWnd && m_mainWnd->IsWindowValid();
}

bool CHiddenWnd::CreateMainWindow() {
    if (MainWindowExists()) return true;
    m_mainWnd = std::make_unique<CMainWnd>();
    m_mainWnd->SetHostEvents(&m_hostEvents);
    if (!m_mainWnd->Create()) {
        m_mainWnd.reset();   // also destroys a window that failed half-way
        ExTrace(L"HiddenWnd: main window not created (%d)", static_cast<int>(::GetLastError()));
        ShowMessage(L"Failed to create main window", MB_ICONERROR);
        return false;
    }
    // Closing the window frees its object and clears this pointer.
    m_mainWnd->SetOnGone([this] { m_mainWnd.reset(); });
    m_mainWnd->SetOnTakeClipboard([this](DWORD address) { TakeRemoteClipboard(address); });
    m_mainWnd->CenterWindow();
    ::ShowWindow(m_mainWnd->Hwnd(), SW_SHOW);
    ::SetForegroundWindow(m_mainWnd->Hwnd());
    return true;
}

void CHiddenWnd::OpenMainWindow() {
    if (MainWindowExists()) {
        ::SetForegroundWindow(m_mainWnd->Hwnd());
        ::SetFocus(m_mainWnd->Hwnd());
        return;
    }
    CreateMainWindow();
}

void CHiddenWnd::AddTrayIcon() {
    m_trayIcon.Add(Hwnd(), theSettings.Locked != FALSE);
}

void CHiddenWnd::ToggleLock() {
    theSettings.Locked = !theSettings.Locked;
    m_trayIcon.SetLocked(theSettings.Locked != FALSE);
}

void CHiddenWnd::Exit() {
    // The network goes first: the others hear our goodbye while the icon is still there.
    theServer.Shutdown();
    theServer.HostTable().SetListener(nullptr);
    m_trayIcon.Delete();
    DestroyWindow();   // the application's main window: its end posts WM_QUIT
    if (CApplication* app = CApplication::Current()) app->ExitInstance();
}

void CHiddenWnd::OnTrayNotify(UINT mouseMessage) {
    if (mouseMessage != WM_RBUTTONUP) return;
    // While the main window is open it answers the click, brought to the front: "Exit" waits
    // until it is closed.
    if (MainWindowExists()) return OpenMainWindow();
    OpenTrayMenu();
}

std::vector<TrayMenuHost> CHiddenWnd::ListTrayHosts() const {
    // The callback runs under the host table's lock: it only copies.
    std::vector<TrayMenuHost> hosts;
    theServer.ForEachHost(
        [](const HostInfo& host, void* context) {
            static_cast<std::vector<TrayMenuHost>*>(context)->push_back({host.Nick, host.Address, host.Friend != FALSE});
        },
        &hosts);
    return hosts;
}

void CHiddenWnd::OpenTrayMenu() {
    if (!m_trayMenu.Load()) return;
    POINT cursor{};
    if (!::GetCursorPos(&cursor) || !m_trayMenu.Popup()) return;
    m_trayMenu.Prepare(theSettings.Locked != FALSE, theSettings.ShowFriendsOnly != FALSE, ListTrayHosts());
    // Shown (with no size) and in the foreground, the window lets the menu close when the user
    // clicks elsewhere.
    ::ShowWindow(Hwnd(), SW_SHOW);
    ::SetForegroundWindow(Hwnd());
    const UINT command = m_trayMenu.Track(Hwnd(), cursor);
    ::ShowWindow(Hwnd(), SW_HIDE);
    OnTrayCommand(command);
}

void CHiddenWnd::OnTrayCommand(UINT command) {
    switch (command) {
        case 0:
            break;   // dismissed
        case ID_TRAY_EXIT:
            Exit();
            break;
        case ID_TRAY_OPEN_MAIN:
            CreateMainWindow();
            break;
        case ID_TRAY_LOCK:
            ToggleLock();
            break;
        default:
            // A host item: its address goes to the placement of that host's remote clipboard.
            if (const std::optional<DWORD> address = m_trayMenu.HostAddress(command)) TakeRemoteClipboard(*address);
            break;
    }
}

void CHiddenWnd::TakeRemoteClipboard(DWORD host) {
    m_currentHost = host;
    if (host == 0) return;
    std::wstring list;
    if (!theServer.GetRemoteClipInfo(host, list)) {
        PlaySoundEvent(kSoundTaskFailed, kSoundFlagsAsync);
        ShowMessage(theServer.GetStatusText().c_str(), MB_ICONERROR);
        return;   // the local clipboard stays as it was
    }
    theServer.PlaceRemoteFormats(list, host);
}

void CHiddenWnd::OnRenderFormat(UINT format) {
    const wchar_t* name = theServer.FormatNameFromId(format);
    ExTrace(L"OnRenderFormat %s", name ? name : L"");
    HGLOBAL data = theServer.GetRemoteClipData(theServer.PlacedHost(), format);
    if (data == nullptr) {
        PlaySoundEvent(kSoundTaskFailed, kSoundFlagsAsync);
        ShowMessage(theServer.GetStatusText().c_str(), MB_ICONERROR);
        return;   // the pasting application gets nothing for this format
    }
    if (!SetFetchedData(format, data)) {
        KeepLateData(format, data);
        return;
    }
    // The pasting application waits until this handler returns, and under Wine an asynchronous
    // sound first starts a thread of the highest priority: the sound follows the render instead.
    if (!::PostMessageW(Hwnd(), WM_RENDERED, 0, 0)) PlaySoundEvent(kSoundTransferCompleted, kSoundFlagsAsync);
}

// The clipboard is open, for the render or by this window. A file list brings the shell's item
// list and the text form first; they replace their own promises.
bool CHiddenWnd::SetFetchedData(UINT format, HGLOBAL data) {
    if (format == CF_HDROP) {
        if (HGLOBAL items = CreateIDListArray(data)) {
            if (!::SetClipboardData(::RegisterClipboardFormatW(L"Shell IDList Array"), items)) ::GlobalFree(items);
        }
        if (theSettings.AddFilenameAsText) {
            if (HGLOBAL text = CreateTextFromHDROP(data)) {
                if (!::SetClipboardData(CF_UNICODETEXT, text)) ::GlobalFree(text);
            }
        }
    }
    return ::SetClipboardData(format, data) != nullptr;   // from here the system owns the block
}

// Windows gives a render 30 seconds; a longer transfer finds the pasting application gone and
// the clipboard no longer open for it. Fetched once, the data is not thrown away: while this window
// still owns the clipboard it goes there as ordinary data beside the formats still promised, and
// the next paste takes it at once.
void CHiddenWnd::KeepLateData(UINT format, HGLOBAL data) {
    UniqueGlobal owned(data);
    const wchar_t* name = theServer.FormatNameFromId(format);
    bool kept = false;
    {
        CLocalClipboardWork clipboard;   // closed when it goes
        if (!clipboard.Open(Hwnd(), L"keeping data that arrived late")) return;
        // Whoever emptied the clipboard since (the user copied something else) has the last word.
        kept = ::GetClipboardOwner() == Hwnd() && SetFetchedData(format, owned.Get());
    }
    ExTrace(L"OnRenderFormat %s: arrived late, %s", name ? name : L"",
            kept ? L"kept on the clipboard" : L"dropped, the clipboard has changed");
    if (!kept) return;
    (void)owned.Detach();   // the system's now
    PlaySoundEvent(kSoundTransferCompleted, kSoundFlagsAsync);
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
            OnRenderFormat(static_cast<UINT>(wParam));
            return DefaultProc(message, wParam, lParam);
        case WM_TRAYNOTIFY:
            OnTrayNotify(static_cast<UINT>(lParam));
            return 0;
        case WM_OPENMAINWINDOW:
            OpenMainWindow();
            return 0;
        case WM_RENDERED:
            PlaySoundEvent(kSoundTransferCompleted, kSoundFlagsAsync);
            return 0;
        default:
            if (message == m_taskbarCreated && m_taskbarCreated != 0 && m_trayIcon.IsAdded()) {
                AddTrayIcon();   // a restarted task bar has forgotten the icon
                return 0;
            }
            return DefaultProc(message, wParam, lParam);
    }
}
