// pelkodrv: lets the LAN tests, the demonstration and the benchmarks act as the user of one host,
// one command per run (`pelkodrv` alone lists them): copy and paste, find, describe and message
// windows, press dialog buttons, pick tray menu items, watch processes. Results go to stdout, the
// reason of a failure to stderr, both UTF-8 with lines ended by "\n" only, so that the tests
// compare exact bytes; exit code 0 success, 1 failure.
#include <windows.h>
#include <shellapi.h>
#include <sddl.h>
#include <shlobj.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <cstring>
#include <cwchar>
#include <cwctype>
#include <map>
#include <string>
#include <vector>

#include "Pattern.h"
#include "app/AppMessages.h"
#include "runtime/Handles.h"
#include "ui/UiMessages.h"

namespace {

using Words = std::vector<std::wstring>;
// Decimal, or hexadecimal with "0x". False (the value left as it was) unless the whole text is a number.
bool ParseNumber(const std::wstring& text, long long& value) {
    wchar_t* end = nullptr;
    const auto n = static_cast<long long>(std::wcstoull(text.c_str(), &end, text.find_first_of(L"xX") != text.npos ? 16 : 10));
    return !text.empty() && *end == 0 && (value = n, true);
}
// Each option and how many words follow it (-1: all the rest, such as file names).
constexpr std::pair<const wchar_t*, int> kOptions[] = {{L"text", 1}, {L"format", 2}, {L"files", -1}, {L"hex", 0},
    {L"hwnd", 1}, {L"class", 1}, {L"visible", 0}, {L"gone", 0}, {L"timeout", 1}};
// The words after the command's name: options by name with their values (none for a flag), the other words in order.
struct Args {
    std::map<std::wstring, Words> options;
    Words words;
    HWND window = nullptr;   // for the commands on a window: the one named (see FindNamed)
    bool Has(const wchar_t* name) const { return options.count(name) != 0; }
    Words Values(const wchar_t* name) const { return Has(name) ? options.at(name) : Words(); }
    std::wstring Value(const wchar_t* name) const { return Has(name) ? options.at(name).back() : L""; }
    long long Number(const wchar_t* name, long long n) const { ParseNumber(Value(name), n); return n; }   // n if not a number
    DWORD Timeout() const { return static_cast<DWORD>(Number(L"timeout", 10000)); }   // for the clipboard, a window, a process
};

// Writes the line in UTF-8, unbuffered and untranslated, to STD_OUTPUT_HANDLE or STD_ERROR_HANDLE.
void Write(DWORD stream, const std::wstring& text) {
    const std::wstring line = text + L"\n";
    std::string bytes(line.size() * 3, '\0');   // at most 3 bytes of UTF-8 for each UTF-16 unit
    DWORD written = DWORD(::WideCharToMultiByte(CP_UTF8, 0, line.data(), int(line.size()), bytes.data(), int(bytes.size()),
                                                nullptr, nullptr));
    ::WriteFile(::GetStdHandle(stream), bytes.data(), written, &written, nullptr);
}
// Writes the line on stdout; returns exit code 0.
int Print(const std::wstring& line) { Write(STD_OUTPUT_HANDLE, line); return 0; }
// Writes "pelkodrv: WHY" (with the thread's last error if asked) on stderr; returns exit code 1.
int Fail(const std::wstring& why, bool withLastError = false) {
    const DWORD error = ::GetLastError();
    Write(STD_ERROR_HANDLE, L"pelkodrv: " + why + (withLastError ? L" (error " + std::to_wstring(error) + L")" : L""));
    return 1;
}
// Reads the options out of the words; fails on an unknown one or a missing value.
int Parse(const Words& words, Args& args) {
    for (size_t i = 0; i < words.size(); ++i) {
        if (words[i].size() <= 2 || words[i].compare(0, 2, L"--") != 0) { args.words.push_back(words[i]); continue; }
        int taken = -2;
        for (const auto& [known, values] : kOptions) if (words[i].substr(2) == known) taken = values;
        if (taken == -2) return Fail(L"unknown option " + words[i]);
        const size_t count = taken < 0 ? words.size() - i - 1 : static_cast<size_t>(taken);
        if (words.size() - i - 1 < count) return Fail(L"option " + words[i] + L" needs " + std::to_wstring(count) + L" value(s)");
        auto& values = args.options[words[i].substr(2)];
        for (const size_t last = i + count; i < last;) values.push_back(words[++i]);
    }
    return 0;
}
std::wstring Hex(HWND hwnd) {
    wchar_t text[32];
    return std::wstring(text, static_cast<size_t>(std::swprintf(text, 32, L"0x%08llX", 0ULL + uintptr_t(hwnd))));
}
// Checks every 10 ms until the condition holds (true) or the time is up (false).
template <typename Condition> bool WaitUntil(DWORD timeoutMs, Condition done) {
    for (const ULONGLONG deadline = ::GetTickCount64() + timeoutMs; !done(); ::Sleep(10))
        if (::GetTickCount64() >= deadline) return false;
    return true;
}

// --- the clipboard: formats named as Pelko puts them on the wire, predefined ones by their "CF_" names.
constexpr std::pair<UINT, const wchar_t*> kStandardFormats[] = {
    {1, L"CF_TEXT"}, {2, L"CF_BITMAP"}, {3, L"CF_METAFILEPICT"}, {4, L"CF_SYLK"}, {5, L"CF_DIF"}, {6, L"CF_TIFF"},
    {7, L"CF_OEMTEXT"}, {8, L"CF_DIB"}, {9, L"CF_PALETTE"}, {10, L"CF_PENDATA"}, {11, L"CF_RIFF"}, {12, L"CF_WAVE"},
    {13, L"CF_UNICODETEXT"}, {14, L"CF_ENHMETAFILE"}, {15, L"CF_HDROP"}, {16, L"CF_LOCALE"}, {17, L"CF_DIBV5"}};
// A predefined name (any case), or a registered one, registered if new as the program does; 0 if that fails.
UINT FormatId(const std::wstring& name) {
    for (const auto& [id, standard] : kStandardFormats) if (::_wcsicmp(standard, name.c_str()) == 0) return id;
    return ::RegisterClipboardFormatW(name.c_str());
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
    ~Clipboard() { if (open) ::CloseClipboard(); if (owner) ::DestroyWindow(owner); }
    // Puts a new block of the format with the bytes, or (data null) the test pattern; the clipboard owns it then.
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
    int PutText(const Args& args) const {
        const std::wstring text = args.Value(L"text");
        return args.Has(L"text") ? Put(L"CF_UNICODETEXT", text.c_str(), (text.size() + 1) * sizeof(wchar_t)) : 0;
    }
};

// setclip: --text, then each --format NAME HEX with its bytes, then --files as CF_HDROP. fillclip: each --format NAME
// SIZE with that many bytes of the test pattern (for transfers too large to spell out in hex), then --text.
int CmdSetClip(const Args& args, bool fill) {
    const auto formats = args.Values(L"format");
    const Clipboard clipboard(args, true);
    if (clipboard.failed || (!fill && clipboard.PutText(args))) return 1;
    for (size_t i = 0; i < formats.size(); i += 2) {
        const std::wstring& value = formats[i + 1];
        long long size = 0;
        std::string bytes;   // of two hex digits each
        for (size_t j = 0; !fill && j + 1 < value.size() && std::iswxdigit(value[j]) && std::iswxdigit(value[j + 1]); j += 2)
            bytes += static_cast<char>(std::wcstoul(value.substr(j, 2).c_str(), nullptr, 16));
        if (fill ? !ParseNumber(value, size) || size < 1 : bytes.size() * 2 != value.size())
            return Fail(L"not " + std::wstring(fill ? L"a size: " : L"hex bytes: ") + value);
        if (clipboard.Put(formats[i], fill ? nullptr : bytes.data(), fill ? static_cast<size_t>(size) : bytes.size())) return 1;
    }
    if (fill || !args.Has(L"files")) return fill ? clipboard.PutText(args) : 0;
    // CF_HDROP: a DROPFILES header, then the wide names, each ended by a null, and one more null.
    const DROPFILES header{sizeof(DROPFILES), {0, 0}, FALSE, TRUE};
    std::wstring drop(sizeof header / sizeof(wchar_t), L'\0');
    std::memcpy(drop.data(), &header, sizeof header);
    for (const auto& path : args.Values(L"files")) drop += path + L'\0';
    return clipboard.Put(L"CF_HDROP", drop.c_str(), (drop.size() + 1) * sizeof(wchar_t));
}
// CF_HDROP as one path a line, CF_UNICODETEXT as its text, anything else (or with --hex) as hex bytes.
int CmdGetClip(const Args& args) {
    const std::wstring& name = args.words[0];
    const UINT id = FormatId(name);
    const bool hex = args.Has(L"hex");
    const Clipboard clipboard(args, false);
    if (clipboard.failed) return 1;
    if (!id || !::IsClipboardFormatAvailable(id)) return Fail(L"format not on the clipboard: " + name);
    HANDLE data = ::GetClipboardData(id);   // waits while the owner renders a promised format
    GlobalLockGuard lock(data);
    const auto* bytes = static_cast<const unsigned char*>(lock.Data());
    if (!bytes) return Fail(L"no data for " + name, true);
    for (UINT i = 0, count = id == CF_HDROP && !hex ? ::DragQueryFileW(HDROP(data), 0xFFFFFFFF, nullptr, 0) : 0; i < count; ++i) {
        wchar_t path[32768];
        Print(std::wstring(path, ::DragQueryFileW(HDROP(data), i, path, 32768)));
    }
    if (id == CF_HDROP && !hex) return 0;
    const auto* text = reinterpret_cast<const wchar_t*>(bytes);
    if (!hex && id == CF_UNICODETEXT) return Print(std::wstring(text, ::wcsnlen(text, lock.Size() / sizeof(wchar_t))));
    std::wstring line;
    for (SIZE_T i = 0; i < lock.Size(); ++i) line += {L"0123456789abcdef"[bytes[i] >> 4], L"0123456789abcdef"[bytes[i] & 15]};
    return Print(line);
}
int CmdFormats(const Args& args) {
    const Clipboard clipboard(args, false);
    for (UINT id = clipboard.failed ? 0 : ::EnumClipboardFormats(0); id; id = ::EnumClipboardFormats(id)) {
        wchar_t name[260] = L"(Unknown)";
        for (const auto& [standard, text] : kStandardFormats) if (standard == id) std::wcscpy(name, text);
        if (id >= 0xC000) ::GetClipboardFormatNameW(id, name, 260);   // a registered format
        Print(std::to_wstring(id) + L"\t" + name);
    }
    return clipboard.failed;
}
// Pastes each format, timing the paste and checking every byte against the test pattern.
int CmdPasteCheck(const Args& args) {
    LARGE_INTEGER frequency{}, start{}, end{};
    ::QueryPerformanceFrequency(&frequency);
    const Clipboard clipboard(args, false);
    int result = clipboard.failed;
    for (size_t n = 0; n < args.words.size() && !clipboard.failed; ++n) {
        ::QueryPerformanceCounter(&start);
        GlobalLockGuard lock(::GetClipboardData(FormatId(args.words[n])));   // a promised format is rendered now
        ::QueryPerformanceCounter(&end);
        const auto* bytes = static_cast<const unsigned char*>(lock.Data());
        const SIZE_T size = bytes ? lock.Size() : 0;
        bool intact = bytes != nullptr;
        for (SIZE_T i = 0; intact && i < size; ++i) intact = bytes[i] == PatternByte(i);
        wchar_t rest[64];
        const double ms = 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
        std::swprintf(rest, 64, L"\t%llu\t%.3f\t%ls", static_cast<unsigned long long>(size), ms, intact ? L"ok" : L"bad");
        Print(args.words[n] + rest);
        result |= intact ? 0 : 1;
    }
    return result;
}

// --- windows: the first top-level one of the class; with visibleOnly, hidden ones (a menu just closed) are passed over.
HWND FindOfClass(const wchar_t* className, bool visibleOnly) {
    HWND found = nullptr;
    while ((found = ::FindWindowExW(nullptr, found, className, nullptr)) != nullptr)
        if (!visibleOnly || ::IsWindowVisible(found)) return found;
    return nullptr;
}
// The window named by --hwnd H, or --class C [--visible]; null if there is none.
HWND FindNamed(const Args& args) {
    if (!args.Has(L"hwnd")) return FindOfClass(args.Value(L"class").c_str(), args.Has(L"visible"));
    HWND hwnd = reinterpret_cast<HWND>(static_cast<intptr_t>(args.Number(L"hwnd", 0)));
    return ::IsWindow(hwnd) ? hwnd : nullptr;
}
std::wstring ClassOf(HWND hwnd) { wchar_t name[256] = L""; return ::GetClassNameW(hwnd, name, 256) ? name : L""; }
// A window's text through WM_GETTEXT (which works across processes), given up after 5 s. Not
// "abort if hung": a thread that has just come back from a long wait counts as hung for a while.
std::wstring TextOf(HWND hwnd) {
    std::wstring text(65536, L'\0');
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutW(hwnd, WM_GETTEXT, text.size(), LPARAM(text.data()), SMTO_NORMAL, 5000, &length)) length = 0;
    text.resize(length);
    return text;
}
// wait: until the window is there (--timeout 0: whether it is there now), or with --gone until it is not.
int CmdWait(const Args& args) {
    const bool gone = args.Has(L"gone");
    HWND hwnd = nullptr;
    if (!WaitUntil(args.Timeout(), [&] { return ((hwnd = FindNamed(args)) == nullptr) == gone; }))
        return Fail(gone ? L"the window is still there" : L"no such window");
    return gone ? 0 : Print(Hex(hwnd));
}
int CmdInfo(const Args& args) {
    HWND hwnd = args.window;
    RECT r{};
    DWORD pid = 0;
    ::GetWindowRect(hwnd, &r), ::GetWindowThreadProcessId(hwnd, &pid);
    wchar_t rest[128];
    std::swprintf(rest, 128, L"rect %ld %ld %ld %ld\nvisible %d\npid %lu\nforeground %d", r.left, r.top, r.right, r.bottom,
                  ::IsWindowVisible(hwnd) ? 1 : 0, pid, ::GetForegroundWindow() == hwnd ? 1 : 0);
    return Print(L"hwnd " + Hex(hwnd) + L"\nclass " + ClassOf(hwnd) + L"\ntitle " + TextOf(hwnd) + L"\n" + rest);
}
// MSG [WPARAM [LPARAM]], posted, or sent (which prints the result).
int Message(const Args& args, bool send) {
    long long v[3] = {0, 0, 0};
    for (size_t i = 0; i < args.words.size(); ++i)
        if (!ParseNumber(args.words[i], v[i])) return Fail(L"give MSG [WPARAM [LPARAM]] as numbers");
    DWORD_PTR result = 0;
    const auto message = static_cast<UINT>(v[0]);
    const auto wParam = static_cast<WPARAM>(v[1]);
    const auto lParam = static_cast<LPARAM>(v[2]);
    if (!send) return ::PostMessageW(args.window, message, wParam, lParam) ? 0 : Fail(L"PostMessageW failed", true);
    if (!::SendMessageTimeoutW(args.window, message, wParam, lParam, SMTO_NORMAL, args.Timeout(), &result))
        return Fail(L"SendMessageTimeoutW failed or timed out", true);
    return Print(std::to_wstring(static_cast<long long>(result)));
}
// tree: every descendant, parents before children, as HWND PARENT ID CLASS VISIBLE TEXT.
int CmdTree(const Args& args) {
    ::EnumChildWindows(args.window, [](HWND child, LPARAM) {
        Print(Hex(child) + L"\t" + Hex(::GetParent(child)) + L"\t" + std::to_wstring(::GetDlgCtrlID(child)) + L"\t" +
              ClassOf(child) + L"\t" + (::IsWindowVisible(child) ? L"1" : L"0") + L"\t" + TextOf(child));
        return TRUE;
    }, 0);
    return 0;
}
// press: what a click on the button does, posted to its dialog, which may end its modal loop only after the driver has gone.
int CmdPress(const Args& args) {
    long long id = 0;
    if (!ParseNumber(args.words[0], id)) return Fail(L"press: give one button id");
    HWND button = ::GetDlgItem(args.window, static_cast<int>(id));
    if (!button) return Fail(L"the dialog has no control " + args.words[0]);
    const bool posted = ::PostMessageW(args.window, WM_COMMAND, MAKEWPARAM(WORD(id), BN_CLICKED), LPARAM(button));
    return posted ? 0 : Fail(L"PostMessageW failed", true);
}
// The strings of a list box: LB_GETTEXT is carried across processes for list boxes with strings.
int CmdItems(const Args& args) {
    DWORD_PTR count = 0;
    if (!::SendMessageTimeoutW(args.window, LB_GETCOUNT, 0, 0, SMTO_NORMAL, 5000, &count) || LRESULT(count) == LB_ERR)
        return Fail(L"items: not a list box");
    for (WPARAM i = 0; i < count; ++i) {
        std::wstring text(static_cast<size_t>(::SendMessageW(args.window, LB_GETTEXTLEN, i, 0) + 1), L'\0');
        const LRESULT length = ::SendMessageW(args.window, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()));
        text.resize(length > 0 ? static_cast<size_t>(length) : 0);
        Print(text);
    }
    return 0;
}

