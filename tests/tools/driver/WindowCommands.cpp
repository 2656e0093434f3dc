// Window commands: find a window (now or by waiting), describe it, send or post it a message,
// read a dialog and press one of its buttons, list every descendant and the strings of a list box.
#include <windows.h>

#include <vector>

#include "Commands.h"
#include "Output.h"
#include "WindowFinder.h"

namespace {

constexpr DWORD kDefaultWaitMs = 10000;

// MSG [WPARAM [LPARAM]] as numbers.
bool TakeMessage(const std::vector<std::wstring>& words, UINT& message, WPARAM& wParam, LPARAM& lParam) {
    if (words.empty() || words.size() > 3) return false;
    std::int64_t values[3] = {0, 0, 0};
    for (size_t i = 0; i < words.size(); ++i) {
        if (!ParseNumber(words[i], values[i])) return false;
    }
    message = static_cast<UINT>(values[0]);
    wParam = static_cast<WPARAM>(values[1]);
    lParam = static_cast<LPARAM>(values[2]);
    return true;
}

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[256] = L"";
    ::GetClassNameW(hwnd, name, 256);
    return name;
}

// The window named by the arguments, which must leave nothing else than `expected` positionals.
HWND TakeExistingWindow(CArgs& args, int& exitCode) {
    const WindowQuery query = TakeWindowQuery(args);
    if (args.HasError()) { exitCode = Fail(args.Error()); return nullptr; }
    HWND hwnd = FindQueriedWindow(query);
    if (!hwnd) exitCode = Fail(L"no such window");
    return hwnd;
}

}  // namespace

int CmdFind(CArgs& args) {
    int exitCode = 1;
    HWND hwnd = TakeExistingWindow(args, exitCode);
    if (!args.Positional().empty()) return Fail(L"find: unexpected argument " + args.Positional().front());
    if (!hwnd) return exitCode;
    PrintLine(FormatHex(reinterpret_cast<uintptr_t>(hwnd)));
    return 0;
}

int CmdWait(CArgs& args) {
    const WindowQuery query = TakeWindowQuery(args);
    const auto timeout = static_cast<DWORD>(args.TakeNumber(L"timeout", kDefaultWaitMs));
    const bool gone = args.TakeFlag(L"gone");
    if (!args.Positional().empty()) return Fail(L"wait: unexpected argument " + args.Positional().front());
    if (args.HasError()) return Fail(args.Error());
    HWND hwnd = WaitForQueriedWindow(query, timeout, gone);
    if (!hwnd) return Fail(gone ? L"the window is still there" : L"no such window appeared in time");
    if (!gone) PrintLine(FormatHex(reinterpret_cast<uintptr_t>(hwnd)));
    return 0;
}

int CmdInfo(CArgs& args) {
    int exitCode = 1;
    HWND hwnd = TakeExistingWindow(args, exitCode);
    if (!args.Positional().empty()) return Fail(L"info: unexpected argument " + args.Positional().front());
    if (!hwnd) return exitCode;
    RECT rect{};
    ::GetWindowRect(hwnd, &rect);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    PrintLine(L"hwnd " + FormatHex(reinterpret_cast<uintptr_t>(hwnd)));
    PrintLine(L"class " + ClassOf(hwnd));
    PrintLine(L"title " + WindowText(hwnd));
    PrintLine(L"rect " + std::to_wstring(rect.left) + L" " + std::to_wstring(rect.top) + L" " +
              std::to_wstring(rect.right) + L" " + std::to_wstring(rect.bottom));
    PrintLine(L"size " + std::to_wstring(rect.right - rect.left) + L" " + std::to_wstring(rect.bottom - rect.top));
    PrintLine(L"visible " + std::to_wstring(::IsWindowVisible(hwnd) ? 1 : 0));
    PrintLine(L"style " + FormatHex(static_cast<DWORD>(::GetWindowLongPtrW(hwnd, GWL_STYLE))));
    PrintLine(L"exstyle " + FormatHex(static_cast<DWORD>(::GetWindowLongPtrW(hwnd, GWL_EXSTYLE))));
    PrintLine(L"pid " + std::to_wstring(pid));
    PrintLine(L"foreground " + std::to_wstring(::GetForegroundWindow() == hwnd ? 1 : 0));
    return 0;
}

int CmdPost(CArgs& args) {
    int exitCode = 1;
    HWND hwnd = TakeExistingWindow(args, exitCode);
    if (!hwnd) return exitCode;
    UINT message = 0; WPARAM wParam = 0; LPARAM lParam = 0;
    if (!TakeMessage(args.Positional(), message, wParam, lParam) || args.HasError())
        return Fail(L"post: give MSG [WPARAM [LPARAM]] as numbers");
    if (!::PostMessageW(hwnd, message, wParam, lParam)) return FailWithLastError(L"PostMessageW failed");
    return 0;
}

