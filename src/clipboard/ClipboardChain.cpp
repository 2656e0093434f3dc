#include "clipboard/ClipboardChain.h"

#include <ole2.h>

#include <ctime>
#include <cwchar>

#include "clipboard/FileLists.h"
#include "clipboard/LocalClipboardWork.h"
#include "runtime/Handles.h"
#include "runtime/Trace.h"
#include "settings/Settings.h"

namespace {

constexpr int kViewerTextChars = 520;  // at most 519 characters of a viewer's window text

unsigned HandleNumber(HWND window) {
    return unsigned(reinterpret_cast<UINT_PTR>(window));
}

}  // namespace

std::wstring FormatWatchdogTime(const SYSTEMTIME& time) {
    std::tm parts{};
    parts.tm_year = time.wYear - 1900;
    parts.tm_mon = time.wMonth - 1;
    parts.tm_mday = time.wDay;
    parts.tm_hour = time.wHour;
    parts.tm_min = time.wMinute;
    parts.tm_sec = time.wSecond;
    parts.tm_wday = time.wDayOfWeek;
    parts.tm_isdst = -1;
    wchar_t text[128];
    const std::size_t length = std::wcsftime(text, std::size(text), L"%A, %B %d, %Y   %H:%M:%S", &parts);
    return std::wstring(text, length);
}

std::wstring WatchdogTimeNow() {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    return FormatWatchdogTime(now);
}

void CClipboardChain::Register(HWND own) {
    // SetClipboardViewer sends the first WM_DRAWCLIPBOARD before it returns, while the next
    // viewer still holds its old value. Its failure is ignored: the watchdog tries again.
    m_nextViewer = ::SetClipboardViewer(own);
}

void CClipboardChain::Join(HWND own) {
    Register(own);
    m_timerId = ::SetTimer(own, kTimerId, kTickMilliseconds, nullptr);
}

void CClipboardChain::Leave(HWND own) {
    if (m_timerId) ::KillTimer(own, m_timerId);
    m_timerId = 0;
    ::ChangeClipboardChain(own, m_nextViewer);
    m_nextViewer = nullptr;
}

void CClipboardChain::OnDrawClipboard(HWND own) {
    m_inChain = TRUE;
    if (theSettings.AddFilenameAsText && ::IsClipboardFormatAvailable(CF_HDROP) &&
        !::IsClipboardFormatAvailable(CF_TEXT) && !::IsClipboardFormatAvailable(CF_UNICODETEXT)) {
        AddTextToFileList(own);
    }
    if (::IsWindow(m_nextViewer)) ::SendMessageW(m_nextViewer, WM_DRAWCLIPBOARD, 0, 0);
}

// A file list copied without text becomes pasteable as text too. The clipboard changes once
// more by this; at that notification text is there and nothing is added.
void CClipboardChain::AddTextToFileList(HWND own) {
    CLocalClipboardWork clipboard;   // peers' reads wait from here on
    {
        // Only when the OLE clipboard can be had, as everywhere else the clipboard is read.
        UniqueCom<IDataObject> probe;
        if (FAILED(::OleGetClipboard(probe.Put())) || !probe) return;
    }
    if (!clipboard.Open(own, L"the text of a file list")) return;
    HANDLE drop = ::GetClipboardData(CF_HDROP);
    if (!drop) return;
    UniqueGlobal text(CreateTextFromHDROP(drop));
    if (!text) return;
    // The system owns the block once it has taken it, and only then.
    if (::SetClipboardData(CF_UNICODETEXT, text.Get())) (void)text.Detach();
}

void CClipboardChain::OnChangeCBChain(HWND own, HWND removed, HWND after) {
    if (removed == own) {
        ExTrace(L"Pelko is being removed from the clipboard chain(WM_CHANGECBCHAIN)!  %s", WatchdogTimeNow().c_str());
    }
    if (removed == m_nextViewer) {
        m_nextViewer = after;
    } else if (m_nextViewer) {
        ::SendMessageW(m_nextViewer, WM_CHANGECBCHAIN, reinterpret_cast<WPARAM>(removed),
                       reinterpret_cast<LPARAM>(after));
    }
}

void CClipboardChain::OnTimer(HWND own) {
    const HWND first = ::GetClipboardViewer();
    if (!first) {
        ExTrace(L"Pelko is not in the clipboard chain! No viewer exists at all!  %s", WatchdogTimeNow().c_str());
        ++m_absenceCount;  // counts towards the limit, but only a foreign first viewer re-registers
        return;
    }
    if (first == own) {
        if (m_absenceCount != 0) {
            ExTrace(L"Pelko APPEARED AGAIN (as first)in the clipboard chain!  %s", WatchdogTimeNow().c_str());
        }
        m_absenceCount = 0;
        return;
    }
    // The probe: if the chain is intact down to this window, the message reaches it through
    // the viewers ahead of it and sets the flag before SendMessageW returns.
    m_inChain = FALSE;
    ::SendMessageW(first, WM_DRAWCLIPBOARD, 0, 0);
    if (m_inChain) {
        if (m_absenceCount != 0) {
            ExTrace(L"Pelko APPEARED AGAIN in the clipboard chain!  %s", WatchdogTimeNow().c_str());
        }
        m_absenceCount = 0;
    } else {
        wchar_t name[kViewerTextChars] = {};
        ::GetWindowTextW(first, name, kViewerTextChars);
        ExTrace(L"Pelko is not in the clipboard chain!  The first viewer is hWnd=%X; Name=[%s]  %s",
                HandleNumber(first), name, WatchdogTimeNow().c_str());
        ++m_absenceCount;
    }
    if (m_absenceCount > kAbsenceLimit) {
        ExTrace(L"Pelko 16sec of abcense passed. ReRegistering  %s", WatchdogTimeNow().c_str());
        Register(own);
        m_absenceCount = 0;
    }
}
