#include "framework/Window.h"

#include <exception>
#include <utility>

#include "framework/Application.h"
#include "framework/UiThread.h"
#include "runtime/Trace.h"

CWindow::~CWindow() {
    // A window whose object goes away must not call it any more.
    if (m_hwnd) {
        ::SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
        HWND hwnd = m_hwnd;
        m_hwnd = nullptr;
        ::DestroyWindow(hwnd);
    }
}

bool CWindow::RegisterWindowClass(const wchar_t* className, UINT classStyle, HCURSOR cursor,
                                  HBRUSH background, HICON icon) {
    WNDCLASSW existing{};
    if (::GetClassInfoW(ModuleInstance(), className, &existing)) return true;
    WNDCLASSW wc{};
    wc.style = classStyle;
    wc.lpfnWndProc = ::DefWindowProcW;  // our windows subclass at WM_NCCREATE through CreateEx
    wc.hInstance = ModuleInstance();
    wc.hIcon = icon;
    wc.hCursor = cursor;
    wc.hbrBackground = background;
    wc.lpszClassName = className;
    return ::RegisterClassW(&wc) != 0;
}

namespace {
// The program's classes are registered with DefWindowProcW; CreateEx attaches the object and
// subclasses the new window from a CBT hook, before its first message (WM_NCCREATE).
// The object travels to the hook through these thread-local slots.
thread_local CWindow* t_creating = nullptr;
thread_local HHOOK t_hook = nullptr;
}  // namespace

LRESULT CALLBACK CWindow::CreationHook(int code, WPARAM wParam, LPARAM lParam) noexcept {
    if (code == HCBT_CREATEWND && t_creating) {
        HWND hwnd = reinterpret_cast<HWND>(wParam);
        CWindow* self = std::exchange(t_creating, nullptr);
        self->m_hwnd = hwnd;
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWindow::StaticWindowProc));
        return 0;
    }
    return ::CallNextHookEx(t_hook, code, wParam, lParam);
}

bool CWindow::CreateEx(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style,
                       int x, int y, int width, int height, HWND parent, HMENU menu) {
    if (m_hwnd) return false;
    t_creating = this;
    t_hook = ::SetWindowsHookExW(WH_CBT, CreationHook, nullptr, ::GetCurrentThreadId());
    HWND hwnd = ::CreateWindowExW(exStyle, className, title, style, x, y, width, height, parent, menu,
                                  ModuleInstance(), this);
    if (t_hook) ::UnhookWindowsHookEx(t_hook);
    t_hook = nullptr;
    t_creating = nullptr;
    if (!hwnd) m_hwnd = nullptr;  // creation failed after the hook attached us
    return hwnd != nullptr;
}

void CWindow::DestroyWindow() {
    if (m_hwnd) ::DestroyWindow(m_hwnd);
}

void CWindow::CenterWindow() {
    CenterOnScreen(m_hwnd);
}

void CenterOnScreen(HWND hwnd) {
    RECT window{};
    if (!hwnd || !::GetWindowRect(hwnd, &window)) return;
    RECT area{};
    MONITORINFO info{sizeof(info)};
    if (::GetMonitorInfoW(::MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST), &info)) {
        area = info.rcWork;
    } else {
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    }
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    const int x = area.left + ((area.right - area.left) - width) / 2;
    const int y = area.top + ((area.bottom - area.top) - height) / 2;
    ::SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CWindow::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefaultProc(message, wParam, lParam);
}

LRESULT CALLBACK CWindow::StaticWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    auto* self = reinterpret_cast<CWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return ::DefWindowProcW(hwnd, message, wParam, lParam);
    LRESULT result = 0;
    try {
        result = self->WindowProc(message, wParam, lParam);
    } catch (const std::exception& e) {
        ExTrace(L"Window: exception in message %u: %S", message, e.what());
        result = ::DefWindowProcW(hwnd, message, wParam, lParam);
    } catch (...) {
        ExTrace(L"Window: exception in message %u", message);
        result = ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->m_hwnd = nullptr;
        if (CApplication* app = CApplication::Current()) app->OnWindowDestroyed(self);
        if (CUiThread* thread = CUiThread::Current()) thread->OnWindowDestroyed(self);
        self->OnFinalDestroy();  // may free the object: nothing touches it after this
    }
    return result;
}

std::wstring WindowText(HWND hwnd) {
    if (!hwnd) return {};
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}
