// pelkodrv: lets the LAN tests act as the user of one host, one command per run: copy and paste,
// find, describe and message windows, read dialogs and press their buttons, pick tray menu items,
// watch processes. Results go to stdout, the reason of a failure to stderr, both UTF-8 with lines
// ended by "\n" only, so that the tests compare exact bytes; exit code 0 success, 1 failure.
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <map>
#include <string>
#include <vector>

#include "Pattern.h"
#include "app/WindowMessages.h"
#include "framework/Handles.h"

namespace {

// --- command line, output, waiting ------------------------------------------------------------
// Decimal, or hexadecimal with "0x"; an optional leading '-'. False unless the whole text is a number.
bool ParseNumber(const std::wstring& text, long long& value) {
    wchar_t* end = nullptr;
    value = static_cast<long long>(std::wcstoull(text.c_str(), &end, text.find_first_of(L"xX") != std::wstring::npos ? 16 : 10));
    return !text.empty() && *end == 0;
}

// Each option and how many words follow it (-1: all the rest, such as file names).
constexpr std::pair<const wchar_t*, int> kOptions[] = {{L"text", 1}, {L"format", 2}, {L"files", -1}, {L"hex", 0},
    {L"wtext", 0}, {L"hwnd", 1}, {L"class", 1}, {L"visible", 0}, {L"gone", 0}, {L"timeout", 1}};

// The words after the command's name: options by name with their values in order (a flag has
// none), and the other words in order.
struct Args {
    using Words = std::vector<std::wstring>;
    std::map<std::wstring, Words> options;
    Words words;

    bool Has(const wchar_t* name) const { return options.count(name) != 0; }
    Words Values(const wchar_t* name) const { return Has(name) ? options.at(name) : Words(); }
    std::wstring Value(const wchar_t* name) const { return Has(name) ? options.at(name).back() : L""; }
    // The number an option gives (checked when parsed).
    long long Number(const wchar_t* name) const { long long value = 0; ParseNumber(Value(name), value); return value; }
    // How long a command waits for what it needs (the clipboard, a window, a process).
    DWORD Timeout() const { return Has(L"timeout") ? static_cast<DWORD>(Number(L"timeout")) : 10000; }
};

void Write(FILE* stream, const std::wstring& line) {
    std::string bytes(line.size() * 3 + 1, '\0');   // at most 3 bytes of UTF-8 for each UTF-16 unit
    bytes.resize(static_cast<size_t>(::WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), bytes.data(),
                                                           static_cast<int>(bytes.size()), nullptr, nullptr)));
    bytes += '\n';
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::fflush(stream);
}

void Print(const std::wstring& line) { Write(stdout, line); }

// Writes "pelkodrv: WHY" (with the thread's last error if asked) on stderr; returns exit code 1.
int Fail(const std::wstring& why, bool withLastError = false) {
    const DWORD error = ::GetLastError();
    Write(stderr, L"pelkodrv: " + why + (withLastError ? L" (error " + std::to_wstring(error) + L")" : L""));
    return 1;
}

// Reads the options out of the words; fails on an unknown one or a missing or bad value.
int Parse(const Args::Words& words, Args& args) {
    for (size_t i = 0; i < words.size(); ++i) {
        if (words[i].size() <= 2 || words[i].compare(0, 2, L"--") != 0) { args.words.push_back(words[i]); continue; }
        const std::wstring name = words[i].substr(2);
        int taken = -2;
        for (const auto& [known, values] : kOptions) if (name == known) taken = values;
        if (taken == -2) return Fail(L"unknown option " + words[i]);
        const size_t count = taken < 0 ? words.size() - i - 1 : static_cast<size_t>(taken);
        if (words.size() - i - 1 < count) return Fail(L"option " + words[i] + L" needs " + std::to_wstring(count) + L" value(s)");
        auto& values = args.options[name];
        const auto first = words.begin() + static_cast<std::ptrdiff_t>(i + 1);
        values.insert(values.end(), first, first + static_cast<std::ptrdiff_t>(count));
        long long number = 0;
        if ((name == L"hwnd" || name == L"timeout") && !ParseNumber(values.back(), number))
            return Fail(L"option " + words[i] + L": not a number");
        i += count;
    }
    return 0;
}

