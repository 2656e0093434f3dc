#include "ui/TrayIcon.h"

#include <shellapi.h>

#include <iterator>
#include <utility>

#include "framework/Window.h"
#include "resource.h"
#include "ui/UiMessages.h"

namespace {
constexpr wchar_t kTip[] = L"Pelko Network Clipboard";
}  // namespace

void CTrayIcon::LoadIcon(bool locked) {
    m_iconId = locked ? IDI_PELKO_LOCKED : IDI_PELKO;
    m_icon.Reset(static_cast<HICON>(::LoadImageW(ModuleInstance(), MAKEINTRESOURCEW(m_iconId), IMAGE_ICON, 16, 16, 0)));
}

NOTIFYICONDATAW CTrayIcon::Data(UINT flags) const noexcept {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof(data);
    data.hWnd = m_owner;
    data.uID = kIconUid;
    data.uFlags = flags;
    data.uCallbackMessage = WM_TRAYNOTIFY;
    data.hIcon = m_icon.Get();
    lstrcpynW(data.szTip, kTip, static_cast<int>(std::size(data.szTip)));
    return data;
}

BOOL CTrayIcon::Add(HWND owner, bool locked) {
    m_owner = owner;
    LoadIcon(locked);
    NOTIFYICONDATAW data = Data(NIF_MESSAGE | NIF_ICON | NIF_TIP);
    return ::Shell_NotifyIconW(NIM_ADD, &data);
}

BOOL CTrayIcon::SetLocked(bool locked) {
    if (!m_owner) return FALSE;
    UniqueIcon previous = std::move(m_icon);   // the shell shows it until the change is made
    LoadIcon(locked);
    NOTIFYICONDATAW data = Data(NIF_ICON);
    return ::Shell_NotifyIconW(NIM_MODIFY, &data);
}

BOOL CTrayIcon::Delete() {
    if (!m_owner) return FALSE;
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof(data);
    data.hWnd = m_owner;
    data.uID = kIconUid;
    const BOOL deleted = ::Shell_NotifyIconW(NIM_DELETE, &data);
    m_owner = nullptr;
    m_iconId = 0;
    m_icon.Reset();
    return deleted;
}
