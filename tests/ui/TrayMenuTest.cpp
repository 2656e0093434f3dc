// The tray menu's pieces: loading, the host items (order, ids, data, friends filter), the lock
// check, and that an opening removes the previous opening's host items.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resource.h"
#include "ui/TrayMenu.h"

namespace {

std::wstring ItemText(HMENU menu, int position) {
    wchar_t text[128] = {};
    ::GetMenuStringW(menu, static_cast<UINT>(position), text, 128, MF_BYPOSITION);
    return text;
}

bool IsSeparator(HMENU menu, int position) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_FTYPE;
    return ::GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &info) && (info.fType & MFT_SEPARATOR);
}

bool IsLockChecked(HMENU menu) {
    return (::GetMenuState(menu, ID_TRAY_LOCK, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

// Text, command id and item data of the host items at the top, in menu order.
struct Item {
    std::wstring text;
    UINT command;
    DWORD data;
    bool operator==(const Item&) const = default;
};

std::vector<Item> HostItems(HMENU menu) {
    std::vector<Item> items;
    const int hosts = ::GetMenuItemCount(menu) - CTrayMenu::kFixedItemCount;
    for (int i = 0; i < hosts; ++i) {
        MENUITEMINFOW info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_DATA | MIIM_ID;
        ::GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
        items.push_back(Item{ItemText(menu, i), info.wID, static_cast<DWORD>(info.dwItemData)});
    }
    return items;
}

void ExpectFixedItemsAtTheBottom(HMENU menu) {
    const int n = ::GetMenuItemCount(menu);
    ASSERT_GE(n, 5);
    EXPECT_TRUE(IsSeparator(menu, n - 5));
    EXPECT_EQ(L"Lock", ItemText(menu, n - 4));
    EXPECT_EQ(static_cast<UINT>(ID_TRAY_LOCK), ::GetMenuItemID(menu, n - 4));
    EXPECT_TRUE(IsSeparator(menu, n - 3));
    EXPECT_EQ(L"Open Main Window", ItemText(menu, n - 2));
    EXPECT_EQ(static_cast<UINT>(ID_TRAY_OPEN_MAIN), ::GetMenuItemID(menu, n - 2));
    EXPECT_EQ(L"Exit", ItemText(menu, n - 1));
    EXPECT_EQ(static_cast<UINT>(ID_TRAY_EXIT), ::GetMenuItemID(menu, n - 1));
}

const std::vector<TrayMenuHost> kHosts = {
    {L"alpha", 0xC0A80101, true},
    {L"bravo", 0xC0A80102, false},
    {L"charlie", 0xC0A80103, true},
};

// A menu loaded from the program's resources.
class LoadedTrayMenu : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(menu.Load()); }
    CTrayMenu menu;
};

}  // namespace

TEST(TrayMenu, NotLoadedHasNoPopup) {
    CTrayMenu menu;
    EXPECT_EQ(nullptr, menu.Popup());
    menu.Prepare(false, false, kHosts);   // nothing to prepare: no crash
    EXPECT_FALSE(menu.HostAddress(ID_TRAY_FIRST_HOST).has_value());
}

TEST_F(LoadedTrayMenu, WithoutHostsItHasTheFiveFixedItems) {
    ASSERT_NE(nullptr, menu.Popup());
    menu.Prepare(false, false, {});
    EXPECT_EQ(5, ::GetMenuItemCount(menu.Popup()));
    ExpectFixedItemsAtTheBottom(menu.Popup());
    EXPECT_FALSE(IsLockChecked(menu.Popup()));
}

TEST_F(LoadedTrayMenu, LoadKeepsTheSameMenu) {
    HMENU first = menu.Popup();
    ASSERT_TRUE(menu.Load());
    EXPECT_EQ(first, menu.Popup());
}

TEST_F(LoadedTrayMenu, HostsAreListedLastFirstWithTheirAddresses) {
    menu.Prepare(false, false, kHosts);
    EXPECT_EQ((std::vector<Item>{{L"charlie", 0x8002, 0xC0A80103}, {L"bravo", 0x8001, 0xC0A80102}, {L"alpha", 0x8000, 0xC0A80101}}),
              HostItems(menu.Popup()));
    ExpectFixedItemsAtTheBottom(menu.Popup());
    EXPECT_EQ(0xC0A80102u, menu.HostAddress(0x8001).value_or(0));
    EXPECT_FALSE(menu.HostAddress(0x8010).has_value());
}

TEST_F(LoadedTrayMenu, FriendsOnlyLeavesOutTheOthers) {
    menu.Prepare(false, true, kHosts);
    EXPECT_EQ((std::vector<Item>{{L"charlie", 0x8001, 0xC0A80103}, {L"alpha", 0x8000, 0xC0A80101}}), HostItems(menu.Popup()));
}

TEST_F(LoadedTrayMenu, OpeningTwiceDoesNotDuplicateHosts) {
    menu.Prepare(false, false, kHosts);
    menu.Prepare(false, false, kHosts);
    EXPECT_EQ(8, ::GetMenuItemCount(menu.Popup()));
    EXPECT_EQ(3u, HostItems(menu.Popup()).size());
    // A host that left is gone at the next opening.
    menu.Prepare(false, false, {kHosts[0]});
    EXPECT_EQ((std::vector<Item>{{L"alpha", 0x8000, 0xC0A80101}}), HostItems(menu.Popup()));
    menu.Prepare(false, false, {});
    EXPECT_EQ(5, ::GetMenuItemCount(menu.Popup()));
    ExpectFixedItemsAtTheBottom(menu.Popup());
}

TEST_F(LoadedTrayMenu, LockIsCheckedAfterTheLockState) {
    menu.Prepare(true, false, kHosts);
    EXPECT_TRUE(IsLockChecked(menu.Popup()));
    menu.Prepare(false, false, kHosts);
    EXPECT_FALSE(IsLockChecked(menu.Popup()));
}

TEST_F(LoadedTrayMenu, HostCommandsStepOverTheFixedCommands) {
    EXPECT_EQ(0x8001u, CTrayMenu::NextHostCommand(0x8000));
    EXPECT_EQ(0x8002u, CTrayMenu::NextHostCommand(0x8001));
    EXPECT_EQ(0x8006u, CTrayMenu::NextHostCommand(0x8002));
    EXPECT_EQ(0x8007u, CTrayMenu::NextHostCommand(0x8006));

    std::vector<TrayMenuHost> many;
    for (DWORD i = 0; i < 6; ++i) many.push_back({L"host" + std::to_wstring(i), 0x0A000001 + i, true});
    menu.Prepare(false, false, many);
    const std::vector<Item> items = HostItems(menu.Popup());
    ASSERT_EQ(6u, items.size());
    const UINT expected[] = {0x8008, 0x8007, 0x8006, 0x8002, 0x8001, 0x8000};   // menu order: last host first
    for (size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(expected[i], items[i].command) << i;
        EXPECT_EQ(0x0A000001 + (5 - i), items[i].data) << i;
        EXPECT_EQ(items[i].data, menu.HostAddress(items[i].command).value_or(0)) << i;
    }
    ExpectFixedItemsAtTheBottom(menu.Popup());
}