std::wstring Hex(unsigned long long value) {
    wchar_t buffer[32];
    return std::wstring(buffer, static_cast<size_t>(std::swprintf(buffer, 32, L"0x%08llX", value)));
}
std::wstring Hex(HWND hwnd) { return Hex(reinterpret_cast<uintptr_t>(hwnd)); }

// Checks every 10 ms until the condition holds (true) or the time is up (false).
template <typename Condition>
bool WaitUntil(DWORD timeoutMs, Condition done) {
    for (const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;; ::Sleep(10)) {
        if (done()) return true;
        if (::GetTickCount64() >= deadline) return false;
    }
}

// --- the clipboard ----------------------------------------------------------------------------
// Formats are named as Pelko puts them on the wire: predefined ones by their "CF_" names.
constexpr std::pair<UINT, const wchar_t*> kStandardFormats[] = {
    {1, L"CF_TEXT"}, {2, L"CF_BITMAP"}, {3, L"CF_METAFILEPICT"}, {4, L"CF_SYLK"}, {5, L"CF_DIF"}, {6, L"CF_TIFF"},
    {7, L"CF_OEMTEXT"}, {8, L"CF_DIB"}, {9, L"CF_PALETTE"}, {10, L"CF_PENDATA"}, {11, L"CF_RIFF"}, {12, L"CF_WAVE"},
    {13, L"CF_UNICODETEXT"}, {14, L"CF_ENHMETAFILE"}, {15, L"CF_HDROP"}, {16, L"CF_LOCALE"}, {17, L"CF_DIBV5"},
    {128, L"CF_OWNERDISPLAY"}, {129, L"CF_DSPTEXT"}, {130, L"CF_DSPBITMAP"}, {131, L"CF_DSPMETAFILEPICT"},
    {142, L"CF_DSPENHMETAFILE"}};

// A predefined name (any case), or a registered one, registered if new as the program does; 0 if that fails.
UINT FormatId(const std::wstring& name) {
    for (const auto& [id, standard] : kStandardFormats)
        if (::_wcsicmp(standard, name.c_str()) == 0) return id;
    return ::RegisterClipboardFormatW(name.c_str());
}

std::wstring FormatName(UINT id) {
    for (const auto& [standard, name] : kStandardFormats)
        if (standard == id) return name;
    wchar_t buffer[260];
    const int length = ::GetClipboardFormatNameW(id, buffer, 260);
    return length > 0 ? std::wstring(buffer, static_cast<size_t>(length)) : L"(Unknown)";
}

