// Pattern commands, for transfers too large to spell out in hex: fill the clipboard with
// formats of a given size whose bytes follow a fixed pattern, and paste formats one after the
// other, timing each paste and checking every byte against the pattern.
//   fillclip [--text T] --format NAME SIZE [--format NAME SIZE]...
//   pastecheck NAME... [--timeout MS]   ->  one line per format: NAME<TAB>SIZE<TAB>MS<TAB>ok|bad
#include <windows.h>

#include <cstdint>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

#include "Commands.h"
#include "FormatNames.h"
#include "Output.h"
#include "Pattern.h"
#include "framework/Handles.h"

namespace {

bool OpenClipboardWithin(HWND owner, DWORD timeoutMs) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    while (!::OpenClipboard(owner)) {
        if (::GetTickCount64() >= deadline) return false;
        ::Sleep(10);
    }
    return true;
}

struct ClipboardOpen {
    HWND owner = ::CreateWindowExW(0, L"STATIC", L"pelkodrv", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    bool open = false;
    ~ClipboardOpen() {
        if (open) ::CloseClipboard();
        if (owner) ::DestroyWindow(owner);
    }
};

}  // namespace

int CmdFillClip(CArgs& args) {
    const auto text = args.TakeOption(L"text");
    std::vector<std::pair<std::wstring, std::wstring>> formats;
    while (auto format = args.TakeOptionPair(L"format")) formats.push_back(*format);
    if (args.HasError()) return Fail(args.Error());
    if (formats.empty() || !args.Positional().empty()) return Fail(L"fillclip: give --format NAME SIZE...");
    ClipboardOpen clipboard;
    if (!(clipboard.open = OpenClipboardWithin(clipboard.owner, 10000))) return FailWithLastError(L"cannot open the clipboard");
    if (!::EmptyClipboard()) return FailWithLastError(L"cannot empty the clipboard");
    for (const auto& [name, sizeText] : formats) {
        std::int64_t size = 0;
        if (!ParseNumber(sizeText, size) || size < 1) return Fail(L"not a size: " + sizeText);
        const UINT id = FormatIdFromName(name);
        if (!id) return FailWithLastError(L"cannot register format " + name);
        UniqueGlobal block(::GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(size)));
        if (!block) return FailWithLastError(L"no memory for " + name);
        {
            GlobalLockGuard lock(block.Get());
            auto* bytes = static_cast<unsigned char*>(lock.Data());
            if (!bytes) return FailWithLastError(L"cannot lock the block for " + name);
            for (std::int64_t i = 0; i < size; ++i) bytes[i] = PatternByte(static_cast<std::uint64_t>(i));
        }
        if (!::SetClipboardData(id, block.Get())) return FailWithLastError(L"SetClipboardData failed for " + name);
        (void)block.Detach();
    }
    if (text) {
        UniqueGlobal block(::GlobalAlloc(GMEM_MOVEABLE, (text->size() + 1) * sizeof(wchar_t)));
        {
            GlobalLockGuard lock(block.Get());
            if (!lock.Data()) return FailWithLastError(L"no memory for the text");
            std::wmemcpy(static_cast<wchar_t*>(lock.Data()), text->c_str(), text->size() + 1);
        }
        if (!::SetClipboardData(CF_UNICODETEXT, block.Get())) return FailWithLastError(L"SetClipboardData failed for the text");
        (void)block.Detach();
    }
    return 0;
}

int CmdPasteCheck(CArgs& args) {
    const auto timeout = static_cast<DWORD>(args.TakeNumber(L"timeout", 10000));
    const auto names = args.Positional();
    if (args.HasError()) return Fail(args.Error());
    if (names.empty()) return Fail(L"pastecheck: give format names");
    LARGE_INTEGER frequency{};
    ::QueryPerformanceFrequency(&frequency);
    ClipboardOpen clipboard;
    if (!(clipboard.open = OpenClipboardWithin(clipboard.owner, timeout))) return FailWithLastError(L"cannot open the clipboard");
    int result = 0;
    for (const auto& name : names) {
        const UINT id = FormatIdFromName(name);
        LARGE_INTEGER start{}, end{};
        ::QueryPerformanceCounter(&start);
        HANDLE data = id ? ::GetClipboardData(id) : nullptr;   // a promised format is rendered now
        GlobalLockGuard lock(data);
        ::QueryPerformanceCounter(&end);
        const double ms = 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
        const auto* bytes = static_cast<const unsigned char*>(lock.Data());
        const SIZE_T size = bytes ? lock.Size() : 0;
        bool intact = bytes != nullptr;
        for (SIZE_T i = 0; intact && i < size; ++i) intact = bytes[i] == PatternByte(i);
        wchar_t line[600];
        std::swprintf(line, 600, L"%ls\t%llu\t%.3f\t%ls", name.c_str(), static_cast<unsigned long long>(size), ms,
                      intact ? L"ok" : L"bad");
        PrintLine(line);
        if (!intact) result = 1;
    }
    return result;
}
