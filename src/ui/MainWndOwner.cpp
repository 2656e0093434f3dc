#include "ui/MainWndOwner.h"

#include <utility>

#include "runtime/Trace.h"
#include "ui/MainWnd.h"
#include "ui/ShowMessage.h"

CMainWndOwner::CMainWndOwner(CHostEvents& events, std::function<void(DWORD)> take)
    : m_events(events), m_take(std::move(take)) {}

CMainWndOwner::~CMainWndOwner() = default;

bool CMainWndOwner::Exists() const noexcept {
    return m_wnd && m_wnd->IsWindowValid();
}

bool CMainWndOwner::Create() {
    if (Exists()) return true;
    m_wnd = std::make_unique<CMainWnd>();
    m_wnd->SetHostEvents(&m_events);
    if (!m_wnd->Create()) {
        m_wnd.reset();   // also destroys a window that failed half-way
        ExTrace(L"HiddenWnd: main window not created (%d)", static_cast<int>(::GetLastError()));
        ShowMessage(L"Failed to create main window", MB_ICONERROR);
        return false;
    }
    // Closing the window frees its object and clears this pointer.
    m_wnd->SetOnGone([this] { m_wnd.reset(); });
    m_wnd->SetOnTakeClipboard(m_take);
    m_wnd->CenterWindow();
    ::ShowWindow(m_wnd->Hwnd(), SW_SHOW);
    ::SetForegroundWindow(m_wnd->Hwnd());
    return true;
}

void CMainWndOwner::Open() {
    if (Exists()) {
        ::SetForegroundWindow(m_wnd->Hwnd());
        ::SetFocus(m_wnd->Hwnd());
        return;
    }
    Create();
}