// The clipboard, open (and emptied, to copy) for one command, or `failed` with the reason written;
// another program may hold it a moment, so opening is retried. SetClipboardData needs an owner: a
// message-only window does, and destroying it when the driver ends leaves the (never delayed) data.
struct Clipboard {
    const HWND owner = ::CreateWindowExW(0, L"STATIC", L"pelkodrv", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    const bool open;
    const int failed;

    Clipboard(const Args& args, bool empty)
        : open(WaitUntil(args.Timeout(), [this] { return ::OpenClipboard(owner) != FALSE; })),
          failed(!open ? Fail(L"cannot open the clipboard", true)
                       : empty && !::EmptyClipboard() ? Fail(L"cannot empty the clipboard", true) : 0) {}
    ~Clipboard() {
        if (open) ::CloseClipboard();
        if (owner) ::DestroyWindow(owner);
    }

    // Puts a new block of the format with the bytes, or (data null) the test pattern; the
    // clipboard owns the block then.
    int Put(const std::wstring& name, const void* data, size_t size) const {
        const UINT id = FormatId(name);
        UniqueGlobal block(id ? ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size ? size : 1) : nullptr);
        if (GlobalLockGuard lock(block.Get()); !lock.Data()) return Fail(L"cannot make a block of " + name, true);
        else if (data) std::memcpy(lock.Data(), data, size);
        else for (size_t i = 0; i < size; ++i) static_cast<unsigned char*>(lock.Data())[i] = PatternByte(i);
        if (!::SetClipboardData(id, block.Get())) return Fail(L"SetClipboardData failed for " + name, true);
        (void)block.Detach();
        return 0;
    }
    int PutText(const std::wstring& text) const {
        return Put(L"CF_UNICODETEXT", text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    }
};

bool ParseHex(const std::wstring& text, std::string& bytes) {
    for (size_t i = 0; i < text.size(); i += 2) {
        if (i + 1 == text.size() || !std::iswxdigit(text[i]) || !std::iswxdigit(text[i + 1])) return false;
        bytes.push_back(static_cast<char>(std::wcstoul(text.substr(i, 2).c_str(), nullptr, 16)));
    }
    return true;
}

int CmdSetClip(const Args& args) {
    const auto formats = args.Values(L"format");   // NAME HEX, NAME HEX...
    if (!args.Has(L"text") && formats.empty() && !args.Has(L"files")) return Fail(L"setclip: give --text, --format or --files");
    const Clipboard clipboard(args, true);
    if (clipboard.failed) return 1;
    if (args.Has(L"text") && clipboard.PutText(args.Value(L"text"))) return 1;
    for (size_t i = 0; i < formats.size(); i += 2) {
        std::string bytes;
        if (!ParseHex(formats[i + 1], bytes)) return Fail(L"not hex bytes: " + formats[i + 1]);
        if (clipboard.Put(formats[i], bytes.data(), bytes.size())) return 1;
    }
    if (!args.Has(L"files")) return 0;
    // CF_HDROP: a DROPFILES header, then the wide names, each ended by a null, and one more null.
    const DROPFILES header{sizeof(DROPFILES), {0, 0}, FALSE, TRUE};
    std::wstring drop(sizeof header / sizeof(wchar_t), L'\0');
    std::memcpy(drop.data(), &header, sizeof header);
    for (const auto& path : args.Values(L"files")) drop += path + L'\0';
    return clipboard.Put(L"CF_HDROP", drop.c_str(), (drop.size() + 1) * sizeof(wchar_t));
}

// Formats of the given sizes in the test pattern, for transfers too large to spell out in hex.
int CmdFillClip(const Args& args) {
    const auto formats = args.Values(L"format");   // NAME SIZE, NAME SIZE...
    if (formats.empty()) return Fail(L"fillclip: give --format NAME SIZE...");
    const Clipboard clipboard(args, true);
    if (clipboard.failed) return 1;
    for (size_t i = 0; i < formats.size(); i += 2) {
        long long size = 0;
        if (!ParseNumber(formats[i + 1], size) || size < 1) return Fail(L"not a size: " + formats[i + 1]);
        if (clipboard.Put(formats[i], nullptr, static_cast<size_t>(size))) return 1;
    }
    return args.Has(L"text") ? clipboard.PutText(args.Value(L"text")) : 0;
}

int CmdGetClip(const Args& args) {
    const std::wstring& name = args.words[0];
    const UINT id = FormatId(name);
    if (!id) return Fail(L"unknown format " + name);
    const Clipboard clipboard(args, false);
    if (clipboard.failed) return 1;
    if (!::IsClipboardFormatAvailable(id)) return Fail(L"format not on the clipboard: " + name);
    HANDLE data = ::GetClipboardData(id);   // waits while the owner renders a promised format
    if (!data) return Fail(L"no data for " + name, true);
    const bool hex = args.Has(L"hex");
    if (id == CF_HDROP && !hex) {
        const auto drop = static_cast<HDROP>(data);
        for (UINT i = 0, count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0); i < count; ++i) {
            std::wstring path(::DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
            path.resize(::DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size())));
            Print(path);
        }
        return 0;
    }
    GlobalLockGuard lock(data);
    const auto* bytes = static_cast<const unsigned char*>(lock.Data());
    if (!bytes) return Fail(L"cannot lock the data of " + name, true);
    if (!hex && (id == CF_UNICODETEXT || args.Has(L"wtext"))) {
        const auto* text = reinterpret_cast<const wchar_t*>(bytes);
        Print(std::wstring(text, ::wcsnlen(text, lock.Size() / sizeof(wchar_t))));
        return 0;
    }
    static const wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring line;
    for (SIZE_T i = 0; i < lock.Size(); ++i) line += {kDigits[bytes[i] >> 4], kDigits[bytes[i] & 15]};
    Print(line);
    return 0;
}

int CmdFormats(const Args& args) {
    const Clipboard clipboard(args, false);
    if (clipboard.failed) return 1;
    for (UINT id = ::EnumClipboardFormats(0); id; id = ::EnumClipboardFormats(id))
        Print(std::to_wstring(id) + L"\t" + FormatName(id));
    return 0;
}