// --- the tray menu as a user reaches it: tray opens it as the shell's callback does (WM_TRAYNOTIFY with a right-button
// release to the hidden window), keys uses one open already. The keys go to the pop-up menu window, read by the menu's
// modal loop; when the last one ends the menu, waits until it has closed, so that the command chosen has been taken.
int CmdMenu(const Args& args, bool open) {
    constexpr wchar_t kMenuClass[] = L"#32768";
    HWND hidden = ::FindWindowW(kHiddenWindowClass, nullptr), menu = nullptr;
    if (open && !hidden) return Fail(L"no window of class \"Pelko Hidden Window Class\"");
    if (HWND stale = open ? FindOfClass(kMenuClass, true) : nullptr) return Fail(L"a menu is already open: " + Hex(stale));
    constexpr WPARAM kIconId = 1;
    if (open && !::PostMessageW(hidden, WM_TRAYNOTIFY, kIconId, WM_RBUTTONUP)) return Fail(L"PostMessageW failed", true);
    if (!WaitUntil(args.Timeout(), [&] { return (menu = FindOfClass(kMenuClass, true)) != nullptr; }))
        return Fail(open ? L"no menu opened" : L"no menu is open");
    const std::map<std::wstring, WORD> keys{{L"down", VK_DOWN}, {L"up", VK_UP}, {L"return", VK_RETURN}, {L"escape", VK_ESCAPE}};
    for (const auto& key : args.words) {
        const WORD vk = keys.count(key) ? keys.at(key) : 0;
        if (!vk) return Fail(L"unknown key " + key);
        if (!::PostMessageW(menu, WM_KEYDOWN, vk, 1) || !::PostMessageW(menu, WM_KEYUP, vk, 0xC0000001))
            return Fail(L"cannot post key " + key, true);
    }
    const bool closes = !args.words.empty() && (args.words.back() == L"return" || args.words.back() == L"escape");
    return closes && !WaitUntil(args.Timeout(), [menu] { return !::IsWindow(menu) || !::IsWindowVisible(menu); })
               ? Fail(L"the menu did not close") : 0;
}

