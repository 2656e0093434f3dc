// The settings record against the registry of the test prefix: defaults on a first start, the
// colour's byte order, the Run entry, Save and Load, and the key holder RegKey.
#include <windows.h>

#include <gtest/gtest.h>

#include <cwctype>
#include <ostream>
#include <string>
#include <vector>

#include "../support/RegistryHelpers.h"
#include "../support/RegistryTestLock.h"
#include "../support/TestHelpers.h"
#include "settings/RegKey.h"
#include "settings/Settings.h"

namespace {

using testutil::Sorted;

constexpr wchar_t kSettingsKey[] = L"Software\\Pelko";
constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kScratchKey[] = L"Software\\PelkoTestScratch";
constexpr COLORREF kDefaultColor = 0x00344220;  // red 0x20, green 0x42, blue 0x34

// The record's number and flag fields, compared in one go.
struct Fields {
    DWORD Timeout, UDPPort, TCPPort;
    COLORREF BaseColor;
    BOOL Autorun, AddFilenameAsText, ConvertFilenameToUNC, AcceptFriendsOnly, ShowFriendsOnly, StartLocked, Locked;
    bool operator==(const Fields&) const = default;
};
Fields FieldsOf(const CSettings& s) {
    return {s.Timeout, s.UDPPort, s.TCPPort, s.BaseColor, s.Autorun, s.AddFilenameAsText, s.ConvertFilenameToUNC,
            s.AcceptFriendsOnly, s.ShowFriendsOnly, s.StartLocked, s.Locked};
}
void PrintTo(const Fields& f, std::ostream* out) {
    *out << "{Timeout " << f.Timeout << ", UDPPort " << f.UDPPort << ", TCPPort " << f.TCPPort << ", BaseColor 0x"
         << std::hex << f.BaseColor << std::dec << ", Autorun " << f.Autorun << ", AddFilenameAsText "
         << f.AddFilenameAsText << ", ConvertFilenameToUNC " << f.ConvertFilenameToUNC << ", AcceptFriendsOnly "
         << f.AcceptFriendsOnly << ", ShowFriendsOnly " << f.ShowFriendsOnly << ", StartLocked " << f.StartLocked
         << ", Locked " << f.Locked << "}";
}
// What Load gives on a first start.
constexpr Fields kLoadedDefaults = {7000, 4000, 4001, kDefaultColor, FALSE, TRUE, TRUE, FALSE, TRUE, FALSE, FALSE};

LONG SetSetting(const wchar_t* name, DWORD value) { return testreg::SetDword(HKEY_LOCAL_MACHINE, kSettingsKey, name, value); }

// Every test starts without the settings key and without the Run entry, and leaves none behind.
class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override { Clean(); }
    void TearDown() override { Clean(); }
    static void Clean() {
        testreg::DeleteTree(HKEY_LOCAL_MACHINE, kSettingsKey);
        testreg::DeleteTree(HKEY_LOCAL_MACHINE, kScratchKey);
        HKEY run = nullptr;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_ALL_ACCESS, &run) == ERROR_SUCCESS) {
            ::RegDeleteValueW(run, L"Pelko");
            ::RegCloseKey(run);
        }
    }
    RegistryTestLock m_lock;
};

TEST_F(SettingsTest, ConstructorValues) {
    CSettings settings;
    EXPECT_EQ(FieldsOf(settings), (Fields{0, 4000, 4001, 0, FALSE, TRUE, TRUE, FALSE, TRUE, FALSE, FALSE}));
    EXPECT_TRUE(settings.FriendNicks.empty());
    EXPECT_TRUE(settings.LocalName.empty());
}

