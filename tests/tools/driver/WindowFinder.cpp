#include "WindowFinder.h"

#include <vector>

WindowSpec TakeWindowSpec(CArgs& args) {
    WindowSpec spec;
    if (auto handle = args.TakeOption(L"hwnd")) {
        std::int64_t value = 0;
        if (!ParseNumber(*handle, value)) args.SetError(L"--hwnd: not a number: " + *handle);
        spec.hwnd = reinterpret_cast<HWND>(static_cast<intptr_t>(value));
    }
    if (auto className = args.TakeOption(L"class")) { spec.className = *className; spec.hasClass = true; }
    if (auto title = args.TakeOption(L"title")) { spec.title = *title; spec.hasTitle = true; }
    spec.visibleOnly = args.TakeFlag(L"visible");
    if (!spec.hwnd && !spec.hasClass && !spec.hasTitle) args.SetError(L"name a window with --hwnd, --class or --title");
    return spec;
}

HWND FindSpecWindow(const WindowSpec& spec) {
    if (spec.hwnd) return ::IsWindow(spec.hwnd) ? spec.hwnd : nullptr;
    const wchar_t* className = spec.hasClass ? spec.className.c_str() : nullptr;
    const wchar_t* title = spec.hasTitle ? spec.title.c_str() : nullptr;
    HWND after = nullptr;
    while (HWND found = ::FindWindowExW(nullptr, after, className, title)) {
        if (!spec.visibleOnly || ::IsWindowVisible(found)) return found;
        after = found;
    }
    return nullptr;
}

HWND WaitSpecWindow(const WindowSpec& spec, DWORD timeoutMs, bool gone) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;) {
        HWND found = FindSpecWindow(spec);
        if (!gone && found) return found;
        if (gone && !found) return HWND_BROADCAST;  // any non-null value: success
        if (::GetTickCount64() >= deadline) return nullptr;
        ::Sleep(20);
    }
}

std::wstring WindowText(HWND hwnd) {
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) return {};
    std::vector<wchar_t> buffer(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!::SendMessageTimeoutW(hwnd, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                               SMTO_ABORTIFHUNG, 5000, &copied))
        return {};
    return std::wstring(buffer.data(), copied);
}
