// pelkodrv: lets the LAN tests act as the user of one host. One command per run; results on
// stdout, the reason of a failure on stderr; exit code 0 for success, 1 for failure.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cwchar>

#include "Commands.h"
#include "Output.h"

namespace {

struct Command {
    const wchar_t* name;
    int (*run)(CArgs&);
    const char* usage;
};

constexpr Command kCommands[] = {
    {L"setclip", CmdSetClip, "setclip [--text T] [--format NAME HEX]... [--files PATH...]"},
    {L"getclip", CmdGetClip, "getclip NAME [--hex|--text|--wtext] [--timeout MS]"},
    {L"formats", CmdFormats, "formats"},
    {L"fillclip", CmdFillClip, "fillclip [--text T] --format NAME SIZE [--format NAME SIZE]..."},
    {L"pastecheck", CmdPasteCheck, "pastecheck NAME... [--timeout MS]"},
    {L"find", CmdFind, "find WINDOW"},
    {L"wait", CmdWait, "wait WINDOW [--timeout MS] [--gone]"},
    {L"info", CmdInfo, "info WINDOW"},
    {L"post", CmdPost, "post WINDOW MSG [WPARAM [LPARAM]]"},
    {L"send", CmdSend, "send WINDOW MSG [WPARAM [LPARAM]] [--timeout MS]"},
    {L"dialog", CmdDialog, "dialog WINDOW"},
    {L"press", CmdPress, "press WINDOW ID"},
    {L"tree", CmdTree, "tree WINDOW   (every descendant: hwnd parent id class visible text)"},
    {L"items", CmdItems, "items WINDOW   (the strings of a list box)"},
    {L"tray", CmdTray, "tray [--timeout MS] [KEY...]"},
    {L"keys", CmdMenuKeys, "keys [--timeout MS] KEY..."},
    {L"running", CmdRunning, "running PID|NAME"},
    {L"wait-exit", CmdWaitExit, "wait-exit PID|NAME [--timeout MS]"},
    {L"wait-idle", CmdWaitIdle, "wait-idle PID|NAME [--timeout MS]"},
    {L"hold", CmdHold, "hold   (runs until ended: keeps the desktop in use)"},
};

int Usage() {
    std::fputs("usage: pelkodrv COMMAND [ARGS]\n", stderr);
    for (const auto& command : kCommands) std::fprintf(stderr, "  %s\n", command.usage);
    std::fputs("WINDOW: --hwnd H | --class C [--title T] [--visible]; numbers decimal or 0x hex;\n"
               "KEY: down up left right return escape home end, or one character\n", stderr);
    return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    if (argc < 2) return Usage();
    for (const auto& command : kCommands) {
        if (std::wcscmp(command.name, argv[1]) == 0) {
            CArgs args(std::vector<std::wstring>(argv + 2, argv + argc));
            return command.run(args);
        }
    }
    Fail(std::wstring(L"unknown command ") + argv[1]);
    return Usage();
}