TEST_F(SettingsTest, FirstStartWithoutKeysGivesExactlyTheDefaults) {
    CSettings settings;
    settings.FriendNicks[L"PC1"] = L"Alice";  // Load leaves the friends alone
    settings.Autorun = TRUE;
    settings.UDPPort = 1;
    settings.ShowFriendsOnly = FALSE;
    EXPECT_EQ(settings.Load(), TRUE);
    EXPECT_EQ(FieldsOf(settings), kLoadedDefaults);
    EXPECT_EQ(settings.LocalName, testutil::ComputerName());
    EXPECT_EQ(settings.FriendNicks, (FriendNickMap{{L"PC1", L"Alice"}}));
    // Loading writes nothing.
    EXPECT_FALSE(testreg::KeyExists(HKEY_LOCAL_MACHINE, kSettingsKey));
}

TEST_F(SettingsTest, WithoutTheKeyTheLockStateIsKept) {
    CSettings settings;
    settings.Locked = TRUE;
    settings.Load();
    EXPECT_EQ(settings.Locked, TRUE);
}

TEST_F(SettingsTest, StoredValuesReplaceTheDefaults) {
    ASSERT_EQ(SetSetting(L"AddFilenameAsText", 0), ERROR_SUCCESS);
    SetSetting(L"ConvertFilenameToUNC", 0);
    SetSetting(L"ShowFriendsOnly", 0);
    SetSetting(L"AcceptFriendsOnly", 1);
    SetSetting(L"StartLocked", 1);
    SetSetting(L"UDPPort", 70000);  // no bounds applied
    SetSetting(L"TCPPort", 5001);
    SetSetting(L"Timeout", 0xFFFFFFFF);
    CSettings settings;
    settings.Load();
    // The colour is absent: its default. The stored StartLocked locks the first load.
    EXPECT_EQ(FieldsOf(settings), (Fields{0xFFFFFFFF, 70000, 5001, kDefaultColor, FALSE, FALSE, FALSE, TRUE, FALSE, TRUE, TRUE}));
}

// The stored number is red, green, blue from the high byte down; the top byte is ignored.
TEST_F(SettingsTest, BaseColorIsStoredRedGreenBlueFromTheHighByteDown) {
    const struct { DWORD stored; COLORREF expected; } rows[] = {{0x00102030, 0x00302010}, {0xA5102030, 0x00302010}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.stored);
        ASSERT_EQ(SetSetting(L"BaseColor", row.stored), ERROR_SUCCESS);
        CSettings settings;
        settings.Load();
        EXPECT_EQ(settings.BaseColor, row.expected);
        EXPECT_EQ(GetRValue(settings.BaseColor), 0x10);
    }
}

TEST_F(SettingsTest, ValuesThatAreNotFourByteNumbersKeepTheDefaults) {
    testreg::SetString(HKEY_LOCAL_MACHINE, kSettingsKey, L"UDPPort", L"5000");
    const BYTE eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    testreg::SetValue(HKEY_LOCAL_MACHINE, kSettingsKey, L"TCPPort", REG_BINARY, eight, sizeof eight);
    const WORD two = 0;
    testreg::SetValue(HKEY_LOCAL_MACHINE, kSettingsKey, L"ShowFriendsOnly", REG_BINARY, &two, sizeof two);
    const DWORD colour = 0x00102030;
    testreg::SetValue(HKEY_LOCAL_MACHINE, kSettingsKey, L"BaseColor", REG_BINARY, &colour, sizeof colour);
    SetSetting(L"Timeout", 1234);  // a good one among them
    CSettings settings;
    settings.Load();
    Fields expected = kLoadedDefaults;
    expected.Timeout = 1234;
    EXPECT_EQ(FieldsOf(settings), expected);
}

TEST_F(SettingsTest, StartLockedSetsTheLockOnlyAtTheFirstLoad) {
    SetSetting(L"StartLocked", 1);
    CSettings settings;
    settings.Load();
    EXPECT_EQ(settings.Locked, TRUE);
    settings.Locked = FALSE;  // the user unlocks in the tray menu, then shows the Options page
    settings.Load();
    EXPECT_EQ(settings.Locked, FALSE);
    EXPECT_EQ(settings.StartLocked, TRUE);
}