// Pastes each format, timing the paste and checking every byte against the test pattern.
int CmdPasteCheck(const Args& args) {
    LARGE_INTEGER frequency{};
    ::QueryPerformanceFrequency(&frequency);
    const Clipboard clipboard(args, false);
    if (clipboard.failed) return 1;
    int result = 0;
    for (const auto& name : args.words) {
        LARGE_INTEGER start{}, end{};
        ::QueryPerformanceCounter(&start);
        GlobalLockGuard lock(::GetClipboardData(FormatId(name)));   // a promised format is rendered now
        ::QueryPerformanceCounter(&end);
        const auto* bytes = static_cast<const unsigned char*>(lock.Data());
        const SIZE_T size = bytes ? lock.Size() : 0;
        bool intact = bytes != nullptr;
        for (SIZE_T i = 0; intact && i < size; ++i) intact = bytes[i] == PatternByte(i);
        const double ms = 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
        wchar_t rest[64];
        std::swprintf(rest, 64, L"\t%llu\t%.3f\t%ls", static_cast<unsigned long long>(size), ms, intact ? L"ok" : L"bad");
        Print(name + rest);
        if (!intact) result = 1;
    }
    return result;
}

// --- windows ----------------------------------------------------------------------------------
// The first top-level window of the class; with visibleOnly, hidden ones (a menu that has just
// closed, for instance) are passed over.
HWND FindOfClass(const wchar_t* className, bool visibleOnly) {
    HWND found = nullptr;
    while ((found = ::FindWindowExW(nullptr, found, className, nullptr)) != nullptr)
        if (!visibleOnly || ::IsWindowVisible(found)) return found;
    return nullptr;
}

// The window named by --hwnd H, or --class C [--visible]; null if there is none.
HWND FindNamed(const Args& args) {
    if (!args.Has(L"hwnd")) return FindOfClass(args.Value(L"class").c_str(), args.Has(L"visible"));
    HWND hwnd = reinterpret_cast<HWND>(static_cast<intptr_t>(args.Number(L"hwnd")));
    return ::IsWindow(hwnd) ? hwnd : nullptr;
}

// Runs the command on the named window, or fails if there is none.
template <typename Command>
int OnWindow(const Args& args, Command command) {
    HWND hwnd = FindNamed(args);
    return hwnd ? command(hwnd) : Fail(L"no such window");
}

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[256] = L"";
    return ::GetClassNameW(hwnd, name, 256) ? name : L"";
}

// A window's text through WM_GETTEXT (which works across processes), given up after 5 s. Not
// "abort if hung": a thread that has just come back from a long wait counts as hung for a while.
std::wstring TextOf(HWND hwnd) {
    std::wstring text(65536, L'\0');
    DWORD_PTR length = 0;
    const auto buffer = reinterpret_cast<LPARAM>(text.data());
    if (!::SendMessageTimeoutW(hwnd, WM_GETTEXT, text.size(), buffer, SMTO_NORMAL, 5000, &length)) length = 0;
    text.resize(length);
    return text;
}

int CmdFind(const Args& args) {
    return OnWindow(args, [](HWND hwnd) { Print(Hex(hwnd)); return 0; });
}

int CmdWait(const Args& args) {
    const bool gone = args.Has(L"gone");
    HWND hwnd = nullptr;
    if (!WaitUntil(args.Timeout(), [&] { return ((hwnd = FindNamed(args)) == nullptr) == gone; }))
        return Fail(gone ? L"the window is still there" : L"no such window appeared in time");
    if (!gone) Print(Hex(hwnd));
    return 0;
}

int CmdInfo(const Args& args) {
    return OnWindow(args, [](HWND hwnd) {
        RECT r{};
        ::GetWindowRect(hwnd, &r);
        DWORD pid = 0;
        ::GetWindowThreadProcessId(hwnd, &pid);
        auto text = [](long long value) { return std::to_wstring(value); };
        for (const auto& line : {L"hwnd " + Hex(hwnd), L"class " + ClassOf(hwnd), L"title " + TextOf(hwnd),
                                 L"rect " + text(r.left) + L" " + text(r.top) + L" " + text(r.right) + L" " + text(r.bottom),
                                 L"size " + text(r.right - r.left) + L" " + text(r.bottom - r.top),
                                 L"visible " + text(::IsWindowVisible(hwnd) ? 1 : 0),
                                 L"style " + Hex(static_cast<DWORD>(::GetWindowLongPtrW(hwnd, GWL_STYLE))),
                                 L"exstyle " + Hex(static_cast<DWORD>(::GetWindowLongPtrW(hwnd, GWL_EXSTYLE))),
                                 L"pid " + text(pid), L"foreground " + text(::GetForegroundWindow() == hwnd ? 1 : 0)})
            Print(line);
        return 0;
    });
}

