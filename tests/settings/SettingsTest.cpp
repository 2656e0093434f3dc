// The settings record against the registry of the test prefix: defaults on a first start, the
// colour's byte order, the Run entry, Save and Load, and the key holder RegKey.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <string>
#include <vector>

#include "../support/RegistryHelpers.h"
#include "../support/RegistryTestLock.h"
#include "settings/RegKey.h"
#include "settings/Settings.h"

namespace {

constexpr wchar_t kSettingsKey[] = L"Software\\Pelko";
constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kScratchKey[] = L"Software\\PelkoTestScratch";

std::wstring ExecutablePath() {
    wchar_t path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::wstring(path, length);
}

std::vector<std::wstring> Sorted(std::vector<std::wstring> names) {
    std::sort(names.begin(), names.end());
    return names;
}

std::wstring ComputerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    EXPECT_TRUE(::GetComputerNameW(name, &length));
    return std::wstring(name, length);
}

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
    EXPECT_EQ(settings.Timeout, 0u);
    EXPECT_EQ(settings.UDPPort, 4000u);
    EXPECT_EQ(settings.TCPPort, 4001u);
    EXPECT_EQ(settings.BaseColor, 0u);
    EXPECT_TRUE(settings.FriendNicks.empty());
    EXPECT_TRUE(settings.LocalName.empty());
    EXPECT_EQ(settings.Autorun, FALSE);
    EXPECT_EQ(settings.AddFilenameAsText, TRUE);
    EXPECT_EQ(settings.ConvertFilenameToUNC, TRUE);
    EXPECT_EQ(settings.AcceptFriendsOnly, FALSE);
    EXPECT_EQ(settings.ShowFriendsOnly, TRUE);
    EXPECT_EQ(settings.StartLocked, FALSE);
    EXPECT_EQ(settings.Locked, FALSE);
}

TEST_F(SettingsTest, FirstStartWithoutKeysGivesExactlyTheDefaults) {
    CSettings settings;
    settings.FriendNicks[L"PC1"] = L"Alice";  // Load leaves the friends alone
    settings.Autorun = TRUE;
    settings.UDPPort = 1;
    settings.ShowFriendsOnly = FALSE;
    EXPECT_EQ(settings.Load(), TRUE);
    EXPECT_EQ(settings.Timeout, 7000u);
    EXPECT_EQ(settings.UDPPort, 4000u);
    EXPECT_EQ(settings.TCPPort, 4001u);
    EXPECT_EQ(settings.BaseColor, COLORREF(0x00344220));
    EXPECT_EQ(GetRValue(settings.BaseColor), 0x20);
    EXPECT_EQ(GetGValue(settings.BaseColor), 0x42);
    EXPECT_EQ(GetBValue(settings.BaseColor), 0x34);
    EXPECT_EQ(settings.LocalName, ComputerName());
    EXPECT_EQ(settings.Autorun, FALSE);
    EXPECT_EQ(settings.AddFilenameAsText, TRUE);
    EXPECT_EQ(settings.ConvertFilenameToUNC, TRUE);
    EXPECT_EQ(settings.AcceptFriendsOnly, FALSE);
    EXPECT_EQ(settings.ShowFriendsOnly, TRUE);
    EXPECT_EQ(settings.StartLocked, FALSE);
    EXPECT_EQ(settings.Locked, FALSE);
    ASSERT_EQ(settings.FriendNicks.size(), 1u);
    EXPECT_EQ(settings.FriendNicks[L"PC1"], L"Alice");
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
    ASSERT_EQ(testreg::SetDword(HKEY_LOCAL_MACHINE, kSettingsKey, L"AddFilenameAsText", 0), ERROR_SUCCESS);
    testreg::SetDword(HKEY_LOCAL_MACHINE, kSettingsKey, L"ConvertFilenameToUNC", 0);
    testreg::SetDword(HKEY_LOCAL_MACHINE, kSettingsKey, L"ShowFriendsOnly", 0);
    testreg::SetDword(HKEY_LOCAL_MACHINE, kSettingsKey, L"AcceptFriendsOnly", 1);
    testreg::SetDword(HKEY_LOCAL_MACHINE, kSettingsKey, L"StartLocked", 1);
    testreg::SetDword(HKEY_LOCAL_MACHINE, kSettingsKey, L"UDPPort", 70000);  // no bounds applied
    testreg::SetDword(HKEY_LOCAL_MACHINE, kSettingsKey, L"TCPPort", 5001);
    testreg::SetDword(HKEY_LOCAL_MACHINE, kSettingsKey, L"Timeout", 0xFFFFFFFF);
    CSettings settings;
    settings.Load();
    EXPECT_EQ(settings.AddFilenameAsText, FALSE);
    EXPECT_EQ(settings.ConvertFilenameToUNC, FALSE);
    EXPECT_EQ(settings.ShowFriendsOnly, FALSE);
    EXPECT_EQ(settings.AcceptFriendsOnly, TRUE);
    EXPECT_EQ(settings.StartLocked, TRUE);
    EXPECT_EQ(settings.Locked, TRUE);
    EXPECT_EQ(settings.UDPPort, 70000u);
    EXPECT_EQ(settings.TCPPort, 5001u);
    EXPECT_EQ(settings.Timeout, 0xFFFFFFFFu);
    EXPECT_EQ(settings.BaseColor, COLORREF(0x00344220));  // absent: default
}