int CmdSend(CArgs& args) {
    int exitCode = 1;
    const auto timeout = static_cast<UINT>(args.TakeNumber(L"timeout", kDefaultWaitMs));
    HWND hwnd = TakeExistingWindow(args, exitCode);
    if (!hwnd) return exitCode;
    UINT message = 0; WPARAM wParam = 0; LPARAM lParam = 0;
    if (!TakeMessage(args.Positional(), message, wParam, lParam) || args.HasError())
        return Fail(L"send: give MSG [WPARAM [LPARAM]] as numbers");
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutW(hwnd, message, wParam, lParam, SMTO_NORMAL, timeout, &result))
        return FailWithLastError(L"SendMessageTimeoutW failed or timed out");
    PrintLine(std::to_wstring(static_cast<long long>(result)));
    return 0;
}

int CmdDialog(CArgs& args) {
    int exitCode = 1;
    HWND hwnd = TakeExistingWindow(args, exitCode);
    if (!args.Positional().empty()) return Fail(L"dialog: unexpected argument " + args.Positional().front());
    if (!hwnd) return exitCode;
    PrintLine(L"title\t" + WindowText(hwnd));
    // Children in z-order, direct children only: "id<TAB>class<TAB>text".
    for (HWND child = ::GetWindow(hwnd, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        PrintLine(std::to_wstring(::GetDlgCtrlID(child)) + L"\t" + ClassOf(child) + L"\t" + WindowText(child));
    }
    return 0;
}

int CmdPress(CArgs& args) {
    int exitCode = 1;
    HWND hwnd = TakeExistingWindow(args, exitCode);
    if (!hwnd) return exitCode;
    const auto& rest = args.Positional();
    std::int64_t id = 0;
    if (rest.size() != 1 || !ParseNumber(rest[0], id) || args.HasError()) return Fail(L"press: give one button id");
    HWND button = ::GetDlgItem(hwnd, static_cast<int>(id));
    if (!button) return Fail(L"the dialog has no control " + rest[0]);
    // What a click does: the button's notification to its dialog. Posted, because the dialog
    // may end its modal loop and return only after the driver has gone.
    if (!::PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED), reinterpret_cast<LPARAM>(button)))
        return FailWithLastError(L"PostMessageW failed");
    return 0;
}

namespace {
BOOL CALLBACK PrintDescendant(HWND child, LPARAM) {
    const bool visible = ::IsWindowVisible(child) != FALSE;
    PrintLine(FormatHex(reinterpret_cast<uintptr_t>(child)) + L"\t" +
              FormatHex(reinterpret_cast<uintptr_t>(::GetParent(child))) + L"\t" +
              std::to_wstring(::GetDlgCtrlID(child)) + L"\t" + ClassOf(child) + L"\t" + (visible ? L"1" : L"0") +
              L"\t" + WindowText(child));
    return TRUE;
}
}  // namespace

int CmdTree(CArgs& args) {
    int exitCode = 1;
    HWND hwnd = TakeExistingWindow(args, exitCode);
    if (!args.Positional().empty()) return Fail(L"tree: unexpected argument " + args.Positional().front());
    if (!hwnd) return exitCode;
    // Every descendant, parents before children: "hwnd<TAB>parent<TAB>id<TAB>class<TAB>visible<TAB>text".
    ::EnumChildWindows(hwnd, PrintDescendant, 0);
    return 0;
}

int CmdItems(CArgs& args) {
    int exitCode = 1;
    HWND hwnd = TakeExistingWindow(args, exitCode);
    if (!args.Positional().empty()) return Fail(L"items: unexpected argument " + args.Positional().front());
    if (!hwnd) return exitCode;
    // The strings of a list box (LB_GETTEXT is carried across processes for list boxes with strings).
    DWORD_PTR count = 0;
    if (!::SendMessageTimeoutW(hwnd, LB_GETCOUNT, 0, 0, SMTO_NORMAL, 5000, &count) ||
        static_cast<LRESULT>(count) == LB_ERR)
        return Fail(L"items: not a list box");
    for (LRESULT i = 0; i < static_cast<LRESULT>(count); ++i) {
        wchar_t text[512] = L"";
        const LRESULT length = ::SendMessageW(hwnd, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
        if (length < 0 || length >= 512) return Fail(L"items: an entry too long to read");
        ::SendMessageW(hwnd, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        PrintLine(text);
    }
    return 0;
}