// MSG [WPARAM [LPARAM]], posted, or sent (which prints the result).
int Message(const Args& args, bool send) {
    long long values[3] = {0, 0, 0};
    for (size_t i = 0; i < args.words.size(); ++i)
        if (!ParseNumber(args.words[i], values[i])) return Fail(L"give MSG [WPARAM [LPARAM]] as numbers");
    const auto message = static_cast<UINT>(values[0]);
    const auto wParam = static_cast<WPARAM>(values[1]);
    const auto lParam = static_cast<LPARAM>(values[2]);
    return OnWindow(args, [&](HWND hwnd) {
        DWORD_PTR result = 0;
        if (!send) return ::PostMessageW(hwnd, message, wParam, lParam) ? 0 : Fail(L"PostMessageW failed", true);
        if (!::SendMessageTimeoutW(hwnd, message, wParam, lParam, SMTO_NORMAL, args.Timeout(), &result))
            return Fail(L"SendMessageTimeoutW failed or timed out", true);
        Print(std::to_wstring(static_cast<long long>(result)));
        return 0;
    });
}

int CmdDialog(const Args& args) {
    return OnWindow(args, [](HWND hwnd) {
        Print(L"title\t" + TextOf(hwnd));
        // Direct children in z-order.
        for (HWND child = ::GetWindow(hwnd, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
            Print(std::to_wstring(::GetDlgCtrlID(child)) + L"\t" + ClassOf(child) + L"\t" + TextOf(child));
        return 0;
    });
}

int CmdPress(const Args& args) {
    long long id = 0;
    if (!ParseNumber(args.words[0], id)) return Fail(L"press: give one button id");
    return OnWindow(args, [&](HWND hwnd) {
        HWND button = ::GetDlgItem(hwnd, static_cast<int>(id));
        if (!button) return Fail(L"the dialog has no control " + args.words[0]);
        // What a click does: the button's notification to its dialog. Posted, because the dialog
        // may end its modal loop and return only after the driver has gone.
        if (!::PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED), reinterpret_cast<LPARAM>(button)))
            return Fail(L"PostMessageW failed", true);
        return 0;
    });
}

BOOL CALLBACK PrintDescendant(HWND child, LPARAM) {
    Print(Hex(child) + L"\t" + Hex(::GetParent(child)) + L"\t" + std::to_wstring(::GetDlgCtrlID(child)) + L"\t" + ClassOf(child) +
          L"\t" + (::IsWindowVisible(child) ? L"1" : L"0") + L"\t" + TextOf(child));
    return TRUE;
}

int CmdTree(const Args& args) {
    // Every descendant, parents before children.
    return OnWindow(args, [](HWND hwnd) { ::EnumChildWindows(hwnd, PrintDescendant, 0); return 0; });
}

int CmdItems(const Args& args) {
    return OnWindow(args, [](HWND hwnd) {
        // LB_GETTEXT is carried across processes for list boxes with strings.
        DWORD_PTR count = 0;
        if (!::SendMessageTimeoutW(hwnd, LB_GETCOUNT, 0, 0, SMTO_NORMAL, 5000, &count) || static_cast<LRESULT>(count) == LB_ERR)
            return Fail(L"items: not a list box");
        for (WPARAM i = 0; i < count; ++i) {
            std::wstring text(static_cast<size_t>(std::max<LRESULT>(0, ::SendMessageW(hwnd, LB_GETTEXTLEN, i, 0))) + 1, L'\0');
            const LRESULT length = ::SendMessageW(hwnd, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()));
            text.resize(static_cast<size_t>(std::max<LRESULT>(0, length)));
            Print(text);
        }
        return 0;
    });
}

