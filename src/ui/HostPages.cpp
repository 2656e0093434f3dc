#include "ui/HostPages.h"

#include "protocol/Server.h"
#include "resource.h"
#include "settings/Settings.h"
#include "ui/ShowMessage.h"

namespace {
constexpr int kListId = 1;
constexpr int kListInset = 3;

// The wait cursor for as long as a refill runs.
class WaitCursor {
public:
    WaitCursor() : m_old(::SetCursor(::LoadCursorW(nullptr, IDC_WAIT))) {}
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
    ~WaitCursor() { ::SetCursor(m_old); }

private:
    HCURSOR m_old;
};

bool CreateList(CHostList& list, HWND page) {
    RECT client{};
    ::GetClientRect(page, &client);
    ::InflateRect(&client, -kListInset, -kListInset);
    return list.Create(client, page, kListId);
}

// What both pages answer for their owner-drawn list box: fixed 18-pixel entries, and no
// per-item drawing, since the list paints itself in one piece.
bool OnListOwnerDraw(UINT message, LPARAM lParam, LRESULT& result) {
    if (message == WM_MEASUREITEM) {
        reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)->itemHeight = CHostList::kEntryHeight;
        result = TRUE;
        return true;
    }
    if (message == WM_DRAWITEM) {
        result = TRUE;
        return true;
    }
    return false;
}
}  // namespace

// ---- Friends ----

LRESULT CFriendsPage::OnCreatePage() {
    if (!CreateList(m_list, Hwnd())) return -1;
    m_list.ShowIcons = TRUE;
    m_list.HighlightSelection = TRUE;
    m_list.RenameInPlace = TRUE;
    return 0;
}

void CFriendsPage::Refill() {
    WaitCursor wait;
    m_list.RemoveAllEntries();
    theServer.ForEachHost(
        [](const HostInfo& host, void* context) {
            CHostList& list = *static_cast<CHostList*>(context);
            const int index = list.FindEntry(host.Address);
            if (index < 0) {
                if (!host.Friend && theSettings.ShowFriendsOnly) return;
                const int at = list.AddEntry(host.Nick.c_str());
                list.SetEntryAddress(at, host.Address);
            } else if (!host.Friend) {
                list.DeleteEntry(index);
            }
        },
        &m_list);
}

void CFriendsPage::OnHostAdded(DWORD address) {
    if (m_list.IsEditing()) {
        RefillDue = TRUE;
        return;
    }
    HostInfo host;
    if (m_list.FindEntry(address) >= 0 || !theServer.HostTable().GetHost(address, host)) return;
    // A newcomer is listed at once, friend or not; the next refill applies "Show friends only".
    const int at = m_list.AddEntry(host.Nick.c_str());
    m_list.SetEntryAddress(at, address);
}

void CFriendsPage::OnHostRemoved(DWORD address) {
    if (m_list.IsEditing()) {
        RefillDue = TRUE;
        return;
    }
    const int index = m_list.FindEntry(address);
    if (index >= 0) m_list.DeleteEntry(index);
}

void CFriendsPage::OnHostChanged(DWORD address) {
    HostInfo host;
    if (!theServer.HostTable().GetHost(address, host)) return;
    const int index = m_list.FindEntry(address);
    if (index >= 0 && !host.Friend) {
        m_list.DeleteEntry(index);
    } else if (index < 0 && host.Friend) {
        const int at = m_list.AddEntry(host.Nick.c_str());
        m_list.SetEntryAddress(at, address);
    }
}

