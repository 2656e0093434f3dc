// Sound event registration under HKEY_CURRENT_USER\AppEvents: the entries of a first start, and
// that a later start rewrites nothing.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../support/RegistryHelpers.h"
#include "../support/RegistryTestLock.h"
#include "../support/TestHelpers.h"
#include "settings/Settings.h"
#include "settings/SoundEvents.h"

namespace {

constexpr wchar_t kSchemeKey[] = L"AppEvents\\Schemes\\Apps\\Pelko";
constexpr wchar_t kLabelsKey[] = L"AppEvents\\EventLabels";

struct ExpectedEvent {
    std::wstring name;
    std::wstring label;
};
const std::vector<ExpectedEvent> kExpected = {
    {L"PelkoReadyToTransfer", L"Pelko - Ready To Transfer"},
    {L"PelkoTransferCompleted", L"Pelko - Transfer Completed"},
    {L"PelkoTaskFailed", L"Pelko - Task Failed"},
    {L"PelkoNewFriend", L"Pelko - New Friend"},
    {L"PelkoDataRequested", L"Pelko - Data Requested"},
    {L"PelkoDataTransmitted", L"Pelko - Data Transmitted"},
};

std::wstring DefaultText(const std::wstring& path) {
    auto value = testreg::GetValue(HKEY_CURRENT_USER, path.c_str(), nullptr);
    EXPECT_TRUE(value) << "no default value at " << std::string(path.begin(), path.end());
    if (!value) return L"<missing>";
    EXPECT_EQ(value->type, DWORD(REG_SZ));
    EXPECT_GE(value->data.size(), 2u);  // stored with its terminating null
    return value->Text();
}

using testutil::ProgramFolderFile;

// Each test starts without the scheme and without our labels; the system's labels key exists
// unless a test removes it. What the fixture made it removes again.
class SoundEventsTest : public ::testing::Test {
protected:
    void SetUp() override {
        Clean();
        m_madeLabelsKey = !testreg::KeyExists(HKEY_CURRENT_USER, kLabelsKey);
        if (m_madeLabelsKey) {
            HKEY key = nullptr;
            ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kLabelsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                        KEY_ALL_ACCESS, nullptr, &key, nullptr),
                      ERROR_SUCCESS);
            ::RegCloseKey(key);
        }
    }
    void TearDown() override {
        Clean();
        if (m_madeLabelsKey) testreg::DeleteTree(HKEY_CURRENT_USER, kLabelsKey);
    }
    static void Clean() {
        testreg::DeleteTree(HKEY_CURRENT_USER, kSchemeKey);
        for (const auto& event : kExpected)
            testreg::DeleteTree(HKEY_CURRENT_USER, (std::wstring(kLabelsKey) + L"\\" + event.name).c_str());
    }
    RegistryTestLock m_lock;
    bool m_madeLabelsKey = false;
};

TEST_F(SoundEventsTest, FirstStartRegistersTheSixEvents) {
    CSettings settings;
    settings.RegisterSoundEvents();

    EXPECT_EQ(DefaultText(kSchemeKey), L"Pelko Network Clipboard");
    std::vector<std::wstring> names;
    for (const auto& event : kExpected) names.push_back(event.name);
    EXPECT_EQ(testutil::Sorted(testreg::SubkeyNames(HKEY_CURRENT_USER, kSchemeKey)), testutil::Sorted(names));  // exactly the six

    const std::wstring sound = ProgramFolderFile(L"ReadyToTransfer.wav");
    for (const auto& event : kExpected) {
        SCOPED_TRACE(std::string(event.name.begin(), event.name.end()));
        const std::wstring key = std::wstring(kSchemeKey) + L"\\" + event.name;
        EXPECT_EQ(DefaultText(key), event.label);
        const std::wstring expectedPath = event.name == L"PelkoReadyToTransfer" ? sound : L"";
        EXPECT_EQ(DefaultText(key + L"\\.Default"), expectedPath);
        EXPECT_EQ(DefaultText(key + L"\\.Current"), expectedPath);
        EXPECT_EQ(DefaultText(std::wstring(kLabelsKey) + L"\\" + event.name), event.label);
    }
}

