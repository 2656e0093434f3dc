// The two pages that list hosts. "Friends": the friends by nick name (and the other present
// hosts too when ShowFriendsOnly is off), renamed in place, a double click takes the host's
// clipboard. "Remote Hosts": every present host by computer name with a check box that makes it
// a friend; showing it asks the network to answer again, and the friend marks are saved once
// when the page is left. Both rebuild their list at every show and follow the host table's
// notifications while current. Main thread; the host table locks itself.
#pragma once

#include <windows.h>

#include <functional>

#include "ui/HostList.h"
#include "ui/Page.h"

class CFriendsPage : public CPage {
public:
    // Called with the address of a host whose clipboard the user wants.
    void SetOnTakeClipboard(std::function<void(DWORD)> take) { m_take = std::move(take); }
    [[nodiscard]] CHostList& List() noexcept { return m_list; }

    void OnShowPage() override { Refill(); }
    void OnHostAdded(DWORD address) override;
    void OnHostRemoved(DWORD address) override;
    void OnHostChanged(DWORD address) override;

protected:
    LRESULT OnCreatePage() override;
    LRESULT OnPageMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

private:
    void Refill();
    LRESULT Rename(int index, const wchar_t* nick);
    void TakeClipboard();

    CHostList m_list;
    BOOL RefillDue = FALSE;
    std::function<void(DWORD)> m_take;
};

class CRemoteHostsPage : public CPage {
public:
    [[nodiscard]] CHostList& List() noexcept { return m_list; }

    void OnShowPage() override { Refill(); }
    void OnHidePage() override;
    void OnHostAdded(DWORD address) override;
    void OnHostRemoved(DWORD address) override;

protected:
    LRESULT OnCreatePage() override;
    LRESULT OnPageMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

private:
    void Refill();

    CHostList m_list;
    BOOL FriendsChanged = FALSE;
};