LRESULT CFriendsPage::Rename(int index, const wchar_t* nick) {
    LRESULT result = 0;
    if (index >= 0) {
        const DWORD address = m_list.GetEntryAddress(index);
        Hosts& hosts = theServer.HostTable();
        if (!nick || !*nick) {
            ShowMessageId(IDS_NICK_EMPTY, MB_ICONEXCLAMATION);
        } else if (hosts.FindNick(nick, address) >= 0) {
            ShowMessageId(IDS_NICK_NOT_UNIQUE, MB_ICONEXCLAMATION);
        } else if (!hosts.RenameHost(address, nick)) {
            ShowMessageId(IDS_RENAME_FAILED, MB_ICONEXCLAMATION);
        } else {
            result = 1;
        }
    }
    if (RefillDue) {
        RefillDue = FALSE;
        ::PostMessageW(Hwnd(), WM_REFILLLIST, 0, 0);
    }
    return result;
}

void CFriendsPage::TakeClipboard() {
    m_list.CancelPendingRename();
    const int selected = static_cast<int>(::SendMessageW(m_list.Hwnd(), LB_GETCURSEL, 0, 0));
    if (selected >= 0 && m_take) m_take(m_list.GetEntryAddress(selected));
}

LRESULT CFriendsPage::OnPageMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
    LRESULT result = 0;
    if (OnListOwnerDraw(message, lParam, result)) return result;
    switch (message) {
        case WM_COMMAND:
            if (LOWORD(wParam) == kListId && HIWORD(wParam) == LBN_DBLCLK) TakeClipboard();
            return 0;
        case WM_LISTEDITDONE:
            return Rename(static_cast<int>(wParam), reinterpret_cast<const wchar_t*>(lParam));
        case WM_REFILLLIST:
            ::SendMessageW(m_list.Hwnd(), WM_SETREDRAW, FALSE, 0);
            Refill();
            ::SendMessageW(m_list.Hwnd(), WM_SETREDRAW, TRUE, 0);
            ::InvalidateRect(m_list.Hwnd(), nullptr, FALSE);
            return 0;
        default:
            return CPage::OnPageMessage(message, wParam, lParam, handled);
    }
}

// ---- Remote Hosts ----

LRESULT CRemoteHostsPage::OnCreatePage() {
    if (!CreateList(m_list, Hwnd())) return -1;
    m_list.ShowIcons = TRUE;
    m_list.CheckBoxes = TRUE;
    return 0;
}

void CRemoteHostsPage::Refill() {
    WaitCursor wait;
    m_list.RemoveAllEntries();
    theServer.ForEachHost(
        [](const HostInfo& host, void* context) {
            CHostList& list = *static_cast<CHostList*>(context);
            if (list.FindEntry(host.Address) >= 0) return;
            const int at = list.AddEntry(host.Name.c_str());
            list.SetEntryAddress(at, host.Address);
            list.SetEntryCheck(at, host.Friend);
        },
        &m_list);
    theServer.BroadcastQuery();   // every host answers again, so newcomers and leavers show
}

void CRemoteHostsPage::OnHidePage() {
    if (FriendsChanged) theServer.HostTable().SaveFriends();
    FriendsChanged = FALSE;
}

void CRemoteHostsPage::OnHostAdded(DWORD address) {
    HostInfo host;
    if (m_list.FindEntry(address) >= 0 || !theServer.HostTable().GetHost(address, host)) return;
    const int at = m_list.AddEntry(host.Name.c_str());
    m_list.SetEntryAddress(at, address);
    m_list.SetEntryCheck(at, host.Friend);
}

void CRemoteHostsPage::OnHostRemoved(DWORD address) {
    const int index = m_list.FindEntry(address);
    if (index >= 0) m_list.DeleteEntry(index);
}

LRESULT CRemoteHostsPage::OnPageMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
    LRESULT result = 0;
    if (OnListOwnerDraw(message, lParam, result)) return result;
    if (message == WM_LISTCHECKED) {
        theServer.HostTable().SetFriend(m_list.GetEntryAddress(static_cast<int>(wParam)), static_cast<BOOL>(lParam));
        FriendsChanged = TRUE;
        return 0;
    }
    return CPage::OnPageMessage(message, wParam, lParam, handled);
}