TEST_F(SoundEventsTest, LaterStartKeepsTheUsersChoiceOfSound) {
    CSettings settings;
    settings.RegisterSoundEvents();
    const std::wstring current = std::wstring(kSchemeKey) + L"\\PelkoNewFriend\\.Current";
    ASSERT_EQ(testreg::SetString(HKEY_CURRENT_USER, current.c_str(), nullptr, L"C:\\sounds\\chime.wav"),
              ERROR_SUCCESS);
    const std::wstring ready = std::wstring(kSchemeKey) + L"\\PelkoReadyToTransfer\\.Current";
    ASSERT_EQ(testreg::SetString(HKEY_CURRENT_USER, ready.c_str(), nullptr, L""), ERROR_SUCCESS);
    // A label the user's tools removed is not put back either: the scheme key alone decides.
    testreg::DeleteTree(HKEY_CURRENT_USER, L"AppEvents\\EventLabels\\PelkoTaskFailed");

    CSettings nextStart;
    nextStart.RegisterSoundEvents();
    EXPECT_EQ(DefaultText(current), L"C:\\sounds\\chime.wav");
    EXPECT_EQ(DefaultText(ready), L"");
    EXPECT_FALSE(testreg::KeyExists(HKEY_CURRENT_USER, L"AppEvents\\EventLabels\\PelkoTaskFailed"));
}

TEST_F(SoundEventsTest, DeletingTheSchemeRegistersAgainWithTheDefaultSound) {
    CSettings settings;
    settings.RegisterSoundEvents();
    const std::wstring ready = std::wstring(kSchemeKey) + L"\\PelkoReadyToTransfer\\.Current";
    testreg::SetString(HKEY_CURRENT_USER, ready.c_str(), nullptr, L"C:\\sounds\\other.wav");
    testreg::DeleteTree(HKEY_CURRENT_USER, kSchemeKey);
    settings.RegisterSoundEvents();
    EXPECT_EQ(DefaultText(ready), ProgramFolderFile(L"ReadyToTransfer.wav"));
}

TEST_F(SoundEventsTest, WithoutTheSystemsLabelsKeyEventsAreRegisteredWithoutLabels) {
    const auto saved = testreg::SubkeyNames(HKEY_CURRENT_USER, kLabelsKey);
    ASSERT_TRUE(saved.empty()) << "the test prefix has labels of its own; this test would delete them";
    testreg::DeleteTree(HKEY_CURRENT_USER, kLabelsKey);
    m_madeLabelsKey = false;

    CSettings settings;
    settings.RegisterSoundEvents();
    EXPECT_FALSE(testreg::KeyExists(HKEY_CURRENT_USER, kLabelsKey));
    EXPECT_EQ(DefaultText(std::wstring(kSchemeKey) + L"\\PelkoDataTransmitted"), L"Pelko - Data Transmitted");
}

TEST_F(SoundEventsTest, RegisterSoundEventWritesOneEvent) {
    EXPECT_EQ(RegisterSoundEvent(L"PelkoNewFriend", L"Pelko - New Friend", L"Friend.wav"), TRUE);
    const std::wstring key = std::wstring(kSchemeKey) + L"\\PelkoNewFriend";
    EXPECT_EQ(DefaultText(key), L"Pelko - New Friend");
    EXPECT_EQ(DefaultText(key + L"\\.Default"), ProgramFolderFile(L"Friend.wav"));
    EXPECT_EQ(DefaultText(key + L"\\.Current"), ProgramFolderFile(L"Friend.wav"));
    // The scheme key was created on the way, but without a display name: only the first start
    // gives it one.
    EXPECT_FALSE(testreg::GetValue(HKEY_CURRENT_USER, kSchemeKey, nullptr));
}
}  // namespace
