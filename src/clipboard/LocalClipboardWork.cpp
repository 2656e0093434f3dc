// Local clipboard work before peers' reads (see LocalClipboardWork.h).
#include "clipboard/LocalClipboardWork.h"

#include <atomic>

#include "runtime/Trace.h"

namespace {
// Attempts and their spacing: a peer's read holds the clipboard for one copy, Wine's clipboard
// manager for a moment after a change; both end well within this.
constexpr int kOpenAttempts = 50;
constexpr int kPeerOpenAttempts = 10;
constexpr DWORD kOpenRetryMs = 10;
constexpr int kYieldSteps = 200;
constexpr DWORD kYieldStepMs = 5;

std::atomic<int> g_localWork{0};
}  // namespace

CLocalClipboardWork::CLocalClipboardWork() noexcept {
    ++g_localWork;
}

CLocalClipboardWork::~CLocalClipboardWork() {
    if (m_open) ::CloseClipboard();
    --g_localWork;
}

bool CLocalClipboardWork::Open(HWND owner, const wchar_t* what) {
    for (int attempt = 0; !m_open && attempt < kOpenAttempts; ++attempt) {
        if (attempt > 0) ::Sleep(kOpenRetryMs);
        m_open = ::OpenClipboard(owner) != FALSE;
    }
    if (!m_open)
        ExTrace(L"Clipboard: could not open the clipboard for %s (%d)", what, static_cast<int>(::GetLastError()));
    return m_open;
}

CPeerClipboardRead::CPeerClipboardRead() noexcept {
    for (int attempt = 0; IsLocalClipboardWorkPending() || !::OpenClipboard(nullptr); ++attempt) {
        if (attempt == kPeerOpenAttempts || IsLocalClipboardWorkPending()) return;
        ::Sleep(kOpenRetryMs);
    }
    m_open = true;
}

CPeerClipboardRead::~CPeerClipboardRead() {
    if (m_open) ::CloseClipboard();
}

bool IsLocalClipboardWorkPending() noexcept {
    return g_localWork.load() > 0;
}

void YieldToLocalClipboardWork() noexcept {
    for (int step = 0; step < kYieldSteps && IsLocalClipboardWorkPending(); ++step) ::Sleep(kYieldStepMs);
}
