// Clipboard commands: fill the clipboard as an application would (text, a named format with
// given bytes, a file list), paste one format by name (which makes its owner render a promised
// format) and list what is there.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstring>
#include <vector>

#include "Commands.h"
#include "FormatNames.h"
#include "Output.h"
#include "framework/Handles.h"

namespace {

constexpr DWORD kDefaultOpenTimeoutMs = 10000;

// The clipboard needs an owner window for SetClipboardData; a message-only window will do.
// It is destroyed when the driver ends, which leaves the data (none of it is delayed) in place.
class CClipboardSession {
public:
    CClipboardSession() {
        m_owner = ::CreateWindowExW(0, L"STATIC", L"pelkodrv", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    }
    ~CClipboardSession() {
        if (m_open) ::CloseClipboard();
        if (m_owner) ::DestroyWindow(m_owner);
    }
    CClipboardSession(const CClipboardSession&) = delete;
    CClipboardSession& operator=(const CClipboardSession&) = delete;

    // Another program may hold the clipboard open for a moment: try again until the time-out.
    bool Open(DWORD timeoutMs) {
        const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
        while (!(m_open = ::OpenClipboard(m_owner) != FALSE)) {
            if (::GetTickCount64() >= deadline) return false;
            ::Sleep(10);
        }
        return true;
    }

private:
    HWND m_owner = nullptr;
    bool m_open = false;
};

// A movable global block holding the given bytes.
UniqueGlobal MakeBlock(const void* data, size_t size) {
    UniqueGlobal block(::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size ? size : 1));
    if (!block) return block;
    GlobalLockGuard lock(block.Get());
    if (!lock.Data()) return UniqueGlobal();
    if (size) std::memcpy(lock.Data(), data, size);
    return block;
}

bool ParseHex(const std::wstring& text, std::vector<unsigned char>& bytes) {
    if (text.size() % 2 != 0) return false;
    for (size_t i = 0; i < text.size(); i += 2) {
        std::int64_t value = 0;
        if (!ParseNumber(L"0x" + text.substr(i, 2), value)) return false;
        bytes.push_back(static_cast<unsigned char>(value));
    }
    return true;
}

// CF_HDROP: a DROPFILES header followed by the wide names, each ended by a null, and one more null.
std::vector<unsigned char> MakeDropFiles(const std::vector<std::wstring>& paths) {
    std::wstring names;
    for (const auto& path : paths) { names += path; names.push_back(L'\0'); }
    names.push_back(L'\0');
    std::vector<unsigned char> bytes(sizeof(DROPFILES) + names.size() * sizeof(wchar_t));
    DROPFILES header{};
    header.pFiles = sizeof(DROPFILES);
    header.fWide = TRUE;
    std::memcpy(bytes.data(), &header, sizeof header);
    std::memcpy(bytes.data() + sizeof header, names.data(), names.size() * sizeof(wchar_t));
    return bytes;
}

bool PutBlock(UINT format, const void* data, size_t size, const std::wstring& what) {
    UniqueGlobal block = MakeBlock(data, size);
    if (!block) { FailWithLastError(L"no memory for " + what); return false; }
    if (!::SetClipboardData(format, block.Get())) { FailWithLastError(L"SetClipboardData failed for " + what); return false; }
    (void)block.Detach();  // the clipboard owns it now
    return true;
}

std::string HexOf(const unsigned char* data, size_t size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < size; ++i) {
        text.push_back(kDigits[data[i] >> 4]);
        text.push_back(kDigits[data[i] & 15]);
    }
    return text;
}

int PrintDropFiles(HANDLE data) {
    HDROP drop = static_cast<HDROP>(data);
    const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        const UINT length = ::DragQueryFileW(drop, i, nullptr, 0);
        std::vector<wchar_t> name(length + 1, L'\0');
        ::DragQueryFileW(drop, i, name.data(), length + 1);
        PrintLine(std::wstring(name.data(), length));
    }
    return 0;
}

