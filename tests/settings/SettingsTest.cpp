// The settings record, the Run entry, the sound events and the friends store in the test prefix's registry.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "../support/RegistryHelpers.h"
#include "../support/TestHelpers.h"
#include "protocol/Hosts.h"
#include "settings/Settings.h"
#include "settings/SoundEvents.h"

constexpr wchar_t kSettingsKey[] = L"Software\\Pelko", kHostsKey[] = L"Software\\Pelko\\Hosts";
constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::wstring kScheme = L"AppEvents\\Schemes\\Apps\\Pelko", kLabels = L"AppEvents\\EventLabels";
const std::vector<std::wstring> kEvents = {L"PelkoDataRequested", L"PelkoDataTransmitted", L"PelkoNewFriend",
                                           L"PelkoReadyToTransfer", L"PelkoTaskFailed", L"PelkoTransferCompleted"};

static std::wstring Text(HKEY root, const std::wstring& path, const wchar_t* name = nullptr) {
    const auto value = testreg::GetValue(root, path.c_str(), name);
    return value ? value->Text() : L"<absent>";
}

// Every test starts without the settings key, the Run entry and the sound events, and leaves none.
class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override { TearDown(); }
    void TearDown() override {
        testreg::DeleteTree(HKEY_LOCAL_MACHINE, kSettingsKey);
        testreg::DeleteTree(HKEY_CURRENT_USER, kScheme.c_str());
        for (const auto& event : kEvents) testreg::DeleteTree(HKEY_CURRENT_USER, (kLabels + L"\\" + event).c_str());
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, L"Pelko");
    }
};

// The first load of a run takes StartLocked. A load again (the Options page's) leaves the lock to the tray
// menu, and never shows threads that read the options a default in place of the stored value.
TEST_F(SettingsTest, EachOptionHasItsDefaultIsReadAgainAndIsSavedBack) {
    const struct { const wchar_t* name; Relaxed<DWORD> CSettings::*number; Relaxed<BOOL> CSettings::*flag;
                   DWORD byDefault, stored, loaded, changed, saved; } rows[] = {
        {L"UDPPort", &CSettings::UDPPort, nullptr, 4000, 70000, 70000, 14000, 14000},  // no bounds applied
        {L"TCPPort", &CSettings::TCPPort, nullptr, 4001, 5001, 5001, 14001, 14001},
        {L"Timeout", &CSettings::Timeout, nullptr, 7000, 0xFFFFFFFF, 0xFFFFFFFF, 9000, 9000},
        {L"AddFilenameAsText", nullptr, &CSettings::AddFilenameAsText, TRUE, 0, FALSE, TRUE, TRUE},
        {L"ConvertFilenameToUNC", nullptr, &CSettings::ConvertFilenameToUNC, TRUE, 0, FALSE, TRUE, TRUE},
        {L"ShowFriendsOnly", nullptr, &CSettings::ShowFriendsOnly, TRUE, 0, FALSE, TRUE, TRUE},
        {L"AcceptFriendsOnly", nullptr, &CSettings::AcceptFriendsOnly, FALSE, 1, TRUE, FALSE, FALSE},
        {L"StartLocked", nullptr, &CSettings::StartLocked, FALSE, 1, TRUE, FALSE, FALSE},
        // Stored red, green, blue from the high byte down, the top byte ignored; never saved.
        {L"BaseColor", &CSettings::BaseColor, nullptr, RGB(0x20, 0x42, 0x34), 0xA5102030, RGB(0x10, 0x20, 0x30), 1, 0xA5102030},
    };
    CSettings settings, nextRun;
    const auto value = [&](const auto& row) { return row.number ? DWORD(settings.*row.number) : DWORD(settings.*row.flag); };
    settings.Load();
    for (const auto& row : rows) {
        EXPECT_EQ(value(row), row.byDefault) << row.name;
        testreg::SetDword(HKEY_LOCAL_MACHINE, kSettingsKey, row.name, row.stored);
    }
    settings.Load();
    std::atomic<bool> loading{true};
    std::atomic<int> defaultsSeen{0};
    std::thread serving([&] { while (loading) defaultsSeen += !settings.AcceptFriendsOnly; });
    for (int i = 0; i < 200; ++i) settings.Load();
    loading = false;
    serving.join();
    nextRun.Load();
    EXPECT_EQ(std::tuple(defaultsSeen.load(), BOOL(settings.Locked), BOOL(nextRun.Locked)), std::tuple(0, FALSE, TRUE));
    for (const auto& row : rows) {
        EXPECT_EQ(value(row), row.loaded) << row.name;
        if (row.number) settings.*row.number = row.changed;
        else settings.*row.flag = BOOL(row.changed);
    }
    settings.Save();
    for (const auto& row : rows)
        EXPECT_EQ(testreg::GetValue(HKEY_LOCAL_MACHINE, kSettingsKey, row.name)->Dword(), row.saved) << row.name;
}

TEST_F(SettingsTest, AutorunIsTheRunEntryNamingThisProgramInAnyLetterCase) {
    CSettings settings;
    settings.Autorun = TRUE;
    settings.Save();
    std::wstring path = Text(HKEY_CURRENT_USER, kRunKey, L"Pelko");
    EXPECT_EQ(path, testutil::ProgramPath());
    ::CharUpperW(path.data());
    for (const auto& [stored, ours] : {std::pair{path, TRUE}, {std::wstring(L"C:\\elsewhere\\pelko.exe"), FALSE}}) {
        testreg::SetString(HKEY_CURRENT_USER, kRunKey, L"Pelko", stored);
        settings.Load();
        EXPECT_EQ(settings.Autorun, ours);
    }
    settings.Save();
    EXPECT_FALSE(testreg::GetValue(HKEY_CURRENT_USER, kRunKey, L"Pelko"));
}

