// The host table: who is listed under which nick, friends, the search for a nick, and what it tells
// its listener (here on another thread). Renaming and saving are tested with the friends store.
#include <windows.h>

#include <gtest/gtest.h>

#include <thread>
#include <utility>

#include "protocol/Hosts.h"
#include "support/RegistryHelpers.h"
#include "support/TestHelpers.h"

TEST(Hosts, ListsEachAddressOnceAndTellsTheWindowInOrder) {
    constexpr wchar_t kStore[] = L"Software\\Pelko\\Hosts";
    testreg::DeleteTree(HKEY_LOCAL_MACHINE, kStore);
    testreg::SetString(HKEY_LOCAL_MACHINE, kStore, L"TWIN", L"Twins");
    Hosts hosts;
    hosts.LoadFriends();
    testreg::DeleteTree(HKEY_LOCAL_MACHINE, kStore);
    std::wstring local = testutil::ComputerName();
    ::CharLowerBuffW(local.data(), static_cast<DWORD>(local.size()));
    struct : IHostsListener {   // + added, - removed, ~ changed (f: now a friend)
        std::wstring text;
        void HostAdded(DWORD address, const wchar_t*) override { text += L"+" + std::to_wstring(address) + L" "; }
        void HostRemoved(DWORD address) override { text += L"-" + std::to_wstring(address) + L" "; }
        void HostChanged(DWORD address, BOOL on) override { text += L"~" + std::to_wstring(address) + (on ? L"f " : L" "); }
    } told;
    hosts.SetListener(&told);
    std::thread([&] {
        hosts.AddHost(9, local.c_str());                           // this computer, in other letter case: never listed
        hosts.AddHost(1, L"alpha"), hosts.AddHost(1, L"TWIN");     // a renamed computer keeps its first record
        hosts.AddHost(2, L"TWIN"), hosts.AddHost(3, L"Alpha"), hosts.AddHost(4, L"TWIN");
        hosts.RemoveHost(4), hosts.RemoveHost(8);                  // 8: not listed
        hosts.SetFriend(3, TRUE), hosts.SetFriend(2, FALSE);
    }).join();
    EXPECT_EQ(std::exchange(told.text, {}), L"+1 +2 +3 +4 -4 ~3f ~2 ");
    EXPECT_EQ(hosts.Friends(), (FriendNickMap{{L"Alpha", L"Alpha"}}));
    HostInfo host;
    EXPECT_TRUE(hosts.GetHost(1, host) && host.Nick == L"alpha" && !hosts.GetHost(9, host));
    // Nicks compare in any letter case; the last match wins, the excepted address never does.
    const struct { const wchar_t* nick; DWORD except; int index; } rows[] = {
        {L"ALPHA", 0, 2}, {L"ALPHA", 3, 0}, {L"twins", 0, 1}, {L"gamma", 0, -1}};
    for (const auto& row : rows) EXPECT_EQ(hosts.FindNick(row.nick, row.except), row.index) << row.nick << row.except;
    hosts.RemoveAll();                      // silently, and a friend stays one when it comes back
    hosts.AddHost(3, L"Alpha");
    EXPECT_TRUE(hosts.GetHost(3, host) && host.Friend);
    EXPECT_EQ(told.text, L"+3 ");
    hosts.SetListener(nullptr);
}