// --- the tray menu, as a user reaches it ------------------------------------------------------
// The shell's callback (WM_TRAYNOTIFY with a right-button release) to the program's hidden
// window opens it; keys go to the pop-up menu window, which the menu's own modal loop reads.
constexpr wchar_t kMenuClass[] = L"#32768";

HWND WaitForMenu(const Args& args) {
    HWND menu = nullptr;
    return WaitUntil(args.Timeout(), [&] { return (menu = FindOfClass(kMenuClass, true)) != nullptr; }) ? menu : nullptr;
}

// Posts the keys to the open menu; if the last one ends the menu, waits until the menu has
// closed (hidden or destroyed), so that the command chosen has been taken when the driver returns.
int PressKeys(HWND menu, const Args& args) {
    constexpr std::pair<const wchar_t*, WORD> kKeys[] = {{L"down", VK_DOWN}, {L"up", VK_UP}, {L"left", VK_LEFT},
        {L"right", VK_RIGHT}, {L"return", VK_RETURN}, {L"escape", VK_ESCAPE}, {L"home", VK_HOME}, {L"end", VK_END}};
    for (const auto& key : args.words) {
        WORD vk = 0;
        for (const auto& [name, code] : kKeys) if (key == name) vk = code;
        if (!vk) return Fail(L"unknown key " + key);
        if (!::PostMessageW(menu, WM_KEYDOWN, vk, 1) || !::PostMessageW(menu, WM_KEYUP, vk, 0xC0000001))
            return Fail(L"cannot post key " + key, true);
    }
    const bool closes = !args.words.empty() && (args.words.back() == L"return" || args.words.back() == L"escape");
    if (closes && !WaitUntil(args.Timeout(), [menu] { return !::IsWindow(menu) || !::IsWindowVisible(menu); }))
        return Fail(L"the menu did not close");
    return 0;
}

int CmdTray(const Args& args) {
    HWND hidden = ::FindWindowW(kHiddenWindowClass, nullptr);
    if (!hidden) return Fail(L"no window of class \"Pelko Hidden Window Class\"");
    if (HWND stale = FindOfClass(kMenuClass, true)) return Fail(L"a menu is already open: " + Hex(stale));
    if (!::PostMessageW(hidden, WM_TRAYNOTIFY, 1 /* the icon's id */, WM_RBUTTONUP)) return Fail(L"PostMessageW failed", true);
    HWND menu = WaitForMenu(args);
    if (!menu) return Fail(L"no menu opened");
    Print(Hex(menu));
    return PressKeys(menu, args);
}

int CmdKeys(const Args& args) {
    HWND menu = WaitForMenu(args);
    return menu ? PressKeys(menu, args) : Fail(L"no menu is open");
}

// --- processes --------------------------------------------------------------------------------
// Process ids whose id or image name (any case) matches.
std::vector<DWORD> MatchingProcesses(const std::wstring& what) {
    std::vector<DWORD> pids;
    long long wanted = -1;
    const bool byId = ParseNumber(what, wanted);
    UniqueKernelHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (snapshot.Get() == INVALID_HANDLE_VALUE) { (void)snapshot.Detach(); return pids; }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); more; more = ::Process32NextW(snapshot.Get(), &entry))
        if (byId ? entry.th32ProcessID == static_cast<DWORD>(wanted) : ::_wcsicmp(entry.szExeFile, what.c_str()) == 0)
            pids.push_back(entry.th32ProcessID);
    return pids;
}

int CmdRunning(const Args& args) {
    const auto pids = MatchingProcesses(args.words[0]);
    for (DWORD pid : pids) Print(std::to_wstring(pid));
    return pids.empty() ? Fail(L"not running: " + args.words[0]) : 0;
}

// Until the program's start-up is over: its first wait for input in its message loop.
int CmdWaitIdle(const Args& args) {
    const auto pids = MatchingProcesses(args.words[0]);
    if (pids.size() != 1) return Fail(L"wait-idle: " + std::to_wstring(pids.size()) + L" processes match " + args.words[0]);
    UniqueKernelHandle process(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pids[0]));
    if (!process) return Fail(L"cannot open process " + std::to_wstring(pids[0]), true);
    const DWORD result = ::WaitForInputIdle(process.Get(), args.Timeout());
    if (result != 0) return Fail(result == WAIT_TIMEOUT ? L"not idle in time" : L"WaitForInputIdle failed");
    Print(std::to_wstring(pids[0]));
    return 0;
}

