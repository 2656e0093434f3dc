// The tray menu as each opening leaves it: the hosts at the top (last arrived first, non-friends
// left out when only friends are shown), then the fixed items with "Lock" checked after the lock
// state. The openings follow each other on one menu, so each shows the previous hosts are gone.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "resource.h"
#include "ui/TrayMenu.h"

namespace {

using Item = std::tuple<std::wstring, UINT, DWORD>;   // a host item: text, command, the host's address kept with it

TEST(TrayMenu, EachOpeningListsTheHostsAboveTheFixedItems) {
    const struct Row { bool locked, friendsOnly; int hosts; std::vector<Item> expected; } rows[] = {
        {true, false, 3, {{L"host2", 0x8002, 102}, {L"host1", 0x8001, 101}, {L"host0", 0x8000, 100}}},
        {false, true, 3, {{L"host2", 0x8001, 102}, {L"host0", 0x8000, 100}}},
        {true, false, 5, {{L"host4", 0x8007, 104}, {L"host3", 0x8006, 103}, {L"host2", 0x8002, 102},   // commands step
                          {L"host1", 0x8001, 101}, {L"host0", 0x8000, 100}}},   // over Exit, Open Main Window, Lock
        {false, false, 0, {}}};
    CTrayMenu menu;
    ASSERT_TRUE(menu.Load());
    HMENU popup = menu.Popup();
    for (int opening = 0; const Row& row : rows) {
        SCOPED_TRACE(++opening);
        std::vector<TrayMenuHost> hosts;   // host0 at 100, host1 at 101, ...: the even ones friends
        for (int i = 0; i < row.hosts; ++i) hosts.push_back({L"host" + std::to_wstring(i), DWORD(100 + i), i % 2 == 0});
        menu.Prepare(row.locked, row.friendsOnly, hosts);
        const int count = ::GetMenuItemCount(popup);
        ASSERT_EQ(count, int(row.expected.size()) + CTrayMenu::kFixedItemCount);
        std::vector<Item> items;
        for (int i = 0; i < int(row.expected.size()); ++i) {
            wchar_t text[32] = {};
            ::GetMenuStringW(popup, UINT(i), text, 32, MF_BYPOSITION);
            const UINT command = ::GetMenuItemID(popup, i);
            items.emplace_back(text, command, menu.HostAddress(command).value_or(0));
        }
        EXPECT_EQ(items, row.expected);
        const UINT fixed[] = {0, ID_TRAY_LOCK, 0, ID_TRAY_OPEN_MAIN, ID_TRAY_EXIT};   // 0: separators
        for (int i = 0; i < 5; ++i) EXPECT_EQ(::GetMenuItemID(popup, count - 5 + i), fixed[i]) << i;
        EXPECT_EQ((::GetMenuState(popup, ID_TRAY_LOCK, MF_BYCOMMAND) & MF_CHECKED) != 0, row.locked);
    }
}

}  // namespace