TEST_F(SettingsTest, StartLockedSavedDuringTheRunTakesEffectAtTheNextStart) {
    CSettings running;
    running.Load();  // first start: no key
    running.StartLocked = TRUE;
    running.Save();
    running.Load();  // the Options page is shown again
    EXPECT_EQ(running.Locked, FALSE);

    CSettings nextStart;
    nextStart.Load();
    EXPECT_EQ(nextStart.Locked, TRUE);
}

TEST_F(SettingsTest, SaveThenLoadRoundTrip) {
    CSettings saved;
    saved.Load();
    saved.AddFilenameAsText = FALSE;
    saved.ConvertFilenameToUNC = FALSE;
    saved.ShowFriendsOnly = FALSE;
    saved.AcceptFriendsOnly = TRUE;
    saved.StartLocked = TRUE;
    saved.UDPPort = 14000;
    saved.TCPPort = 14001;
    saved.Timeout = 9000;
    saved.BaseColor = RGB(1, 2, 3);      // never written
    saved.Locked = TRUE;                 // never written
    saved.FriendNicks[L"PC9"] = L"Nine"; // not written by Save
    EXPECT_EQ(saved.Save(), TRUE);

    // Exactly the eight values (Wine enumerates them alphabetically).
    EXPECT_EQ(Sorted(testreg::ValueNames(HKEY_LOCAL_MACHINE, kSettingsKey)),
              (std::vector<std::wstring>{L"AcceptFriendsOnly", L"AddFilenameAsText", L"ConvertFilenameToUNC",
                                         L"ShowFriendsOnly", L"StartLocked", L"TCPPort", L"Timeout", L"UDPPort"}));
    auto udp = testreg::GetValue(HKEY_LOCAL_MACHINE, kSettingsKey, L"UDPPort");
    ASSERT_TRUE(udp);
    EXPECT_EQ(udp->type, DWORD(REG_DWORD));
    EXPECT_EQ(udp->Dword(), 14000u);
    EXPECT_TRUE(testreg::SubkeyNames(HKEY_LOCAL_MACHINE, kSettingsKey).empty());

    CSettings loaded;
    loaded.Load();
    EXPECT_EQ(FieldsOf(loaded), (Fields{9000, 14000, 14001, kDefaultColor, FALSE, FALSE, FALSE, TRUE, FALSE, TRUE, TRUE}));
    EXPECT_TRUE(loaded.FriendNicks.empty());
}

TEST_F(SettingsTest, AutorunWritesTheProgramPathUnderTheUsersRunKey) {
    CSettings settings;
    settings.Load();
    settings.Autorun = TRUE;
    settings.Save();
    auto value = testreg::GetValue(HKEY_CURRENT_USER, kRunKey, L"Pelko");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->type, DWORD(REG_SZ));
    const std::wstring path = testutil::ProgramPath();
    EXPECT_EQ(value->data.size(), (path.size() + 1) * sizeof(wchar_t));  // the null is counted
    EXPECT_EQ(value->Text(), path);
    EXPECT_FALSE(testreg::GetValue(HKEY_LOCAL_MACHINE, kRunKey, L"Pelko"));  // NT family: the user's key

    CSettings loaded;
    loaded.Load();
    EXPECT_EQ(loaded.Autorun, TRUE);
}

TEST_F(SettingsTest, RunValueInOtherLetterCaseCountsAsOurs) {
    std::wstring path = testutil::ProgramPath();
    for (auto& c : path) c = static_cast<wchar_t>(std::towupper(c));
    ASSERT_NE(path, testutil::ProgramPath());
    testreg::SetString(HKEY_CURRENT_USER, kRunKey, L"Pelko", path);
    CSettings settings;
    settings.Load();
    EXPECT_EQ(settings.Autorun, TRUE);
}

TEST_F(SettingsTest, RunValueNamingAnotherProgramIsNotOursAndSaveDeletesIt) {
    testreg::SetString(HKEY_CURRENT_USER, kRunKey, L"Pelko", L"C:\\elsewhere\\pelko.exe");
    CSettings settings;
    settings.Load();
    EXPECT_EQ(settings.Autorun, FALSE);
    settings.Save();
    EXPECT_FALSE(testreg::GetValue(HKEY_CURRENT_USER, kRunKey, L"Pelko"));
}

