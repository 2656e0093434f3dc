// A stand-in for the program, for the LAN harness's own tests: it shows, in the fewest lines,
// the outward behaviour that the harness and the driver must be able to observe and drive:
// numbered trace lines, the single-copy guard, the hidden window with its tray icon and menu,
// the main window on demand, exit from the menu, and a format promised with delayed rendering
// ("pelko_standin.exe promise NAME TEXT") and a message box on request (WM_USER+1).
// Not the program: no network, no settings.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdarg>
#include <string>

#include "app/WindowMessages.h"

namespace {

constexpr UINT kCmdExit = 0x8003, kCmdOpenMain = 0x8004, kCmdLock = 0x8005;
constexpr UINT kShowMessage = WM_USER + 1;  // posted by a test: show a message box

int g_traceNumber = 0;
HWND g_hidden = nullptr;
HWND g_main = nullptr;
UINT g_promisedFormat = 0;
std::wstring g_promisedText;

void Trace(const wchar_t* format, ...) {
    wchar_t line[1024];
    int prefix = std::swprintf(line, 1024, L"#%08d  ", g_traceNumber++);
    va_list args;
    va_start(args, format);
    std::vswprintf(line + prefix, 1000 - static_cast<size_t>(prefix), format, args);
    va_end(args);
    wcscat(line, L"\r\n");
    ::OutputDebugStringW(line);
}

void AddTrayIcon() {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = g_hidden;
    data.uID = 1;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = WM_TRAYNOTIFY;
    data.hIcon = ::LoadIconW(nullptr, IDI_APPLICATION);
    wcscpy(data.szTip, L"Pelko Network Clipboard");
    Trace(L"Stand-in: tray icon added %d", ::Shell_NotifyIconW(NIM_ADD, &data) ? 1 : 0);
}

void RemoveTrayIcon() {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = g_hidden;
    data.uID = 1;
    ::Shell_NotifyIconW(NIM_DELETE, &data);
}

LRESULT CALLBACK MainProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE) { ::DestroyWindow(hwnd); return 0; }
    if (message == WM_NCDESTROY) g_main = nullptr;
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

void OpenMainWindow() {
    if (g_main) { ::SetForegroundWindow(g_main); ::SetFocus(g_main); return; }
    WNDCLASSW windowClass{};
    windowClass.style = CS_DBLCLKS | CS_SAVEBITS;
    windowClass.lpfnWndProc = MainProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(::GetStockObject(GRAY_BRUSH));
    windowClass.lpszClassName = kMainWindowClass;
    ::RegisterClassW(&windowClass);
    const int x = (::GetSystemMetrics(SM_CXSCREEN) - 500) / 2, y = (::GetSystemMetrics(SM_CYSCREEN) - 300) / 2;
    g_main = ::CreateWindowExW(WS_EX_APPWINDOW, kMainWindowClass, L"Pelko",
                               WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_SYSMENU, x, y, 500, 300,
                               nullptr, nullptr, windowClass.hInstance, nullptr);
    ::ShowWindow(g_main, SW_SHOW);
    ::SetForegroundWindow(g_main);
    Trace(L"Stand-in: main window opened");
}

void OpenTrayMenu() {
    HMENU menu = ::CreatePopupMenu();
    ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(menu, MF_STRING, kCmdLock, L"Lock");
    ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(menu, MF_STRING, kCmdOpenMain, L"Open Main Window");
    ::AppendMenuW(menu, MF_STRING, kCmdExit, L"Exit");
    POINT cursor{};
    ::GetCursorPos(&cursor);
    ::ShowWindow(g_hidden, SW_SHOW);
    ::SetForegroundWindow(g_hidden);
    Trace(L"Stand-in: tray menu opened");
    const UINT command = ::TrackPopupMenu(menu, TPM_RETURNCMD | TPM_BOTTOMALIGN | TPM_RIGHTALIGN, cursor.x, cursor.y, 0, g_hidden, nullptr);
    ::ShowWindow(g_hidden, SW_HIDE);
    ::DestroyMenu(menu);
    Trace(L"Stand-in: tray menu chose %u", command);
    if (command == kCmdExit) {
        RemoveTrayIcon();
        ::DestroyWindow(g_hidden);
    } else if (command == kCmdOpenMain) {
        OpenMainWindow();
    }
}

LRESULT CALLBACK HiddenProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_TRAYNOTIFY:
        if (lParam == WM_RBUTTONUP) {
            if (g_main) ::SetForegroundWindow(g_main);
            else OpenTrayMenu();
        }
        return 0;
    case WM_OPENMAINWINDOW:
        OpenMainWindow();
        return 0;
    case kShowMessage:
        Trace(L"Stand-in: message box returned %d",
              ::MessageBoxW(nullptr, L"Stand-in message", L"Pelko", MB_OKCANCEL | MB_ICONERROR));
        return 0;
    case WM_RENDERFORMAT:
        if (wParam == g_promisedFormat) {
            const size_t bytes = (g_promisedText.size() + 1) * sizeof(wchar_t);
            HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
            if (void* data = block ? ::GlobalLock(block) : nullptr) {
                memcpy(data, g_promisedText.c_str(), bytes);
                ::GlobalUnlock(block);
                if (!::SetClipboardData(g_promisedFormat, block)) ::GlobalFree(block);
            }
            Trace(L"Stand-in: rendered %u", static_cast<unsigned>(wParam));
        }
        return 0;
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    Trace(L"Stand-in: start");
    if (HWND running = ::FindWindowW(kHiddenWindowClass, nullptr)) {
        ::PostMessageW(running, WM_OPENMAINWINDOW, 0, 0);
        return 0;
    }
    WNDCLASSW windowClass{};
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = HiddenProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kHiddenWindowClass;
    ::RegisterClassW(&windowClass);
    g_hidden = ::CreateWindowExW(WS_EX_TOOLWINDOW, kHiddenWindowClass, nullptr, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
    if (!g_hidden) return 1;
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (argc == 4 && wcscmp(argv[1], L"promise") == 0 && ::OpenClipboard(g_hidden)) {
        g_promisedFormat = ::RegisterClipboardFormatW(argv[2]);
        g_promisedText = argv[3];
        ::EmptyClipboard();
        ::SetClipboardData(g_promisedFormat, nullptr);  // delayed: rendered on WM_RENDERFORMAT
        ::CloseClipboard();
        Trace(L"Stand-in: promised %u", g_promisedFormat);
    }
    ::LocalFree(argv);
    AddTrayIcon();
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    Trace(L"Stand-in: exit");
    return static_cast<int>(msg.wParam);
}
