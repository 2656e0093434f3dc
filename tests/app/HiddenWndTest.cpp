// The hidden window: its class and shape, the main window it opens (by a second start's message
// or from the tray menu) and loses again, and the tray menu's fixed commands driven from the
// keyboard: "Lock" twice, "Open Main Window", "Exit", and dismissing the menu.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "../support/UiWait.h"
#include "TrayDriver.h"
#include "app/WindowMessages.h"
#include "clipboard/HiddenWnd.h"
#include "framework/Application.h"
#include "protocol/Server.h"
#include "resource.h"
#include "settings/Settings.h"
#include "ui/MainWnd.h"

namespace {

// An application object that counts its exit operation.
class CCountingApp : public CApplication {
public:
    bool InitInstance() override { return true; }
    int ExitInstance() override {
        ++exits;
        return CApplication::ExitInstance();
    }
    int exits = 0;
};

class HiddenWndTest : public ::testing::Test {
protected:
    void SetUp() override {
        theSettings.Locked = FALSE;
        ASSERT_TRUE(hidden.Create());
        hidden.AddTrayIcon();
    }
    void TearDown() override {
        MSG msg;
        ::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);   // a test's Exit leaves one
        theSettings.Locked = FALSE;
        theSettings.ShowFriendsOnly = TRUE;
        theServer.Shutdown();
        theServer.HostTable().RemoveAll();
        theSettings.FriendNicks.clear();
        theSettings.UDPPort = 4000;
        theSettings.TCPPort = 4001;
    }

    HWND MainHwnd() const { return hidden.MainWnd() ? hidden.MainWnd()->Hwnd() : nullptr; }
    bool WaitForNoMainWindow() {
        return uitest::PumpUntil([&] { return hidden.MainWnd() == nullptr; });
    }
    static int CountProcessWindows(const wchar_t* className) {
        int count = 0;
        HWND hwnd = nullptr;
        while ((hwnd = ::FindWindowExW(nullptr, hwnd, className, nullptr)) != nullptr) {
            DWORD pid = 0;
            ::GetWindowThreadProcessId(hwnd, &pid);
            if (pid == ::GetCurrentProcessId()) ++count;
        }
        return count;
    }

    CHiddenWnd hidden;
};

// A host item of the open tray menu: its text and the address it carries.
struct MenuHost {
    std::wstring text;
    DWORD address;
    bool operator==(const MenuHost&) const = default;
};

// Right-clicks the icon, reads the host items (everything above the five fixed items), dismisses.
std::vector<MenuHost> ReadTrayHosts(HWND hidden) {
    std::vector<MenuHost> items;
    std::thread user([&] {
        HWND menuWindow = uitest::WaitForProcessWindow(L"#32768");
        if (!menuWindow) return;
        if (HMENU menu = reinterpret_cast<HMENU>(::SendMessageW(menuWindow, MN_GETHMENU, 0, 0))) {
            for (int i = 0; i + 5 < ::GetMenuItemCount(menu); ++i) {
                wchar_t text[64] = {};
                ::GetMenuStringW(menu, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
                MENUITEMINFOW info{};
                info.cbSize = sizeof info;
                info.fMask = MIIM_DATA;
                ::GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
                items.push_back({text, static_cast<DWORD>(info.dwItemData)});
            }
        }
        uitest::PostKey(menuWindow, VK_ESCAPE);
    });
    ::SendMessageW(hidden, WM_TRAYNOTIFY, 1, WM_RBUTTONUP);
    user.join();
    return items;
}

}  // namespace

TEST_F(HiddenWndTest, TheTrayMenuListsTheServersHostsLastArrivedFirst) {
    theSettings.FriendNicks[L"BRAVO"] = L"Bee";
    ASSERT_TRUE(theServer.HostTable().AddHost(0x0A000001, L"ALPHA"));
    ASSERT_TRUE(theServer.HostTable().AddHost(0x0A000002, L"BRAVO"));
    ASSERT_TRUE(theServer.HostTable().AddHost(0x0A000003, L"CHARLIE"));
    theSettings.ShowFriendsOnly = FALSE;
    const std::vector<MenuHost> all = {{L"CHARLIE", 0x0A000003}, {L"Bee", 0x0A000002}, {L"ALPHA", 0x0A000001}};
    EXPECT_EQ(all, ReadTrayHosts(hidden.Hwnd()));
    // Friends only: the friend under its nick.
    theSettings.ShowFriendsOnly = TRUE;
    const std::vector<MenuHost> friends = {{L"Bee", 0x0A000002}};
    EXPECT_EQ(friends, ReadTrayHosts(hidden.Hwnd()));
    // A host that left is gone at the next opening.
    theSettings.ShowFriendsOnly = FALSE;
    theServer.HostTable().RemoveHost(0x0A000003);
    const std::vector<MenuHost> two = {{L"Bee", 0x0A000002}, {L"ALPHA", 0x0A000001}};
    EXPECT_EQ(two, ReadTrayHosts(hidden.Hwnd()));
}