// --- processes: the one process running the image (any case); 0, with the reason written, if none or more than one.
DWORD OnlyProcess(const std::wstring& image) {
    std::vector<DWORD> pids;
    UniqueKernelHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (snapshot.Get() == INVALID_HANDLE_VALUE) (void)snapshot.Detach();
    PROCESSENTRY32W entry{sizeof(PROCESSENTRY32W)};
    for (BOOL more = snapshot && ::Process32FirstW(snapshot.Get(), &entry); more; more = ::Process32NextW(snapshot.Get(), &entry))
        if (::_wcsicmp(entry.szExeFile, image.c_str()) == 0) pids.push_back(entry.th32ProcessID);
    if (pids.size() != 1) Fail(std::to_wstring(pids.size()) + L" processes run " + image);
    return pids.size() == 1 ? pids[0] : 0;
}
// wait-idle: the process, once its start-up is over (its first wait for input in its message loop).
int CmdWaitIdle(const Args& args) {
    const DWORD pid = OnlyProcess(args.words[0]);
    UniqueKernelHandle process(pid ? ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pid) : nullptr);
    if (!process) return pid ? Fail(L"cannot open process " + std::to_wstring(pid), true) : 1;
    if (const DWORD result = ::WaitForInputIdle(process.Get(), args.Timeout()); result != 0)
        return Fail(result == WAIT_TIMEOUT ? L"not idle in time" : L"WaitForInputIdle failed");
    return Print(std::to_wstring(pid));
}

