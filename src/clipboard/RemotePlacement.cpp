// Placing a remote host's format list on the local clipboard with delayed rendering: the hidden
// window becomes the owner and renders each format when an application pastes it (HiddenWnd.cpp).
// Main thread.
#include <cwchar>
#include <string>

#include "clipboard/LocalClipboardWork.h"
#include "protocol/Server.h"
#include "runtime/Trace.h"
#include "settings/SoundEvents.h"

namespace {
// Formats that only make sense inside the process that put them there.
constexpr const wchar_t* kNeverPlaced[] = {L"Preferred DropEffect", L"Ole Private Data", L"DataObject"};

bool IsNeverPlaced(const wchar_t* name) {
    for (const wchar_t* skipped : kNeverPlaced)
        if (::_wcsicmp(name, skipped) == 0) return true;
    return false;
}
}  // namespace

BOOL CServer::PlaceRemoteFormats(const std::wstring& list, ULONG host) {
    m_pending.Clear();
    CLocalClipboardWork clipboard;   // closed when it goes
    if (clipboard.Open(m_clipboardOwner.load(), L"placing a remote clipboard")) {
        const HCURSOR previous = ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
        if (::EmptyClipboard()) {
            m_placedHost = host;   // the old promises are gone with the old host
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
        ::SetCursor(previous);
    }
    if (!m_pending.IsEmpty()) PlaySoundEvent(kSoundReadyToTransfer, kSoundFlagsAsync);
    return TRUE;
}
