// The tray menu as a user reaches it: the shell's callback (WM_TRAYNOTIFY with a right-button
// release) to the program's hidden window, then keys to the pop-up menu window ("#32768"),
// which the menu's own modal loop reads.
#include <windows.h>

#include <cwctype>

#include "Commands.h"
#include "Output.h"
#include "WindowFinder.h"
#include "app/WindowMessages.h"

namespace {

constexpr DWORD kDefaultMenuWaitMs = 10000;
constexpr WPARAM kTrayIconId = 1;

struct NamedKey {
    const wchar_t* name;
    WORD vk;
};
constexpr NamedKey kKeys[] = {
    {L"down", VK_DOWN}, {L"up", VK_UP}, {L"left", VK_LEFT}, {L"right", VK_RIGHT},
    {L"return", VK_RETURN}, {L"enter", VK_RETURN}, {L"escape", VK_ESCAPE}, {L"esc", VK_ESCAPE},
    {L"home", VK_HOME}, {L"end", VK_END},
};

WindowQuery MenuQuery() {
    WindowQuery query;
    query.className = L"#32768";
    query.hasClass = true;
    query.visibleOnly = true;
    return query;
}

// Posts each key in order; a single character goes as WM_CHAR (menu mnemonics).
bool PostKeys(HWND menu, const std::vector<std::wstring>& keys) {
    for (const auto& key : keys) {
        bool posted = false;
        for (const auto& named : kKeys) {
            if (::_wcsicmp(named.name, key.c_str()) == 0) {
                posted = ::PostMessageW(menu, WM_KEYDOWN, named.vk, 1) && ::PostMessageW(menu, WM_KEYUP, named.vk, 0xC0000001);
                if (!posted) { FailWithLastError(L"cannot post key " + key); return false; }
                break;
            }
        }
        if (posted) continue;
        if (key.size() == 1) {
            if (!::PostMessageW(menu, WM_CHAR, key[0], 1)) { FailWithLastError(L"cannot post key " + key); return false; }
            continue;
        }
        Fail(L"unknown key " + key);
        return false;
    }
    return true;
}

// Sends the keys to the open menu; if the last key ends the menu, waits until it has closed,
// so that the command chosen has been taken when the driver returns.
int SendMenuKeys(HWND menu, const std::vector<std::wstring>& keys, DWORD timeoutMs) {
    if (!PostKeys(menu, keys)) return 1;
    if (keys.empty()) return 0;
    const std::wstring& last = keys.back();
    const bool closes = ::_wcsicmp(last.c_str(), L"return") == 0 || ::_wcsicmp(last.c_str(), L"enter") == 0 ||
                        ::_wcsicmp(last.c_str(), L"escape") == 0 || ::_wcsicmp(last.c_str(), L"esc") == 0;
    if (closes) {
        // A closed menu window is hidden or destroyed; either counts.
        const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
        while (::IsWindow(menu) && ::IsWindowVisible(menu)) {
            if (::GetTickCount64() >= deadline) return Fail(L"the menu did not close");
            ::Sleep(20);
        }
    }
    return 0;
}

}  // namespace

int CmdTray(CArgs& args) {
    const auto timeout = static_cast<DWORD>(args.TakeNumber(L"timeout", kDefaultMenuWaitMs));
    const auto& keys = args.Positional();
    if (args.HasError()) return Fail(args.Error());
    HWND hidden = ::FindWindowW(kHiddenWindowClass, nullptr);
    if (!hidden) return Fail(L"no window of class \"Pelko Hidden Window Class\"");
    if (HWND stale = FindQueriedWindow(MenuQuery())) return Fail(L"a menu is already open: " + FormatHex(reinterpret_cast<uintptr_t>(stale)));
    if (!::PostMessageW(hidden, WM_TRAYNOTIFY, kTrayIconId, WM_RBUTTONUP)) return FailWithLastError(L"PostMessageW failed");
    HWND menu = WaitForQueriedWindow(MenuQuery(), timeout, false);
    if (!menu) return Fail(L"no menu opened");
    PrintLine(FormatHex(reinterpret_cast<uintptr_t>(menu)));
    return SendMenuKeys(menu, keys, timeout);
}

int CmdMenuKeys(CArgs& args) {
    const auto timeout = static_cast<DWORD>(args.TakeNumber(L"timeout", kDefaultMenuWaitMs));
    const auto& keys = args.Positional();
    if (args.HasError()) return Fail(args.Error());
    if (keys.empty()) return Fail(L"keys: give at least one key");
    HWND menu = WaitForQueriedWindow(MenuQuery(), timeout, false);
    if (!menu) return Fail(L"no menu is open");
    return SendMenuKeys(menu, keys, timeout);
}
