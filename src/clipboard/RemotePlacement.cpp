// Placing a remote host's format list on the local clipboard with delayed rendering: the hidden
// window becomes the owner and renders each format when an application pastes it (HiddenWnd.cpp).
// Main thread.
#include <cwchar>
#include <string>

#include "protocol/Server.h"
#include "runtime/Trace.h"
#include "settings/SoundEvents.h"

namespace {
// Formats that only make sense inside the process that put them there.
constexpr const wchar_t* kNeverPlaced[] = {L"Preferred DropEffect", L"Ole Private Data", L"DataObject"};
// Wine's clipboard manager may hold the clipboard for a moment after a change.
constexpr int kOpenAttempts = 50;
constexpr DWORD kOpenRetryMs = 10;

bool IsNeverPlaced(const wchar_t* name) {
    for (const wchar_t* skipped : kNeverPlaced)
        if (::_wcsicmp(name, skipped) == 0) return true;
    return false;
}

bool OpenClipboardFor(HWND owner) {
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        if (::OpenClipboard(owner)) return true;
        ::Sleep(kOpenRetryMs);
    }
    return false;
}
}  // namespace

BOOL CServer::PlaceRemoteFormats(const std::wstring& list) {
    m_pending.Clear();
    if (OpenClipboardFor(m_clipboardOwner.load())) {
        const HCURSOR previous = ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
        if (::EmptyClipboard()) {
            std::wstring copy = list;
            wchar_t* rest = nullptr;
            for (wchar_t* name = ::wcstok_s(copy.data(), L"/", &rest); name; name = ::wcstok_s(nullptr, L"/", &rest)) {
                const UINT id = FormatIdFromName(name);
                ExTrace(L"SETFORMAT: [%s]=%d", name, static_cast<int>(id));
                if (IsNeverPlaced(name)) continue;
                // Delayed rendering: no data now. (Wine answers NULL here even when it worked.)
                ::SetClipboardData(id, nullptr);
                m_pending.Add(id);
            }
        }
        ::CloseClipboard();
        ::SetCursor(previous);
    }
    if (!m_pending.IsEmpty()) PlaySoundEvent(kSoundReadyToTransfer, kSoundFlagsAsync);
    return TRUE;
}