TEST_F(SettingsTest, SoundEventsAreRegisteredAtTheFirstStartAndTheUsersChoiceKeptLater) {
    RegisterSoundEvents();
    EXPECT_EQ(testreg::SubkeyNames(HKEY_CURRENT_USER, kScheme.c_str()), kEvents);
    const std::wstring ready = kScheme + L"\\PelkoReadyToTransfer\\.Current", program = testutil::ProgramPath();
    EXPECT_EQ(Text(HKEY_CURRENT_USER, ready), program.substr(0, program.rfind(L'\\') + 1) + L"ReadyToTransfer.wav");
    testreg::SetString(HKEY_CURRENT_USER, ready.c_str(), nullptr, L"C:\\sounds\\chime.wav");
    RegisterSoundEvents();  // a later start
    EXPECT_EQ(Text(HKEY_CURRENT_USER, ready), L"C:\\sounds\\chime.wav");
}

using Stored = std::vector<std::pair<std::wstring, std::wstring>>;
static void Store(const Stored& values) {
    testreg::DeleteTree(HKEY_LOCAL_MACHINE, kHostsKey);
    for (const auto& [name, nick] : values) testreg::SetString(HKEY_LOCAL_MACHINE, kHostsKey, name.c_str(), nick);
}
static FriendNickMap StoredFriends() {
    FriendNickMap stored;
    for (const auto& name : testreg::ValueNames(HKEY_LOCAL_MACHINE, kHostsKey))
        stored[name] = Text(HKEY_LOCAL_MACHINE, kHostsKey, name.c_str());
    return stored;
}

struct HostStoreTest : SettingsTest { Hosts m_hosts; };

// Loading stops at the first name (128 characters or more) or nick (1024 or more) that does not
// fit; the names sort as written, since Windows enumerates values as written, Wine alphabetically.
TEST_F(HostStoreTest, FriendsLoadWithTheirNicksUpToOneThatDoesNotFit) {
    const std::wstring longestName(127, L'N'), longestNick(1023, L'x');
    const struct { const char* name; Stored stored; FriendNickMap loaded; } rows[] = {
        {"nick too long", {{L"A1", L"Alice"}, {L"B2", std::wstring(1024, L'n')}, {L"C3", L"Carol"}}, {{L"A1", L"Alice"}}},
        {"name too long", {{L"A1", L"Alice"}, {L"B" + std::wstring(127, L'2'), L"Bob"}, {L"C3", L"C"}}, {{L"A1", L"Alice"}}},
        {"the longest that fit", {{longestName, longestNick}}, {{longestName, longestNick}}},
    };
    for (const auto& row : rows) {
        Store(row.stored);
        m_hosts.LoadFriends();   // in place of what the row before loaded
        EXPECT_EQ(m_hosts.Friends(), row.loaded) << row.name;
    }
}

// Only friends are stored: a friend's new nick at once (not taken when it cannot be stored), a
// stranger's only in its record (a stored one would make it a friend at the next start). Saving
// rewrites the store from the friends present and keeps the ones away.
TEST_F(HostStoreTest, OnlyFriendsAreStoredAndTheAbsentOnesKept) {
    Store({{L"AWAY", L"Away friend"}, {L"GONE", L"Gone friend"}});
    m_hosts.LoadFriends();
    testreg::SetString(HKEY_LOCAL_MACHINE, kHostsKey, L"STALE", L"stale");   // not a friend of this run
    testreg::SetDword(HKEY_LOCAL_MACHINE, L"Software\\Pelko\\Hosts\\Sub\\Deeper", L"v", 1);
    // The friend mark set or cleared, or (-1) left alone; the nick given after it.
    const struct { const wchar_t* name; const wchar_t* nick; int isFriend; } present[] = {
        {L"GONE", nullptr, FALSE}, {L"HERE", L"Alice", TRUE}, {L"PC1", L"Eve", -1}, {L"PC2", nullptr, -1},
        {L"Pc7", L"Seven", TRUE}, {L"PC7", L"Other", TRUE},  // one registry value: the first keeps it
    };
    for (DWORD i = 0; i < std::size(present); ++i) {
        m_hosts.AddHost(i, present[i].name);
        if (present[i].isFriend >= 0) m_hosts.SetFriend(i, present[i].isFriend);
        EXPECT_TRUE(!present[i].nick || m_hosts.RenameHost(i, present[i].nick));
    }
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kHostsKey, L"HERE"), L"Alice");   // a friend's nick: at once
    for (DWORD gone : {0, 2}) m_hosts.RemoveHost(gone);   // unmarked, and a renamed stranger, then they left
    m_hosts.SaveFriends();
    EXPECT_EQ(StoredFriends(), (FriendNickMap{{L"AWAY", L"Away friend"}, {L"HERE", L"Alice"}, {L"Pc7", L"Seven"}}));
    EXPECT_TRUE(testreg::SubkeyNames(HKEY_LOCAL_MACHINE, kHostsKey).empty());
    ASSERT_EQ(testreg::DenyWrites(HKEY_LOCAL_MACHINE, kHostsKey), ERROR_SUCCESS);
    EXPECT_FALSE(m_hosts.RenameHost(1, L"Robert"));
    EXPECT_TRUE(m_hosts.RenameHost(3, L"Robin"));
    HostInfo host;
    EXPECT_TRUE(m_hosts.GetHost(1, host) && host.Nick == L"Alice" && host.Friend);
    EXPECT_TRUE(m_hosts.GetHost(3, host) && host.Nick == L"Robin" && !host.Friend);
}
