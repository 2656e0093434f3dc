// Taking a remote host's clipboard, promising its formats and rendering them on paste (see
// RemoteClipboard.h). Main thread.
#include "clipboard/RemoteClipboard.h"

#include <cwchar>

#include "clipboard/FileLists.h"
#include "clipboard/LocalClipboardWork.h"
#include "protocol/Server.h"
#include "runtime/Handles.h"
#include "runtime/Trace.h"
#include "settings/Settings.h"
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

bool CRemoteClipboard::Take(HWND owner, DWORD host) {
    m_currentHost = host;
    if (host == 0) return true;
    std::wstring list;
    if (!m_server.GetRemoteClipInfo(host, list)) return false;
    PlaceRemoteFormats(owner, list, host);
    return true;
}

void CRemoteClipboard::PlaceRemoteFormats(HWND owner, const std::wstring& list, DWORD host) {
    PendingFormats& pending = m_server.Pending();
    pending.Clear();
    CLocalClipboardWork clipboard;   // closed when it goes
    if (clipboard.Open(owner, L"placing a remote clipboard")) {
        const HCURSOR previous = ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
        if (::EmptyClipboard()) {
            m_placedHost = host;   // the old promises are gone with the old host
            std::wstring copy = list;
            wchar_t* rest = nullptr;
            for (wchar_t* name = ::wcstok_s(copy.data(), L"/", &rest); name; name = ::wcstok_s(nullptr, L"/", &rest)) {
                const UINT id = m_server.FormatIdFromName(name);
                ExTrace(L"SETFORMAT: [%s]=%d", name, static_cast<int>(id));
                if (IsNeverPlaced(name)) continue;
                // Delayed rendering: no data now. (Wine answers NULL here even when it worked.)
                ::SetClipboardData(id, nullptr);
                pending.Add(id);
            }
        }
        ::SetCursor(previous);
    }
    if (!pending.IsEmpty()) PlaySoundEvent(kSoundReadyToTransfer, kSoundFlagsAsync);
}

bool CRemoteClipboard::Render(HWND owner, UINT format) {
    const wchar_t* name = m_server.FormatNameFromId(format);
    ExTrace(L"OnRenderFormat %s", name ? name : L"");
    HGLOBAL data = m_server.GetRemoteClipData(m_placedHost, format);
    if (data == nullptr) return false;
    if (!SetFetchedData(format, data)) {
        KeepLateData(owner, format, data);
        return true;
    }
    // The pasting application waits until the render returns, and under Wine an asynchronous
    // sound first starts a thread of the highest priority: the sound follows the render instead.
    if (!::PostMessageW(owner, m_renderedMessage, 0, 0)) OnRendered();
    return true;
}

void CRemoteClipboard::OnRendered() {
    PlaySoundEvent(kSoundTransferCompleted, kSoundFlagsAsync);
}

// The clipboard is open, for the render or by the owner. A file list brings the shell's item
// list and the text form first; they replace their own promises.
bool CRemoteClipboard::SetFetchedData(UINT format, HGLOBAL data) {
    if (format == CF_HDROP) {
        if (HGLOBAL items = CreateIDListArray(data)) {
            if (!::SetClipboardData(::RegisterClipboardFormatW(L"Shell IDList Array"), items)) ::GlobalFree(items);
        }
        if (m_settings.AddFilenameAsText) {
            if (HGLOBAL text = CreateTextFromHDROP(data)) {
                if (!::SetClipboardData(CF_UNICODETEXT, text)) ::GlobalFree(text);
            }
        }
    }
    return ::SetClipboardData(format, data) != nullptr;   // from here the system owns the block
}

// Windows gives a render 30 seconds; a longer transfer finds the pasting application gone and
// the clipboard no longer open for it. Fetched once, the data is not thrown away: while the owner
// still owns the clipboard it goes there as ordinary data beside the formats still promised, and
// the next paste takes it at once.
void CRemoteClipboard::KeepLateData(HWND owner, UINT format, HGLOBAL data) {
    UniqueGlobal owned(data);
    const wchar_t* name = m_server.FormatNameFromId(format);
    bool kept = false;
    {
        CLocalClipboardWork clipboard;   // closed when it goes
        if (!clipboard.Open(owner, L"keeping data that arrived late")) return;
        // Whoever emptied the clipboard since (the user copied something else) has the last word.
        kept = ::GetClipboardOwner() == owner && SetFetchedData(format, owned.Get());
    }
    ExTrace(L"OnRenderFormat %s: arrived late, %s", name ? name : L"",
            kept ? L"kept on the clipboard" : L"dropped, the clipboard has changed");
    if (!kept) return;
    (void)owned.Detach();   // the system's now
    PlaySoundEvent(kSoundTransferCompleted, kSoundFlagsAsync);
}