// Wine closes a desktop, and with it the shell (task bar, tray, clipboard manager), a second after
// the last program using it ends; Windows keeps its shell. A "hold" on every host keeps what a
// command leaves on the clipboard there, as on Windows: its message-only window uses the desktop.
int CmdHold(const Args&) {
    if (!::CreateWindowExW(0, L"STATIC", L"pelkodrv hold", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr))
        return Fail(L"cannot create a window", true);
    Print(L"holding");
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) ::DispatchMessageW(&msg);
    return 0;
}

// --- the commands: the words each takes besides the options; whether it names a window ---------
struct Command { const wchar_t* name; int (*run)(const Args&); size_t minWords, maxWords; bool window; const wchar_t* usage; };
constexpr size_t kAny = SIZE_MAX;
constexpr Command kCommands[] = {
    {L"setclip", CmdSetClip, 0, 0, false, L"setclip [--text T] [--format NAME HEX]... [--files PATH...]"},
    {L"fillclip", CmdFillClip, 0, 0, false, L"fillclip [--text T] --format NAME SIZE...   (bytes in the test pattern)"},
    {L"getclip", CmdGetClip, 1, 1, false, L"getclip NAME [--hex|--wtext] [--timeout MS]"},
    {L"formats", CmdFormats, 0, 0, false, L"formats   (ID<TAB>NAME)"},
    {L"pastecheck", CmdPasteCheck, 1, kAny, false, L"pastecheck NAME... [--timeout MS]   (NAME<TAB>SIZE<TAB>MS<TAB>ok|bad)"},
    {L"find", CmdFind, 0, 0, true, L"find WINDOW"},
    {L"wait", CmdWait, 0, 0, true, L"wait WINDOW [--gone] [--timeout MS]"},
    {L"info", CmdInfo, 0, 0, true, L"info WINDOW"},
    {L"post", [](const Args& a) { return Message(a, false); }, 1, 3, true, L"post WINDOW MSG [WPARAM [LPARAM]]"},
    {L"send", [](const Args& a) { return Message(a, true); }, 1, 3, true, L"send WINDOW MSG [WPARAM [LPARAM]] [--timeout MS]"},
    {L"dialog", CmdDialog, 0, 0, true, L"dialog WINDOW   (title<TAB>TEXT, then ID<TAB>CLASS<TAB>TEXT)"},
    {L"press", CmdPress, 1, 1, true, L"press WINDOW ID"},
    {L"tree", CmdTree, 0, 0, true, L"tree WINDOW   (HWND<TAB>PARENT<TAB>ID<TAB>CLASS<TAB>VISIBLE<TAB>TEXT)"},
    {L"items", CmdItems, 0, 0, true, L"items WINDOW   (the strings of a list box)"},
    {L"tray", CmdTray, 0, kAny, false, L"tray [KEY...] [--timeout MS]   (KEY: down up left right return escape home end)"},
    {L"keys", CmdKeys, 1, kAny, false, L"keys KEY... [--timeout MS]"},
    {L"running", CmdRunning, 1, 1, false, L"running PID|NAME"},
    {L"wait-idle", CmdWaitIdle, 1, 1, false, L"wait-idle PID|NAME [--timeout MS]"},
    {L"hold", CmdHold, 0, 0, false, L"hold   (until ended: keeps the desktop in use)"},
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    for (const auto& command : kCommands) {
        if (argc < 2 || std::wcscmp(command.name, argv[1]) != 0) continue;
        Args args;
        if (Parse(Args::Words(argv + 2, argv + argc), args)) return 1;
        if (args.words.size() < command.minWords || args.words.size() > command.maxWords ||
            (command.window && !args.Has(L"hwnd") && !args.Has(L"class")))
            return Fail(std::wstring(L"usage: ") + command.usage);
        return command.run(args);
    }
    if (argc >= 2) Fail(std::wstring(L"unknown command ") + argv[1]);
    std::fputs("usage: pelkodrv COMMAND [ARGS]   (WINDOW: --hwnd H | --class C [--visible]; numbers: decimal, 0x hex)\n", stderr);
    for (const auto& command : kCommands) std::fprintf(stderr, "  %ls\n", command.usage);
    return 1;
}
