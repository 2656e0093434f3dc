// Puts formats on the clipboard, owned by a message-only window of the test for the object's
// lifetime. Wine's clipboard manager may hold the clipboard open for a moment: opening waits.
#pragma once

#include <windows.h>

#include "clipboard/FileListBlocks.h"
#include "clipboard/FileLists.h"
#include "support/TestHelpers.h"

class CClipboardContents {
public:
    explicit CClipboardContents(const std::vector<std::pair<UINT, ByteBlock>>& formats)
        : m_owner(::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr)) {
        if (!m_owner || !uitest::PumpUntil([&] { return ::OpenClipboard(m_owner) != FALSE; })) return;
        filled = ::EmptyClipboard() != FALSE;
        for (const auto& [id, bytes] : formats) filled = filled && ::SetClipboardData(id, CopyToGlobal(bytes));
        ::CloseClipboard();
    }
    CClipboardContents(const CClipboardContents&) = delete;
    CClipboardContents& operator=(const CClipboardContents&) = delete;
    ~CClipboardContents() { ::DestroyWindow(m_owner); }

    static ByteBlock Text(const wchar_t* text) {  // with its terminator
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(text);
        return ByteBlock(bytes, bytes + 2 * (wcslen(text) + 1));
    }
    bool filled = false;

private:
    HWND m_owner;
};
