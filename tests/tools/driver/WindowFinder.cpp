#include "WindowFinder.h"

#include <vector>

WindowQuery TakeWindowQuery(CArgs& args) {
    WindowQuery query;
    if (auto handle = args.TakeOption(L"hwnd")) {
        std::int64_t value = 0;
        if (!ParseNumber(*handle, value)) args.SetError(L"--hwnd: not a number: " + *handle);
        query.hwnd = reinterpret_cast<HWND>(static_cast<intptr_t>(value));
    }
    if (auto className = args.TakeOption(L"class")) { query.className = *className; query.hasClass = true; }
    if (auto title = args.TakeOption(L"title")) { query.title = *title; query.hasTitle = true; }
    query.visibleOnly = args.TakeFlag(L"visible");
    if (!query.hwnd && !query.hasClass && !query.hasTitle) args.SetError(L"name a window with --hwnd, --class or --title");
    return query;
}

HWND FindQueriedWindow(const WindowQuery& query) {
    if (query.hwnd) return ::IsWindow(query.hwnd) ? query.hwnd : nullptr;
    const wchar_t* className = query.hasClass ? query.className.c_str() : nullptr;
    const wchar_t* title = query.hasTitle ? query.title.c_str() : nullptr;
    HWND after = nullptr;
    while (HWND found = ::FindWindowExW(nullptr, after, className, title)) {
        if (!query.visibleOnly || ::IsWindowVisible(found)) return found;
        after = found;
    }
    return nullptr;
}

HWND WaitForQueriedWindow(const WindowQuery& query, DWORD timeoutMs, bool gone) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;) {
        HWND found = FindQueriedWindow(query);
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
