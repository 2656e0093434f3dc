// A second process for the clipboard tests: it fills the clipboard and stays its owner until the
// test lets it go, so the tests read a clipboard that another process owns, as the program does.
//
//   pelko_clip_owner.exe TAG [text=VALUE] [hdrop=PATH|PATH...] [private=VALUE] [named=NAME:VALUE]...
//
// With no items it only empties the clipboard. Once everything is set it signals the event
// "PelkoClipOwnerReady-TAG", then waits (pumping its messages) for "PelkoClipOwnerQuit-TAG".
// Exit code 0 when all went well, 3 when the clipboard could not be filled.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "clipboard/FileListBlocks.h"

namespace {

HGLOBAL BlockOf(const void* data, std::size_t size) {
    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    if (!block) return nullptr;
    void* target = ::GlobalLock(block);
    std::memcpy(target, data, size);
    ::GlobalUnlock(block);
    return block;
}

HGLOBAL TextBlock(const std::wstring& text) {
    return BlockOf(text.c_str(), (text.size() + 1) * sizeof(wchar_t));
}

HGLOBAL DropBlock(const std::wstring& joined) {
    std::vector<std::u16string> paths;
    std::size_t at = 0;
    while (at <= joined.size()) {
        std::size_t bar = joined.find(L'|', at);
        if (bar == std::wstring::npos) bar = joined.size();
        paths.emplace_back(joined.begin() + std::ptrdiff_t(at), joined.begin() + std::ptrdiff_t(bar));
        at = bar + 1;
    }
    const ByteBlock bytes = WriteDropFiles(paths);
    return BlockOf(bytes.data(), bytes.size());
}

bool Put(UINT format, HGLOBAL block) {
    if (!block) return false;
    if (::SetClipboardData(format, block)) return true;
    ::GlobalFree(block);
    return false;
}

bool PutItem(const std::wstring& item) {
    const std::size_t equals = item.find(L'=');
    if (equals == std::wstring::npos) return false;
    const std::wstring kind = item.substr(0, equals);
    const std::wstring value = item.substr(equals + 1);
    if (kind == L"text") return Put(CF_UNICODETEXT, TextBlock(value));
    if (kind == L"hdrop") return Put(CF_HDROP, DropBlock(value));
    if (kind == L"private") return Put(CF_PRIVATEFIRST, TextBlock(value));
    if (kind == L"named") {
        const std::size_t colon = value.find(L':');
        if (colon == std::wstring::npos) return false;
        const UINT format = ::RegisterClipboardFormatW(value.substr(0, colon).c_str());
        const std::string bytes(value.begin() + std::ptrdiff_t(colon) + 1, value.end());  // ASCII payloads
        return format && Put(format, BlockOf(bytes.c_str(), bytes.size() + 1));
    }
    return false;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    const std::wstring tag = argv[1];
    HANDLE ready = ::CreateEventW(nullptr, TRUE, FALSE, (L"PelkoClipOwnerReady-" + tag).c_str());
    HANDLE quit = ::CreateEventW(nullptr, TRUE, FALSE, (L"PelkoClipOwnerQuit-" + tag).c_str());
    HWND owner = ::CreateWindowExW(0, L"STATIC", L"Pelko clipboard owner", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                   nullptr, nullptr, nullptr);
    if (!ready || !quit || !owner) return 3;

    // Another program (Wine's clipboard manager, a viewer reading the last change) may hold the
    // clipboard open for a moment: try again for a few seconds, as applications do.
    bool opened = false;
    for (int attempt = 0; attempt < 500 && !(opened = ::OpenClipboard(owner) != FALSE); ++attempt) ::Sleep(10);
    if (!opened) return 3;
    bool filled = ::EmptyClipboard() != FALSE;
    for (int i = 2; filled && i < argc; ++i) filled = PutItem(argv[i]);
    ::CloseClipboard();
    if (!filled) return 3;

    ::SetEvent(ready);
    for (;;) {
        const DWORD woke = ::MsgWaitForMultipleObjects(1, &quit, FALSE, INFINITE, QS_ALLINPUT);
        if (woke == WAIT_OBJECT_0) break;
        if (woke != WAIT_OBJECT_0 + 1) return 3;
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
    }
    ::DestroyWindow(owner);
    return 0;
}