TEST_F(SettingsTest, BaseColorIsStoredRedGreenBlueFromTheHighByteDown) {
    ASSERT_EQ(testreg::SetDword(HKEY_LOCAL_MACHINE, kSettingsKey, L"BaseColor", 0x00102030), ERROR_SUCCESS);
    CSettings settings;
    settings.Load();
    EXPECT_EQ(GetRValue(settings.BaseColor), 0x10);
    EXPECT_EQ(GetGValue(settings.BaseColor), 0x20);
    EXPECT_EQ(GetBValue(settings.BaseColor), 0x30);
    EXPECT_EQ(settings.BaseColor, COLORREF(0x00302010));
}

TEST_F(SettingsTest, BaseColorTopByteIsIgnored) {
    ASSERT_EQ(testreg::SetDword(HKEY_LOCAL_MACHINE, kSettingsKey, L"BaseColor", 0xA5102030), ERROR_SUCCESS);
    CSettings settings;
    settings.Load();
    EXPECT_EQ(settings.BaseColor, COLORREF(0x00302010));
}

TEST_F(SettingsTest, ValuesThatAreNotFourByteNumbersKeepTheDefaults) {
    testreg::SetString(HKEY_LOCAL_MACHINE, kSettingsKey, L"UDPPort", L"5000");
    const BYTE eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    testreg::SetValue(HKEY_LOCAL_MACHINE, kSettingsKey, L"TCPPort", REG_BINARY, eight, sizeof eight);
    const WORD two = 0;
    testreg::SetValue(HKEY_LOCAL_MACHINE, kSettingsKey, L"ShowFriendsOnly", REG_BINARY, &two, sizeof two);
    const DWORD colour = 0x00102030;
    testreg::SetValue(HKEY_LOCAL_MACHINE, kSettingsKey, L"BaseColor", REG_BINARY, &colour, sizeof colour);
    testreg::SetDword(HKEY_LOCAL_MACHINE, kSettingsKey, L"Timeout", 1234);  // a good one among them
    CSettings settings;
    settings.Load();
    EXPECT_EQ(settings.UDPPort, 4000u);
    EXPECT_EQ(settings.TCPPort, 4001u);
    EXPECT_EQ(settings.ShowFriendsOnly, TRUE);
    EXPECT_EQ(settings.BaseColor, COLORREF(0x00344220));
    EXPECT_EQ(settings.Timeout, 1234u);
}

TEST_F(SettingsTest, StartLockedSetsTheLockOnlyAtTheFirstLoad) {
    testreg::SetDword(HKEY_LOCAL_MACHINE, kSettingsKey, L"StartLocked", 1);
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
    const std::vector<std::wstring> expectedNames = {L"AcceptFriendsOnly", L"AddFilenameAsText",
                                                     L"ConvertFilenameToUNC", L"ShowFriendsOnly",
                                                     L"StartLocked", L"TCPPort", L"Timeout", L"UDPPort"};
    EXPECT_EQ(Sorted(testreg::ValueNames(HKEY_LOCAL_MACHINE, kSettingsKey)), expectedNames);
    auto udp = testreg::GetValue(HKEY_LOCAL_MACHINE, kSettingsKey, L"UDPPort");
    ASSERT_TRUE(udp);
    EXPECT_EQ(udp->type, DWORD(REG_DWORD));
    EXPECT_EQ(udp->Dword(), 14000u);
    EXPECT_TRUE(testreg::SubkeyNames(HKEY_LOCAL_MACHINE, kSettingsKey).empty());

    CSettings loaded;
    loaded.Load();
    EXPECT_EQ(loaded.AddFilenameAsText, FALSE);
    EXPECT_EQ(loaded.ConvertFilenameToUNC, FALSE);
    EXPECT_EQ(loaded.ShowFriendsOnly, FALSE);
    EXPECT_EQ(loaded.AcceptFriendsOnly, TRUE);
    EXPECT_EQ(loaded.StartLocked, TRUE);
    EXPECT_EQ(loaded.Locked, TRUE);
    EXPECT_EQ(loaded.UDPPort, 14000u);
    EXPECT_EQ(loaded.TCPPort, 14001u);
    EXPECT_EQ(loaded.Timeout, 9000u);
    EXPECT_EQ(loaded.BaseColor, COLORREF(0x00344220));
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
    const std::wstring path = ExecutablePath();
    EXPECT_EQ(value->data.size(), (path.size() + 1) * sizeof(wchar_t));  // the null is counted
    EXPECT_EQ(value->Text(), path);
    EXPECT_FALSE(testreg::GetValue(HKEY_LOCAL_MACHINE, kRunKey, L"Pelko"));  // NT family: the user's key

    CSettings loaded;
    loaded.Load();
    EXPECT_EQ(loaded.Autorun, TRUE);
}

TEST_F(SettingsTest, RunValueInOtherLetterCaseCountsAsOurs) {
    std::wstring path = ExecutablePath();
    for (auto& c : path) c = static_cast<wchar_t>(std::towupper(c));
    ASSERT_NE(path, ExecutablePath());
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
    testreg::SetDword(HKEY_LOCAL_MACHINE, kSettingsKey, L"UDPPort", 14000);
    testreg::SetDword(HKEY_LOCAL_MACHINE, kSettingsKey, L"StartLocked", 1);
    ASSERT_EQ(testreg::DenyWrites(HKEY_LOCAL_MACHINE, kSettingsKey), ERROR_SUCCESS);
    CSettings settings;
    settings.Load();
    EXPECT_EQ(settings.UDPPort, 4000u);
    EXPECT_EQ(settings.StartLocked, FALSE);
    EXPECT_EQ(settings.Locked, FALSE);

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
