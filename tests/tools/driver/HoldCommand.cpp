// hold: keeps the host's desktop in use for as long as it runs. Wine closes a desktop, and with
// it the shell process that holds the task bar, the tray and the clipboard manager, about a
// second after the last program using it ends; on Windows the shell always runs. The harness
// starts one of these on every host, so that what a driver command leaves on the clipboard
// stays there between commands, as it would on Windows.
#include <windows.h>

#include "Commands.h"
#include "Output.h"

int CmdHold(CArgs& args) {
    if (!args.Positional().empty()) return Fail(L"hold takes no arguments");
    // A message-only window: it uses the desktop, and FindWindow never sees it.
    HWND window = ::CreateWindowExW(0, L"STATIC", L"pelkodrv hold", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    if (!window) return FailWithLastError(L"cannot create a window");
    PrintLine(L"holding");
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) ::DispatchMessageW(&msg);
    return 0;
}
