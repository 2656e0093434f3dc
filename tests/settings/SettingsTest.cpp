// The settings record against the test prefix's registry: each option's default, stored value
// and saved value, the lock at the start of a run, the Run entry, the sound events, and the
// friends store (Software\Pelko\Hosts) loaded into the host table, rewritten from it, and a nick
// stored.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "../support/RegistryHelpers.h"
#include "../support/TestHelpers.h"
#include "protocol/Hosts.h"
#include "settings/Settings.h"
#include "settings/SoundEvents.h"

namespace {

constexpr wchar_t kSettingsKey[] = L"Software\\Pelko";
constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::wstring kScheme = L"AppEvents\\Schemes\\Apps\\Pelko", kLabels = L"AppEvents\\EventLabels";
const std::vector<std::wstring> kEvents = {L"PelkoDataRequested", L"PelkoDataTransmitted", L"PelkoNewFriend",
                                           L"PelkoReadyToTransfer", L"PelkoTaskFailed", L"PelkoTransferCompleted"};

std::wstring Text(HKEY root, const std::wstring& path, const wchar_t* name = nullptr) {
    const auto value = testreg::GetValue(root, path.c_str(), name);
    return value ? value->Text() : L"<absent>";
}

// Every test starts without the settings key, the Run entry and the sound events, and leaves none.
class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override { Clean(); }
    void TearDown() override { Clean(); }
    static void Clean() {
        testreg::DeleteTree(HKEY_LOCAL_MACHINE, kSettingsKey);
        testreg::DeleteTree(HKEY_CURRENT_USER, kScheme.c_str());
        for (const auto& event : kEvents) testreg::DeleteTree(HKEY_CURRENT_USER, (kLabels + L"\\" + event).c_str());
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, L"Pelko");
    }
};

TEST_F(SettingsTest, EachOptionHasItsDefaultIsReadAndIsSavedBack) {
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
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.name);
        Clean();
        CSettings settings;
        auto value = [&] { return row.number ? DWORD(settings.*row.number) : DWORD(settings.*row.flag); };
        settings.Load();
        EXPECT_EQ(value(), row.byDefault);
        testreg::SetDword(HKEY_LOCAL_MACHINE, kSettingsKey, row.name, row.stored);
        settings.Load();
        EXPECT_EQ(value(), row.loaded);
        if (row.number) settings.*row.number = row.changed;
        else settings.*row.flag = BOOL(row.changed);
        settings.Save();
        EXPECT_EQ(testreg::GetValue(HKEY_LOCAL_MACHINE, kSettingsKey, row.name)->Dword(), row.saved);
    }
}

// The Options page loads the options again while serving threads read them: a reader never sees
// a default in place of the stored value (a friends-only host serving a stranger, for one).
TEST_F(SettingsTest, ALoadAgainNeverShowsOtherThreadsADefault) {
    testreg::SetDword(HKEY_LOCAL_MACHINE, kSettingsKey, L"AcceptFriendsOnly", 1);
    testreg::SetDword(HKEY_LOCAL_MACHINE, kSettingsKey, L"TCPPort", 5001);
    CSettings settings;
    settings.Load();
    std::atomic<bool> loading{true};
    std::atomic<int> defaultsSeen{0};
    std::thread serving([&] {
        while (loading) defaultsSeen += !settings.AcceptFriendsOnly || settings.TCPPort != 5001;
    });
    for (int i = 0; i < 200; ++i) settings.Load();
    loading = false;
    serving.join();
    EXPECT_EQ(0, defaultsSeen.load());
}

// The Options page loads again each time it is shown; by then the tray menu owns the lock.
TEST_F(SettingsTest, StartLockedLocksOnlyAtTheStartOfARun) {
    CSettings firstRun, nextRun;
    firstRun.Load();
    firstRun.StartLocked = TRUE;
    firstRun.Save();
    firstRun.Load();
    EXPECT_EQ(firstRun.Locked, FALSE);
    nextRun.Load();
    EXPECT_EQ(nextRun.Locked, TRUE);
    nextRun.Locked = FALSE;  // unlocked in the tray menu
    nextRun.Load();
    EXPECT_EQ(nextRun.Locked, FALSE);
}

