// Whom the serving side serves (see ServingPolicy.h for threads).
#include "protocol/ServingPolicy.h"

#include "protocol/Ear.h"
#include "protocol/Hosts.h"
#include "protocol/Message.h"
#include "protocol/PendingFormats.h"
#include "settings/Settings.h"

bool CServingPolicy::IsRequestAllowed(ULONG peer, DWORD /*command*/) {
    HostInfo host;
    const bool known = m_hosts.GetHost(peer, host);
    if (!known) BroadcastWho(m_settings, cmd_WhoQuery);   // so that the peer announces itself
    if (m_settings.Locked) return false;
    if (m_settings.AcceptFriendsOnly) return known && host.Friend;
    return true;
}

bool CServingPolicy::HoldsRemoteClipboard() const {
    const HWND owner = m_clipboardOwner.load();
    return owner != nullptr && ::GetClipboardOwner() == owner && !m_pending.IsEmpty();
}

bool CServingPolicy::CanServeClipboard(ULONG /*peer*/, DWORD command) const {
    if (command != cmd_GetInfo && command != cmd_GetData) return false;
    return !HoldsRemoteClipboard();
}

BOOL CServingPolicy::GetLocalClipInfo(std::wstring& list) const {
    list.clear();
    return m_serving && m_clipboard.GetLocalClipInfo(list);
}

HGLOBAL CServingPolicy::GetClipboardData(const wchar_t* name) const {
    return m_serving ? m_clipboard.GetClipboardData(name) : nullptr;
}