int PrintText(UINT format, const unsigned char* data, size_t size) {
    if (format == CF_UNICODETEXT) {
        const auto* text = reinterpret_cast<const wchar_t*>(data);
        const size_t chars = size / sizeof(wchar_t);
        size_t length = 0;
        while (length < chars && text[length]) ++length;
        PrintLine(std::wstring(text, length));
        return 0;
    }
    // Narrow text in the code page its format implies.
    size_t length = 0;
    while (length < size && data[length]) ++length;
    const UINT codePage = format == CF_OEMTEXT ? CP_OEMCP : CP_ACP;
    const int chars = ::MultiByteToWideChar(codePage, 0, reinterpret_cast<const char*>(data), static_cast<int>(length), nullptr, 0);
    std::wstring wide(static_cast<size_t>(chars), L'\0');
    ::MultiByteToWideChar(codePage, 0, reinterpret_cast<const char*>(data), static_cast<int>(length), wide.data(), chars);
    PrintLine(wide);
    return 0;
}

}  // namespace

int CmdSetClip(CArgs& args) {
    auto files = args.TakeRest(L"files");
    auto text = args.TakeOption(L"text");
    std::vector<std::pair<std::wstring, std::wstring>> formats;  // name, hex bytes
    while (auto format = args.TakeOptionPair(L"format")) formats.push_back(*format);
    if (args.HasError()) return Fail(args.Error());
    if (!args.Positional().empty()) return Fail(L"unexpected argument " + args.Positional().front());
    if (args.HasError()) return Fail(args.Error());
    if (!text && formats.empty() && !files) return Fail(L"setclip: give --text, --format or --files");

    CClipboardSession session;
    if (!session.Open(kDefaultOpenTimeoutMs)) return FailWithLastError(L"cannot open the clipboard");
    if (!::EmptyClipboard()) return FailWithLastError(L"cannot empty the clipboard");
    if (text && !PutBlock(CF_UNICODETEXT, text->c_str(), (text->size() + 1) * sizeof(wchar_t), L"text")) return 1;
    for (const auto& [name, hexBytes] : formats) {
        std::vector<unsigned char> bytes;
        if (!ParseHex(hexBytes, bytes)) return Fail(L"not hex bytes: " + hexBytes);
        const UINT id = FormatIdFromName(name);
        if (!id) return FailWithLastError(L"cannot register format " + name);
        if (!PutBlock(id, bytes.data(), bytes.size(), name)) return 1;
    }
    if (files) {
        const auto bytes = MakeDropFiles(*files);
        if (!PutBlock(CF_HDROP, bytes.data(), bytes.size(), L"CF_HDROP")) return 1;
    }
    return 0;
}

int CmdGetClip(CArgs& args) {
    const bool hex = args.TakeFlag(L"hex");
    const bool asText = args.TakeFlag(L"text");
    const bool asWideText = args.TakeFlag(L"wtext");
    const auto timeout = static_cast<DWORD>(args.TakeNumber(L"timeout", kDefaultOpenTimeoutMs));
    const auto& names = args.Positional();
    if (args.HasError()) return Fail(args.Error());
    if (names.size() != 1) return Fail(L"getclip: give one format name");
    const UINT id = FormatIdFromName(names[0]);
    if (!id) return Fail(L"unknown format " + names[0]);

    CClipboardSession session;
    if (!session.Open(timeout)) return FailWithLastError(L"cannot open the clipboard");
    if (!::IsClipboardFormatAvailable(id)) return Fail(L"format not on the clipboard: " + names[0]);
    // For a promised format this makes its owner render it now (WM_RENDERFORMAT) and waits.
    HANDLE data = ::GetClipboardData(id);
    if (!data) return FailWithLastError(L"no data for " + names[0]);

    const bool textFormat = id == CF_TEXT || id == CF_OEMTEXT || id == CF_UNICODETEXT;
    if (id == CF_HDROP && !hex) return PrintDropFiles(data);
    GlobalLockGuard lock(data);
    if (!lock.Data()) return FailWithLastError(L"cannot lock the data of " + names[0]);
    const auto* bytes = static_cast<const unsigned char*>(lock.Data());
    if (asWideText && !hex) return PrintText(CF_UNICODETEXT, bytes, lock.Size());
    if ((textFormat || asText) && !hex) return PrintText(textFormat ? id : CF_TEXT, bytes, lock.Size());
    PrintRaw(HexOf(bytes, lock.Size()) + "\n");
    return 0;
}

int CmdFormats(CArgs& args) {
    if (!args.Positional().empty()) return Fail(L"formats takes no arguments");
    CClipboardSession session;
    if (!session.Open(kDefaultOpenTimeoutMs)) return FailWithLastError(L"cannot open the clipboard");
    for (UINT id = ::EnumClipboardFormats(0); id; id = ::EnumClipboardFormats(id))
        PrintLine(std::to_wstring(id) + L"\t" + FormatNameFromId(id));
    return 0;
}
