// The friends store HKEY_LOCAL_MACHINE\Software\Pelko\Hosts: loading it into FriendNicks (while
// discovery adds hosts), rewriting it from the host table, and storing a nick.
#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

#include "../support/DebugOutputCapture.h"
#include "../support/RegistryHelpers.h"
#include "../support/RegistryTestLock.h"
#include "protocol/Hosts.h"
#include "settings/Settings.h"

namespace {

constexpr wchar_t kSettingsKey[] = L"Software\\Pelko";
constexpr wchar_t kHostsKey[] = L"Software\\Pelko\\Hosts";
using Stored = std::vector<std::pair<std::wstring, std::wstring>>;

void Store(const Stored& values) {
    testreg::DeleteTree(HKEY_LOCAL_MACHINE, kHostsKey);
    for (const auto& [name, nick] : values) testreg::SetString(HKEY_LOCAL_MACHINE, kHostsKey, name.c_str(), nick);
}
FriendNickMap StoredFriends() {
    FriendNickMap stored;
    for (const auto& name : testreg::ValueNames(HKEY_LOCAL_MACHINE, kHostsKey))
        stored[name] = testreg::GetValue(HKEY_LOCAL_MACHINE, kHostsKey, name.c_str())->Text();
    return stored;
}

class HostStoreTest : public ::testing::Test {
protected:
    void SetUp() override { testreg::DeleteTree(HKEY_LOCAL_MACHINE, kSettingsKey); }
    void TearDown() override { testreg::DeleteTree(HKEY_LOCAL_MACHINE, kSettingsKey); }
    RegistryTestLock m_lock;
    CSettings m_settings;
    Hosts m_hosts{m_settings};
};

// Loading stops at the first name (128 characters or more) or nick (1024 or more) that does not
// fit; the names sort as written, since Windows enumerates values as written, Wine alphabetically.
TEST_F(HostStoreTest, FriendsLoadWithTheirNicksUpToOneThatDoesNotFit) {
    const std::wstring longestName(127, L'N'), longestNick(1023, L'x');
    const struct { const char* name; Stored stored; FriendNickMap loaded; } rows[] = {
        {"no key", {}, {}},
        {"two friends", {{L"PC1", L"Alice"}, {L"PC2", L"PC2"}}, {{L"PC1", L"Alice"}, {L"PC2", L"PC2"}}},
        {"nick too long", {{L"A1", L"Alice"}, {L"B2", std::wstring(1024, L'n')}, {L"C3", L"Carol"}}, {{L"A1", L"Alice"}}},
        {"name too long", {{L"A1", L"Alice"}, {L"B" + std::wstring(127, L'2'), L"Bob"}, {L"C3", L"C"}}, {{L"A1", L"Alice"}}},
        {"the longest that fit", {{longestName, longestNick}}, {{longestName, longestNick}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Store(row.stored);
        m_settings.FriendNicks[L"OLD"] = L"old";
        EXPECT_EQ(m_settings.LoadHosts(), TRUE);
        EXPECT_EQ(m_settings.FriendNicks, row.loaded);
    }

    // Discovery adds hosts while the store loads: each sees the map before or after a load.
    Store({{L"PC1", L"Alice"}});
    m_settings.SetHostTable(&m_hosts);
    m_settings.FriendNicks = {{L"PC1", L"Old nick"}};
    std::thread discovery([&] { for (DWORD i = 0; i < 60; ++i) m_hosts.AddHost(i, L"PC1"); });
    for (int i = 0; i < 20; ++i) m_settings.LoadHosts();
    discovery.join();
    HostInfo host;
    for (DWORD i = 0; i < 60; ++i)
        EXPECT_TRUE(m_hosts.GetHost(i, host) && host.Friend && (host.Nick == L"Alice" || host.Nick == L"Old nick")) << i;
    m_hosts.AddHost(100, L"pc1");  // names compare exactly
    EXPECT_TRUE(m_hosts.GetHost(100, host) && !host.Friend && host.Nick == L"pc1");
}

TEST_F(HostStoreTest, SavingWritesThePresentFriendsAndKeepsTheAbsentOnes) {
    Store({{L"AWAY", L"Away friend"}, {L"GONE", L"Gone friend"}, {L"STALE", L"stale"}});
    testreg::SetDword(HKEY_LOCAL_MACHINE, L"Software\\Pelko\\Hosts\\Sub\\Deeper", L"v", 1);
    testreg::SetDword(HKEY_LOCAL_MACHINE, kSettingsKey, L"UDPPort", 4000);  // a sibling value stays
    m_settings.LoadHosts();
    m_settings.FriendNicks.erase(L"STALE");
    const struct { const wchar_t* name; const wchar_t* nick; BOOL isFriend; } present[] = {
        {L"GONE", nullptr, FALSE}, {L"HERE", nullptr, TRUE}, {L"PC1", L"Eve", FALSE},
        {L"Pc7", L"Seven", TRUE}, {L"PC7", L"Other", TRUE},  // one registry value: the first keeps it
    };
    for (DWORD i = 0; i < std::size(present); ++i) {
        m_hosts.AddHost(i, present[i].name);
        if (present[i].nick) m_hosts.RenameHost(i, present[i].nick);  // stored at once, friend or not
        m_hosts.SetFriend(i, present[i].isFriend);
    }
    EXPECT_EQ(StoredFriends().at(L"PC1"), L"Eve");
    m_hosts.RemoveHost(0);  // unmarked, then it left
    EXPECT_EQ(m_settings.SaveHosts(), TRUE);  // without a table nothing is written
    EXPECT_EQ(StoredFriends().count(L"STALE"), 1u);
    m_settings.SetHostTable(&m_hosts);
    EXPECT_EQ(m_settings.SaveHosts(), TRUE);
    const FriendNickMap expected = {{L"AWAY", L"Away friend"}, {L"HERE", L"HERE"}, {L"Pc7", L"Seven"}};
    EXPECT_EQ(StoredFriends(), expected);
    EXPECT_TRUE(testreg::SubkeyNames(HKEY_LOCAL_MACHINE, kHostsKey).empty());
    EXPECT_EQ(testreg::GetValue(HKEY_LOCAL_MACHINE, kSettingsKey, L"UDPPort")->Dword(), 4000u);
    CSettings nextRun;
    nextRun.LoadHosts();
    EXPECT_EQ(nextRun.FriendNicks, expected);
}

TEST_F(HostStoreTest, SaveNickStoresTheNickUnlessItCannotWrite) {
    DebugOutputCapture capture;
    EXPECT_EQ(m_settings.SaveNick(L"PC1", L"Alice"), TRUE);
    ASSERT_EQ(testreg::DenyWrites(HKEY_LOCAL_MACHINE, kHostsKey), ERROR_SUCCESS);
    EXPECT_EQ(m_settings.SaveNick(L"PC1", L"Bob"), FALSE);
    EXPECT_EQ(m_settings.FriendNicks, (FriendNickMap{{L"PC1", L"Alice"}}));
    EXPECT_EQ(StoredFriends(), (FriendNickMap{{L"PC1", L"Alice"}}));
    ASSERT_EQ(capture.Messages().size(), 2u);
    EXPECT_EQ(capture.Messages()[0].rfind(L"SaveNick res=1;  lasterr=", 0), 0u);
    EXPECT_EQ(capture.Messages()[1].rfind(L"SaveNick res=0;  lasterr=", 0), 0u);
}

}  // namespace