// objects: the process's handles (with how many are registry keys) and threads as the system counts them: Wine's
// GetProcessHandleCount says 0, so the system's handle table is counted; a handle's kind is asked of a copy of it.
int CmdObjects(const Args& args) {
    const DWORD pid = OnlyProcess(args.words[0]);
    if (!pid) return 1;
    constexpr NTSTATUS kTooSmall = static_cast<NTSTATUS>(0xC0000004);   // STATUS_INFO_LENGTH_MISMATCH
    std::vector<uint8_t> table(1 << 20);
    NTSTATUS status = 0;
    while ((status = ::NtQuerySystemInformation(SystemHandleInformation, table.data(), ULONG(table.size()), nullptr)) ==
           kTooSmall)
        table.resize(table.size() * 2);
    UniqueKernelHandle process(::OpenProcess(PROCESS_DUP_HANDLE, FALSE, pid));
    UniqueKernelHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (snapshot.Get() == INVALID_HANDLE_VALUE) (void)snapshot.Detach();
    if (status != 0 || !process || !snapshot) return Fail(L"no handle or thread list", true);
    const auto* list = reinterpret_cast<const SYSTEM_HANDLE_INFORMATION*>(table.data());
    std::map<BYTE, std::wstring> kinds;
    size_t handles = 0, keys = 0, threads = 0;
    for (const SYSTEM_HANDLE_ENTRY* entry = list->Handle; entry != list->Handle + list->Count; ++entry) {
        if (entry->OwnerPid != pid) continue;
        ++handles;
        HANDLE copy = nullptr;
        const auto handle = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(entry->HandleValue));
        if (!kinds.count(entry->ObjectType) &&
            ::DuplicateHandle(process.Get(), handle, ::GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
            UniqueKernelHandle owned(copy);
            alignas(8) uint8_t type[1024] = {};
            const UNICODE_STRING& name = reinterpret_cast<const PUBLIC_OBJECT_TYPE_INFORMATION*>(type)->TypeName;
            if (::NtQueryObject(copy, ObjectTypeInformation, type, sizeof type, nullptr) == 0 && name.Buffer)
                kinds[entry->ObjectType].assign(name.Buffer, name.Length / 2);
        }
        keys += kinds[entry->ObjectType] == L"Key";
    }
    THREADENTRY32 entry{sizeof(THREADENTRY32)};
    for (BOOL more = ::Thread32First(snapshot.Get(), &entry); more; more = ::Thread32Next(snapshot.Get(), &entry))
        threads += entry.th32OwnerProcessID == pid;
    return Print(L"handles " + std::to_wstring(handles) + L"\nkeys " + std::to_wstring(keys) +
                 L"\nthreads " + std::to_wstring(threads));
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

// keyrules: the access rules (DACL) of HKLM\PATH or HKCU\PATH in the 64-bit view, as SDDL.
int CmdKeyRules(const Args& args) {
    const std::wstring& name = args.words[0];
    const HKEY root = !name.rfind(L"HKLM\\", 0) ? HKEY_LOCAL_MACHINE : !name.rfind(L"HKCU\\", 0) ? HKEY_CURRENT_USER : nullptr;
    UniqueRegKey key;
    if (!root || ::RegOpenKeyExW(root, name.c_str() + 5, 0, READ_CONTROL | KEY_WOW64_64KEY, key.Put()) != ERROR_SUCCESS)
        return Fail(L"cannot open " + name);
    alignas(8) BYTE described[65536];   // a security descriptor is far smaller
    DWORD size = sizeof described;
    UniqueLocalMemory text;
    if (::RegGetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, described, &size) != ERROR_SUCCESS ||
        !::ConvertSecurityDescriptorToStringSecurityDescriptorW(described, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                                reinterpret_cast<LPWSTR*>(text.Put()), nullptr))
        return Fail(L"cannot read the access rules of " + name, true);
    return Print(static_cast<const wchar_t*>(text.Get()));
}