TEST_F(HiddenWndTest, ExitShutsTheServerDownFirst) {
    // Ports of this test's own: the app tests run beside the discovery tests.
    theSettings.UDPPort = 24530;
    theSettings.TCPPort = 24531;
    ASSERT_TRUE(theServer.Init());
    ASSERT_TRUE(theServer.HostTable().AddHost(0x0A000001, L"ALPHA"));
    CCountingApp app;
    app.SetMainWindow(&hidden);
    const tray::Opening seen = tray::RightClickAndPick(hidden.Hwnd(), tray::Pick::Exit);
    ASSERT_TRUE(seen.opened);
    EXPECT_FALSE(theServer.IsInitialized());
    EXPECT_EQ(0u, theServer.HostTable().Count());
    EXPECT_EQ(INVALID_SOCKET, theServer.ListenerHandle());
    EXPECT_EQ(nullptr, hidden.Hwnd());
}

TEST_F(HiddenWndTest, IsAnInvisibleToolWindowWithoutSize) {
    HWND hwnd = hidden.Hwnd();
    ASSERT_NE(nullptr, hwnd);
    EXPECT_EQ(kHiddenWindowClass, uitest::ClassOf(hwnd));
    EXPECT_EQ(static_cast<LONG_PTR>(WS_POPUP), ::GetWindowLongPtrW(hwnd, GWL_STYLE) & ~(WS_CLIPSIBLINGS));
    EXPECT_EQ(static_cast<LONG_PTR>(WS_EX_TOOLWINDOW), ::GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    EXPECT_FALSE(::IsWindowVisible(hwnd));
    RECT r{};
    ::GetWindowRect(hwnd, &r);
    EXPECT_EQ(0, r.right - r.left);
    EXPECT_EQ(0, r.bottom - r.top);
    EXPECT_EQ(static_cast<ULONG_PTR>(CS_DBLCLKS), ::GetClassLongPtrW(hwnd, GCL_STYLE));
    EXPECT_NE(0u, ::GetClassLongPtrW(hwnd, GCLP_HICON));
    EXPECT_EQ(hwnd, ::FindWindowW(kHiddenWindowClass, nullptr));
    EXPECT_EQ(static_cast<UINT>(IDI_PELKO), hidden.TrayIcon().IconId());
}

TEST_F(HiddenWndTest, OpenMainWindowMessageCreatesTheMainWindowCentred) {
    ::SendMessageW(hidden.Hwnd(), WM_OPENMAINWINDOW, 0, 0);
    HWND main = MainHwnd();
    ASSERT_NE(nullptr, main);
    EXPECT_EQ(kMainWindowClass, uitest::ClassOf(main));
    EXPECT_EQ(L"Pelko", uitest::TextOf(main));
    EXPECT_TRUE(::IsWindowVisible(main));
    EXPECT_EQ(0x86080000 | WS_VISIBLE, static_cast<DWORD>(::GetWindowLongPtrW(main, GWL_STYLE)));
    EXPECT_EQ(static_cast<LONG_PTR>(WS_EX_APPWINDOW), ::GetWindowLongPtrW(main, GWL_EXSTYLE) & WS_EX_APPWINDOW);
    EXPECT_EQ(static_cast<ULONG_PTR>(CS_DBLCLKS | CS_SAVEBITS), ::GetClassLongPtrW(main, GCL_STYLE));
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(::LoadCursorW(nullptr, IDC_ARROW)), ::GetClassLongPtrW(main, GCLP_HCURSOR));

    RECT r{};
    ::GetWindowRect(main, &r);
    EXPECT_EQ(500, r.right - r.left);
    EXPECT_EQ(300, r.bottom - r.top);
    RECT area{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    EXPECT_EQ(area.left + ((area.right - area.left) - 500) / 2, r.left);
    EXPECT_EQ(area.top + ((area.bottom - area.top) - 300) / 2, r.top);
    EXPECT_EQ(main, ::GetForegroundWindow());

    // A second request raises the same window; no second one appears.
    ::SendMessageW(hidden.Hwnd(), WM_OPENMAINWINDOW, 0, 0);
    EXPECT_EQ(main, MainHwnd());
    EXPECT_EQ(1, CountProcessWindows(kMainWindowClass));
}

TEST_F(HiddenWndTest, TheCloseButtonDestroysTheMainWindowAndClearsThePointer) {
    ASSERT_TRUE(hidden.CreateMainWindow());
    HWND main = MainHwnd();
    HWND close = ::GetDlgItem(main, CMainWnd::kCloseButtonId);
    ASSERT_NE(nullptr, close);
    ::SendMessageW(close, BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitForNoMainWindow());
    EXPECT_FALSE(::IsWindow(main));
    EXPECT_FALSE(hidden.MainWindowExists());
    EXPECT_EQ(0, CountProcessWindows(kMainWindowClass));
    // The hidden window is not the main window: it stays.
    EXPECT_TRUE(::IsWindow(hidden.Hwnd()));

    // A later request builds a fresh window.
    ::SendMessageW(hidden.Hwnd(), WM_OPENMAINWINDOW, 0, 0);
    ASSERT_NE(nullptr, MainHwnd());
    EXPECT_TRUE(::IsWindowVisible(MainHwnd()));
    ::SendMessageW(MainHwnd(), WM_CLOSE, 0, 0);
    EXPECT_EQ(nullptr, hidden.MainWnd());
}

TEST_F(HiddenWndTest, LockTwiceReturnsTheIconTo128AndTheItemToUnchecked) {
    const tray::Opening first = tray::RightClickAndPick(hidden.Hwnd(), tray::Pick::Lock);
    ASSERT_TRUE(first.opened);
    EXPECT_EQ(5, first.itemCount);   // no hosts: the fixed items only
    EXPECT_FALSE(first.lockChecked);
    EXPECT_TRUE(theSettings.Locked);
    EXPECT_EQ(static_cast<UINT>(IDI_PELKO_LOCKED), hidden.TrayIcon().IconId());

    const tray::Opening second = tray::RightClickAndPick(hidden.Hwnd(), tray::Pick::Lock);
    ASSERT_TRUE(second.opened);
    EXPECT_EQ(5, second.itemCount);   // opening again adds nothing
    EXPECT_TRUE(second.lockChecked);
    EXPECT_FALSE(theSettings.Locked);
    EXPECT_EQ(static_cast<UINT>(IDI_PELKO), hidden.TrayIcon().IconId());

    const tray::Opening third = tray::RightClickAndPick(hidden.Hwnd(), tray::Pick::Dismiss);
    ASSERT_TRUE(third.opened);
    EXPECT_FALSE(third.lockChecked);
    EXPECT_EQ(5, third.itemCount);
}

TEST_F(HiddenWndTest, DismissingTheMenuChangesNothing) {
    const tray::Opening seen = tray::RightClickAndPick(hidden.Hwnd(), tray::Pick::Dismiss);
    ASSERT_TRUE(seen.opened);
    EXPECT_FALSE(theSettings.Locked);
    EXPECT_EQ(static_cast<UINT>(IDI_PELKO), hidden.TrayIcon().IconId());
    EXPECT_EQ(nullptr, hidden.MainWnd());
    EXPECT_TRUE(::IsWindow(hidden.Hwnd()));
    EXPECT_FALSE(::IsWindowVisible(hidden.Hwnd()));   // shown only while the menu was open
}

TEST_F(HiddenWndTest, OpenMainWindowFromTheMenu) {
    const tray::Opening seen = tray::RightClickAndPick(hidden.Hwnd(), tray::Pick::OpenMainWindow);
    ASSERT_TRUE(seen.opened);
    ASSERT_NE(nullptr, MainHwnd());
    EXPECT_TRUE(::IsWindowVisible(MainHwnd()));
    EXPECT_FALSE(::IsWindowVisible(hidden.Hwnd()));
}

TEST_F(HiddenWndTest, ARightClickWhileTheMainWindowIsOpenRaisesItInsteadOfTheMenu) {
    ASSERT_TRUE(hidden.CreateMainWindow());
    ::SetForegroundWindow(hidden.Hwnd());
    uitest::WindowWatch watch(L"#32768");
    ::SendMessageW(hidden.Hwnd(), WM_TRAYNOTIFY, 1, WM_RBUTTONUP);
    EXPECT_EQ(0, watch.Stop());
    EXPECT_EQ(MainHwnd(), ::GetForegroundWindow());
}

TEST_F(HiddenWndTest, OtherMouseMessagesOfTheIconAreIgnored) {
    uitest::WindowWatch watch(L"#32768");
    for (UINT mouse : {WM_LBUTTONUP, WM_LBUTTONDOWN, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN, WM_RBUTTONDBLCLK, WM_MOUSEMOVE,
                       WM_MBUTTONUP, WM_CONTEXTMENU}) {
        ::SendMessageW(hidden.Hwnd(), WM_TRAYNOTIFY, 1, mouse);
    }
    EXPECT_EQ(0, watch.Stop());
    EXPECT_EQ(nullptr, hidden.MainWnd());
    EXPECT_FALSE(theSettings.Locked);
}

TEST_F(HiddenWndTest, ExitRemovesTheIconDestroysTheWindowAndEndsTheLoop) {
    CCountingApp app;
    app.SetMainWindow(&hidden);
    const tray::Opening seen = tray::RightClickAndPick(hidden.Hwnd(), tray::Pick::Exit);
    ASSERT_TRUE(seen.opened);
    EXPECT_EQ(nullptr, hidden.Hwnd());
    EXPECT_EQ(nullptr, ::FindWindowW(kHiddenWindowClass, nullptr));
    EXPECT_FALSE(hidden.TrayIcon().IsAdded());
    EXPECT_EQ(1, app.exits);
    EXPECT_EQ(nullptr, app.MainWindow());
    MSG msg;
    EXPECT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));   // the loop would end
}

TEST_F(HiddenWndTest, ARestartedTaskBarGetsTheIconAgainInItsCurrentState) {
    hidden.ToggleLock();
    ::SendMessageW(hidden.Hwnd(), ::RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_TRUE(hidden.TrayIcon().IsAdded());
    EXPECT_EQ(static_cast<UINT>(IDI_PELKO_LOCKED), hidden.TrayIcon().IconId());
}