TEST_F(SettingsTest, AutorunIsTheRunEntryNamingThisProgramInAnyLetterCase) {
    CSettings settings;
    settings.Load();
    EXPECT_EQ(settings.Autorun, FALSE);
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
    HKEY labels = nullptr;  // the system's key; the test prefix may lack it
    ASSERT_EQ(::RegCreateKeyW(HKEY_CURRENT_USER, kLabels.c_str(), &labels), ERROR_SUCCESS);
    ::RegCloseKey(labels);
    RegisterSoundEvents();
    EXPECT_EQ(Text(HKEY_CURRENT_USER, kScheme), L"Pelko Network Clipboard");
    EXPECT_EQ(testreg::SubkeyNames(HKEY_CURRENT_USER, kScheme.c_str()), kEvents);
    EXPECT_EQ(Text(HKEY_CURRENT_USER, kLabels + L"\\PelkoDataTransmitted"), L"Pelko - Data Transmitted");
    const std::wstring ready = kScheme + L"\\PelkoReadyToTransfer\\.", program = testutil::ProgramPath(),
                       sound = program.substr(0, program.rfind(L'\\') + 1) + L"ReadyToTransfer.wav";
    EXPECT_EQ(Text(HKEY_CURRENT_USER, ready + L"Default"), sound);
    EXPECT_EQ(Text(HKEY_CURRENT_USER, ready + L"Current"), sound);
    const std::wstring chosen = kScheme + L"\\PelkoNewFriend\\.Current";
    testreg::SetString(HKEY_CURRENT_USER, chosen.c_str(), nullptr, L"C:\\sounds\\chime.wav");
    RegisterSoundEvents();  // a later start
    EXPECT_EQ(Text(HKEY_CURRENT_USER, chosen), L"C:\\sounds\\chime.wav");
}

// ---------------------------------------------------------------- the friends store

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

class HostStoreTest : public SettingsTest {
protected:
    Hosts m_hosts;
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
        EXPECT_EQ(m_hosts.LoadFriends(), TRUE);   // in place of what the row before loaded
        EXPECT_EQ(m_hosts.Friends(), row.loaded);
    }
}

// Only friends are stored: a stranger's new nick stays in its record (a stored one would make it
// a friend at the next start).
TEST_F(HostStoreTest, RenameStoresAFriendsNickAtOnceOrKeepsTheOldOneAndAStrangersNickStaysInItsRecord) {
    m_hosts.AddHost(1, L"PC1");
    m_hosts.AddHost(2, L"PC2");
    m_hosts.SetFriend(1, TRUE);
    EXPECT_TRUE(m_hosts.RenameHost(1, L"Alice"));
    EXPECT_TRUE(m_hosts.RenameHost(2, L"Bob"));
    EXPECT_FALSE(m_hosts.RenameHost(3, L"Nobody"));
    ASSERT_EQ(testreg::DenyWrites(HKEY_LOCAL_MACHINE, kHostsKey), ERROR_SUCCESS);
    EXPECT_FALSE(m_hosts.RenameHost(1, L"Robert"));
    EXPECT_TRUE(m_hosts.RenameHost(2, L"Robin"));
    HostInfo host;
    EXPECT_TRUE(m_hosts.GetHost(1, host) && host.Nick == L"Alice" && host.Friend);
    EXPECT_TRUE(m_hosts.GetHost(2, host) && host.Nick == L"Robin" && !host.Friend);
    EXPECT_EQ(m_hosts.Friends(), (FriendNickMap{{L"PC1", L"Alice"}}));
    EXPECT_EQ(StoredFriends(), m_hosts.Friends());
}

TEST_F(HostStoreTest, SavingWritesThePresentFriendsAndKeepsTheAbsentOnes) {
    Store({{L"AWAY", L"Away friend"}, {L"GONE", L"Gone friend"}});
    m_hosts.LoadFriends();
    // Stored after the load, so not a friend of this run: the rewrite drops it.
    testreg::SetString(HKEY_LOCAL_MACHINE, kHostsKey, L"STALE", L"stale");
    testreg::SetDword(HKEY_LOCAL_MACHINE, L"Software\\Pelko\\Hosts\\Sub\\Deeper", L"v", 1);
    // The friend mark set or cleared, or (-1) left alone; the nick given after it.
    const struct { const wchar_t* name; const wchar_t* nick; int isFriend; } present[] = {
        {L"GONE", nullptr, FALSE}, {L"HERE", nullptr, TRUE}, {L"PC1", L"Eve", -1},
        {L"Pc7", L"Seven", TRUE}, {L"PC7", L"Other", TRUE},  // one registry value: the first keeps it
    };
    for (DWORD i = 0; i < std::size(present); ++i) {
        m_hosts.AddHost(i, present[i].name);
        if (present[i].isFriend >= 0) m_hosts.SetFriend(i, present[i].isFriend);
        if (present[i].nick) m_hosts.RenameHost(i, present[i].nick);
    }
    m_hosts.RemoveHost(0);  // unmarked, then it left
    m_hosts.RemoveHost(2);  // a renamed stranger that left
    EXPECT_EQ(m_hosts.SaveFriends(), TRUE);
    const FriendNickMap expected = {{L"AWAY", L"Away friend"}, {L"HERE", L"HERE"}, {L"Pc7", L"Seven"}};
    EXPECT_EQ(StoredFriends(), expected);
    EXPECT_TRUE(testreg::SubkeyNames(HKEY_LOCAL_MACHINE, kHostsKey).empty());
}

}  // namespace