TEST_F(SettingsTest, SaveWithoutAutorunAndWithoutRunValueChangesNothing) {
    const auto before = testreg::ValueNames(HKEY_CURRENT_USER, kRunKey);
    CSettings settings;
    settings.Load();
    EXPECT_EQ(settings.Save(), TRUE);
    EXPECT_EQ(testreg::ValueNames(HKEY_CURRENT_USER, kRunKey), before);
}

TEST_F(SettingsTest, KeyWithoutFullAccessLoadsLikeAMissingKeyAndSaveChangesNothing) {
    SetSetting(L"UDPPort", 14000);
    SetSetting(L"StartLocked", 1);
    ASSERT_EQ(testreg::DenyWrites(HKEY_LOCAL_MACHINE, kSettingsKey), ERROR_SUCCESS);
    CSettings settings;
    settings.Load();
    EXPECT_EQ(FieldsOf(settings), kLoadedDefaults);

    settings.TCPPort = 5555;
    EXPECT_EQ(settings.Save(), TRUE);
    EXPECT_EQ(Sorted(testreg::ValueNames(HKEY_LOCAL_MACHINE, kSettingsKey)),
              (std::vector<std::wstring>{L"StartLocked", L"UDPPort"}));
}

// --- RegKey

TEST_F(SettingsTest, RegKeyOpenFailureKeepsTheHeldKey) {
    testreg::SetDword(HKEY_LOCAL_MACHINE, kScratchKey, L"Marker", 7);
    RegKey key;
    EXPECT_FALSE(key.IsOpen());
    ASSERT_EQ(key.Open(HKEY_LOCAL_MACHINE, kScratchKey, KEY_READ), ERROR_SUCCESS);
    const HKEY held = key.Get();
    EXPECT_EQ(key.Open(HKEY_LOCAL_MACHINE, L"Software\\PelkoTestScratch\\Missing", KEY_READ),
              LONG(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(key.Get(), held);
    DWORD marker = 0, size = sizeof marker;
    EXPECT_EQ(::RegQueryValueExW(key.Get(), L"Marker", nullptr, nullptr, reinterpret_cast<BYTE*>(&marker), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(marker, 7u);
    key.Close();
    EXPECT_FALSE(key.IsOpen());
}

TEST_F(SettingsTest, RegKeyDeleteSubtreeRemovesEverythingBelow) {
    testreg::SetDword(HKEY_LOCAL_MACHINE, L"Software\\PelkoTestScratch\\Tree", L"v", 1);
    testreg::SetDword(HKEY_LOCAL_MACHINE, L"Software\\PelkoTestScratch\\Tree\\A", L"v", 1);
    testreg::SetDword(HKEY_LOCAL_MACHINE, L"Software\\PelkoTestScratch\\Tree\\A\\A1\\A11", L"v", 1);
    testreg::SetDword(HKEY_LOCAL_MACHINE, L"Software\\PelkoTestScratch\\Tree\\B", L"v", 1);
    testreg::SetDword(HKEY_LOCAL_MACHINE, L"Software\\PelkoTestScratch\\Sibling", L"v", 1);
    RegKey key;
    ASSERT_EQ(key.Open(HKEY_LOCAL_MACHINE, kScratchKey, KEY_ALL_ACCESS), ERROR_SUCCESS);
    EXPECT_EQ(key.DeleteSubtree(L"Tree"), ERROR_SUCCESS);
    EXPECT_EQ(testreg::SubkeyNames(HKEY_LOCAL_MACHINE, kScratchKey), std::vector<std::wstring>{L"Sibling"});
    EXPECT_EQ(key.DeleteSubtree(L"Tree"), LONG(ERROR_FILE_NOT_FOUND));
}

}  // namespace