// --- the commands: the words each takes besides the options; whether it names a window (1) that must be there (2).
struct Command { const wchar_t* name; int (*run)(const Args&); size_t minWords, maxWords; int window; const wchar_t* usage; };
constexpr Command kCommands[] = {
    {L"setclip", [](auto& a) { return CmdSetClip(a, false); }, 0, 0, 0, L"[--text T] [--format NAME HEX]... [--files PATH...]"},
    {L"fillclip", [](auto& a) { return CmdSetClip(a, true); }, 0, 0, 0, L"[--text T] [--format NAME SIZE]..."},
    {L"getclip", CmdGetClip, 1, 1, 0, L"NAME [--hex]"},
    {L"formats", CmdFormats, 0, 0, 0, L"   (ID<TAB>NAME)"},
    {L"pastecheck", CmdPasteCheck, 1, SIZE_MAX, 0, L"NAME... [--timeout MS]   (NAME<TAB>SIZE<TAB>MS<TAB>ok|bad)"},
    {L"wait", CmdWait, 0, 0, 1, L"WINDOW [--gone] [--timeout MS]"},
    {L"info", CmdInfo, 0, 0, 2, L"WINDOW"},
    {L"post", [](auto& a) { return Message(a, false); }, 1, 3, 2, L"WINDOW MSG [WPARAM [LPARAM]]"},
    {L"send", [](auto& a) { return Message(a, true); }, 1, 3, 2, L"WINDOW MSG [WPARAM [LPARAM]] [--timeout MS]"},
    {L"tree", CmdTree, 0, 0, 2, L"WINDOW"},
    {L"press", CmdPress, 1, 1, 2, L"WINDOW ID"},
    {L"items", CmdItems, 0, 0, 2, L"WINDOW"},
    {L"tray", [](auto& a) { return CmdMenu(a, true); }, 0, SIZE_MAX, 0, L"[KEY...] [--timeout MS]  (KEY: down up return escape)"},
    {L"keys", [](auto& a) { return CmdMenu(a, false); }, 1, SIZE_MAX, 0, L"KEY... [--timeout MS]"},
    {L"wait-idle", CmdWaitIdle, 1, 1, 0, L"IMAGE [--timeout MS]"},
    {L"objects", CmdObjects, 1, 1, 0, L"IMAGE   (handles N, keys N, threads N)"},
    {L"keyrules", CmdKeyRules, 1, 1, 0, L"HKLM\\PATH|HKCU\\PATH   (the key's access rules as SDDL)"},
    {L"hold", CmdHold, 0, 0, 0, L"   (until ended: keeps the desktop in use)"},
};
}  // namespace

int wmain(int argc, wchar_t** argv) {
    for (const auto& command : kCommands) {
        if (argc < 2 || std::wcscmp(command.name, argv[1]) != 0) continue;
        Args args;
        if (Parse(Words(argv + 2, argv + argc), args)) return 1;
        if (args.words.size() < command.minWords || args.words.size() > command.maxWords ||
            (command.window && !args.Has(L"hwnd") && !args.Has(L"class")))
            return Fail(std::wstring(L"usage: pelkodrv ") + command.name + L" " + command.usage);
        if (command.window == 2 && !(args.window = FindNamed(args))) return Fail(L"no such window");
        return command.run(args);
    }
    if (argc >= 2) Fail(std::wstring(L"unknown command ") + argv[1]);
    Write(STD_ERROR_HANDLE, L"usage: pelkodrv COMMAND [ARGS]   (WINDOW: --hwnd H | --class C [--visible]; numbers: 10, 0xA)");
    for (const auto& command : kCommands) Write(STD_ERROR_HANDLE, std::wstring(L"  ") + command.name + L" " + command.usage);
    return 1;
}
