// The friends store HKEY_LOCAL_MACHINE\Software\Pelko\Hosts: loading into FriendNicks, rewriting
// it from the host table, and storing a nick.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "../support/RegistryHelpers.h"
#include "../support/RegistryTestLock.h"
#include "../support/DebugOutputCapture.h"
#include "../support/TestHelpers.h"
#include "protocol/Hosts.h"
#include "settings/Settings.h"

namespace {

constexpr wchar_t kSettingsKey[] = L"Software\\Pelko";
constexpr wchar_t kHostsKey[] = L"Software\\Pelko\\Hosts";

std::wstring StoredNick(const wchar_t* name) {
    auto value = testreg::GetValue(HKEY_LOCAL_MACHINE, kHostsKey, name);
    if (!value) return L"<absent>";
    EXPECT_EQ(value->type, DWORD(REG_SZ));
    return value->Text();
}

using testutil::Sorted;

// A host's nick and friend flag as the table has them.
std::pair<std::wstring, BOOL> NickAndFriend(Hosts& hosts, DWORD address) {
    HostInfo host;
    if (!hosts.GetHost(address, host)) return {L"<no host>", FALSE};
    return {host.Nick, host.Friend};
}

class HostStoreTest : public ::testing::Test {
protected:
    void SetUp() override { testreg::DeleteTree(HKEY_LOCAL_MACHINE, kSettingsKey); }
    void TearDown() override { testreg::DeleteTree(HKEY_LOCAL_MACHINE, kSettingsKey); }
    RegistryTestLock m_lock;
    CSettings m_settings;
};

TEST_F(HostStoreTest, WithoutTheKeyLoadingEmptiesTheMap) {
    m_settings.FriendNicks[L"OLD"] = L"old";
    EXPECT_EQ(m_settings.LoadHosts(), TRUE);
    EXPECT_TRUE(m_settings.FriendNicks.empty());
}

TEST_F(HostStoreTest, LoadedFriendsArriveWithTheirNicks) {
    testreg::SetString(HKEY_LOCAL_MACHINE, kHostsKey, L"PC1", L"Alice");
    testreg::SetString(HKEY_LOCAL_MACHINE, kHostsKey, L"PC2", L"PC2");
    ASSERT_EQ(m_settings.LoadHosts(), TRUE);
    EXPECT_EQ(m_settings.FriendNicks, (FriendNickMap{{L"PC1", L"Alice"}, {L"PC2", L"PC2"}}));

    Hosts hosts(m_settings);
    hosts.AddHost(1, L"PC1");
    hosts.AddHost(2, L"PC2");
    hosts.AddHost(3, L"pc1");  // the map compares names exactly
    hosts.AddHost(4, L"PC3");
    EXPECT_EQ(NickAndFriend(hosts, 1), std::make_pair(std::wstring(L"Alice"), TRUE));
    EXPECT_EQ(NickAndFriend(hosts, 2), std::make_pair(std::wstring(L"PC2"), TRUE));
    EXPECT_EQ(NickAndFriend(hosts, 3), std::make_pair(std::wstring(L"pc1"), FALSE));
    EXPECT_EQ(NickAndFriend(hosts, 4), std::make_pair(std::wstring(L"PC3"), FALSE));
}

// Loading stops at the first name (128 characters or more) or nick (1024 or more) that does not
// fit. Names chosen so that the order of writing and the alphabetical order agree: Windows
// enumerates values as written, Wine alphabetically.
TEST_F(HostStoreTest, LoadingStopsAtANameOrNickThatDoesNotFit) {
    const std::wstring longestName(127, L'N'), longestNick(1023, L'x');
    const struct { const char* name; std::vector<std::pair<std::wstring, std::wstring>> stored; FriendNickMap loaded; } rows[] = {
        {"nick too long", {{L"A1", L"Alice"}, {L"B2", std::wstring(1024, L'n')}, {L"C3", L"Carol"}}, {{L"A1", L"Alice"}}},
        {"name too long", {{L"A1", L"Alice"}, {L"B" + std::wstring(127, L'2'), L"Bob"}, {L"C3", L"Carol"}}, {{L"A1", L"Alice"}}},
        {"longest that fit", {{longestName, longestNick}}, {{longestName, longestNick}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        testreg::DeleteTree(HKEY_LOCAL_MACHINE, kHostsKey);
        for (const auto& [name, nick] : row.stored) testreg::SetString(HKEY_LOCAL_MACHINE, kHostsKey, name.c_str(), nick);
        m_settings.LoadHosts();
        EXPECT_EQ(m_settings.FriendNicks, row.loaded);
    }
}

TEST_F(HostStoreTest, LoadingWhileDiscoveryAddsHosts) {
    testreg::SetString(HKEY_LOCAL_MACHINE, kHostsKey, L"PC1", L"Alice");
    Hosts hosts(m_settings);
    m_settings.SetHostTable(&hosts);
    m_settings.FriendNicks[L"PC1"] = L"Old nick";
    std::thread discovery([&hosts] {
        for (DWORD i = 0; i < 60; ++i) hosts.AddHost(i, L"PC1");
    });
    for (int i = 0; i < 20; ++i) m_settings.LoadHosts();
    discovery.join();
    EXPECT_EQ(m_settings.FriendNicks, (FriendNickMap{{L"PC1", L"Alice"}}));
    // Each record saw the map either before or after a load, never half of one.
    std::vector<std::wstring> nicks;
    hosts.ForEachHost([](const HostInfo& host, void* c) {
        EXPECT_EQ(host.Friend, TRUE);
        static_cast<std::vector<std::wstring>*>(c)->push_back(host.Nick);
    }, &nicks);
    ASSERT_EQ(nicks.size(), 60u);
    for (const auto& nick : nicks) EXPECT_TRUE(nick == L"Alice" || nick == L"Old nick") << std::string(nick.begin(), nick.end());
}

TEST_F(HostStoreTest, SaveHostsWritesExactlyThePresentFriendsAndDropsSubkeys) {
    testreg::SetString(HKEY_LOCAL_MACHINE, kHostsKey, L"STALE", L"stale");
    testreg::SetDword(HKEY_LOCAL_MACHINE, L"Software\\Pelko\\Hosts\\Sub\\Deeper", L"v", 1);
    testreg::SetDword(HKEY_LOCAL_MACHINE, kSettingsKey, L"UDPPort", 4000);  // a sibling value stays
    Hosts hosts(m_settings);
    hosts.AddHost(1, L"PC1");
    hosts.AddHost(2, L"PC2");
    hosts.SetFriend(2, TRUE);
    hosts.SetFriend(1, FALSE);
    m_settings.FriendNicks.clear();  // only the table counts for hosts that are present

    EXPECT_EQ(m_settings.SaveHosts(hosts), TRUE);
    EXPECT_EQ(testreg::ValueNames(HKEY_LOCAL_MACHINE, kHostsKey), std::vector<std::wstring>{L"PC2"});
    EXPECT_EQ(StoredNick(L"PC2"), L"PC2");
    auto value = testreg::GetValue(HKEY_LOCAL_MACHINE, kHostsKey, L"PC2");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->data.size(), 4u * sizeof(wchar_t));
    EXPECT_TRUE(testreg::SubkeyNames(HKEY_LOCAL_MACHINE, kHostsKey).empty());
    EXPECT_EQ(testreg::GetValue(HKEY_LOCAL_MACHINE, kSettingsKey, L"UDPPort")->Dword(), 4000u);
}

TEST_F(HostStoreTest, SaveHostsThroughTheServersTable) {
    Hosts hosts(m_settings);
    hosts.AddHost(1, L"PC1");
    hosts.SetFriend(1, TRUE);
    EXPECT_EQ(m_settings.SaveHosts(), TRUE);  // no table given: nothing is written
    EXPECT_FALSE(testreg::KeyExists(HKEY_LOCAL_MACHINE, kHostsKey));
    m_settings.SetHostTable(&hosts);
    EXPECT_EQ(m_settings.SaveHosts(), TRUE);
    EXPECT_EQ(StoredNick(L"PC1"), L"PC1");
}

TEST_F(HostStoreTest, AbsentFriendsStayStoredUnlessUnmarked) {
    testreg::SetString(HKEY_LOCAL_MACHINE, kHostsKey, L"AWAY", L"Away friend");
    testreg::SetString(HKEY_LOCAL_MACHINE, kHostsKey, L"GONE", L"Gone friend");
    m_settings.LoadHosts();
    Hosts hosts(m_settings);
    hosts.AddHost(1, L"GONE");
    hosts.SetFriend(1, FALSE);  // the user unmarks it...
    hosts.RemoveHost(1);        // ...and it leaves before the page is left
    hosts.AddHost(2, L"HERE");
    hosts.SetFriend(2, TRUE);

    m_settings.SaveHosts(hosts);
    EXPECT_EQ(Sorted(testreg::ValueNames(HKEY_LOCAL_MACHINE, kHostsKey)), (std::vector<std::wstring>{L"AWAY", L"HERE"}));
    EXPECT_EQ(StoredNick(L"AWAY"), L"Away friend");
    EXPECT_EQ(StoredNick(L"HERE"), L"HERE");
}

TEST_F(HostStoreTest, NamesThatDifferOnlyInCaseRoundTrip) {
    Hosts hosts(m_settings);
    hosts.AddHost(1, L"MixedCase");
    hosts.RenameHost(1, L"Mixy");
    hosts.SetFriend(1, TRUE);
    hosts.AddHost(2, L"Pc7");
    hosts.RenameHost(2, L"Seven");
    hosts.SetFriend(2, TRUE);
    hosts.AddHost(3, L"PC7");  // another host whose name differs only in case: one registry value
    hosts.RenameHost(3, L"Other");
    hosts.SetFriend(3, TRUE);
    m_settings.SaveHosts(hosts);

    // The first host to arrive keeps the value whole: its spelling and its nick.
    EXPECT_EQ(Sorted(testreg::ValueNames(HKEY_LOCAL_MACHINE, kHostsKey)),
              (std::vector<std::wstring>{L"MixedCase", L"Pc7"}));
    EXPECT_EQ(StoredNick(L"Pc7"), L"Seven");

    CSettings nextRun;
    nextRun.LoadHosts();
    EXPECT_EQ(nextRun.FriendNicks, (FriendNickMap{{L"MixedCase", L"Mixy"}, {L"Pc7", L"Seven"}}));
    Hosts table(nextRun);
    table.AddHost(1, L"MixedCase");
    table.AddHost(2, L"MIXEDCASE");
    table.AddHost(3, L"Pc7");
    table.AddHost(4, L"PC7");
    EXPECT_EQ(NickAndFriend(table, 1), std::make_pair(std::wstring(L"Mixy"), TRUE));
    EXPECT_EQ(NickAndFriend(table, 2), std::make_pair(std::wstring(L"MIXEDCASE"), FALSE));
    EXPECT_EQ(NickAndFriend(table, 3), std::make_pair(std::wstring(L"Seven"), TRUE));
    EXPECT_EQ(NickAndFriend(table, 4).second, FALSE);
}

TEST_F(HostStoreTest, RenamingANonFriendIsStoredUntilTheNextSaveHosts) {
    Hosts hosts(m_settings);
    hosts.AddHost(1, L"PC5");
    ASSERT_EQ(hosts.RenameHost(1, L"Eve"), TRUE);
    EXPECT_EQ(StoredNick(L"PC5"), L"Eve");
    EXPECT_EQ(m_settings.FriendNicks[L"PC5"], L"Eve");
    EXPECT_EQ(NickAndFriend(hosts, 1).second, FALSE);  // a rename does not make a friend

    m_settings.SaveHosts(hosts);
    EXPECT_EQ(StoredNick(L"PC5"), L"<absent>");
    hosts.SetFriend(1, TRUE);
    m_settings.SaveHosts(hosts);
    EXPECT_EQ(StoredNick(L"PC5"), L"Eve");
}

TEST_F(HostStoreTest, SaveNickWritesTheValueTheMapAndItsTraceLine) {
    DebugOutputCapture capture;
    EXPECT_EQ(m_settings.SaveNick(L"PC1", L"Alice"), TRUE);
    EXPECT_EQ(StoredNick(L"PC1"), L"Alice");
    EXPECT_EQ(m_settings.FriendNicks, (FriendNickMap{{L"PC1", L"Alice"}}));
    auto messages = capture.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind(L"SaveNick res=1;  lasterr=", 0), 0u) << std::string(messages[0].begin(), messages[0].end());
}

TEST_F(HostStoreTest, SaveNickFailsWhenTheStoreCannotBeCreated) {
    // A volatile settings key cannot hold the non-volatile Hosts key.
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                                nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ::RegCloseKey(key);
    DebugOutputCapture capture;
    EXPECT_EQ(m_settings.SaveNick(L"PC1", L"Alice"), FALSE);
    EXPECT_TRUE(m_settings.FriendNicks.empty());
    EXPECT_FALSE(testreg::KeyExists(HKEY_LOCAL_MACHINE, kHostsKey));
    auto messages = capture.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind(L"SaveNick res=0;  lasterr=", 0), 0u);
}

TEST_F(HostStoreTest, SaveNickFailsWithoutTheRightToWrite) {
    testreg::SetString(HKEY_LOCAL_MACHINE, kHostsKey, L"PC1", L"Alice");
    ASSERT_EQ(testreg::DenyWrites(HKEY_LOCAL_MACHINE, kHostsKey), ERROR_SUCCESS);
    m_settings.FriendNicks[L"PC1"] = L"Alice";
    EXPECT_EQ(m_settings.SaveNick(L"PC1", L"Bob"), FALSE);
    EXPECT_EQ(m_settings.FriendNicks[L"PC1"], L"Alice");
    EXPECT_EQ(StoredNick(L"PC1"), L"Alice");
}

}  // namespace
