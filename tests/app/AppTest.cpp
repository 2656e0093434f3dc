// The program as the user meets it: start-up, the tray menu driven from the keyboard on a second
// thread while its modal loop runs on the test's thread, the main window it opens, and "Exit".
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "../support/UiWait.h"
#include "app/MainApp.h"
#include "app/WindowMessages.h"
#include "protocol/Server.h"
#include "resource.h"
#include "settings/Settings.h"
#include "ui/MainWnd.h"

namespace {

// The fixed items that one, two, three VK_DOWN reach in a menu with nothing selected.
enum class Pick { Dismiss, Lock, OpenMainWindow, Exit };

struct Opening { bool opened = false, lockChecked = false; };

void PickFromOpenMenu(Pick pick, Opening& seen, const std::atomic<bool>* stop = nullptr) {
    HWND menuWindow = uitest::WaitForProcessWindow(L"#32768", stop);
    if (!menuWindow) return;
    seen.opened = true;
    HMENU menu = reinterpret_cast<HMENU>(::SendMessageW(menuWindow, MN_GETHMENU, 0, 0));
    seen.lockChecked = (::GetMenuState(menu, ID_TRAY_LOCK, MF_BYCOMMAND) & MF_CHECKED) != 0;
    for (int i = 0; i < int(pick); ++i) uitest::PostKey(menuWindow, VK_DOWN);
    uitest::PostKey(menuWindow, pick == Pick::Dismiss ? VK_ESCAPE : VK_RETURN);
}

// Right-clicks the hidden window's tray icon and picks.
Opening RightClickAndPick(HWND hidden, Pick pick) {
    Opening seen;
    std::thread user([&] { PickFromOpenMenu(pick, seen); });
    ::SendMessageW(hidden, WM_TRAYNOTIFY, 1, WM_RBUTTONUP);
    user.join();
    return seen;
}

struct AppTest : ::testing::Test {
    void TearDown() override {
        MSG msg;
        ::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);   // an Exit leaves one
        theSettings.Locked = FALSE;
        theServer.Shutdown();
    }
};

struct TrayTest : AppTest {
    void SetUp() override {
        ASSERT_TRUE(hidden.Create());
        hidden.AddTrayIcon();
    }
    CHiddenWnd hidden;
};

}  // namespace

TEST_F(TrayTest, LockTogglesTheLockTheIconAndTheCheckMark) {
    const Opening first = RightClickAndPick(hidden.Hwnd(), Pick::Lock);
    ASSERT_TRUE(first.opened && !first.lockChecked);
    EXPECT_TRUE(theSettings.Locked);
    EXPECT_EQ(hidden.TrayIcon().IconId(), UINT(IDI_PELKO_LOCKED));
    ::SendMessageW(hidden.Hwnd(), ::RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);   // a restarted task bar
    EXPECT_EQ(hidden.TrayIcon().IconId(), UINT(IDI_PELKO_LOCKED));

    EXPECT_TRUE(RightClickAndPick(hidden.Hwnd(), Pick::Lock).lockChecked);
    EXPECT_FALSE(theSettings.Locked);
    EXPECT_EQ(hidden.TrayIcon().IconId(), UINT(IDI_PELKO));
    // Dismissing the menu changes nothing.
    EXPECT_FALSE(RightClickAndPick(hidden.Hwnd(), Pick::Dismiss).lockChecked || theSettings.Locked || hidden.MainWnd());
}

TEST_F(TrayTest, OpenMainWindowShowsOneMainWindowUntilItsCloseButton) {
    ASSERT_TRUE(RightClickAndPick(hidden.Hwnd(), Pick::OpenMainWindow).opened && hidden.MainWnd());
    HWND main = hidden.MainWnd()->Hwnd();
    EXPECT_TRUE(::IsWindowVisible(main));
    // Asked again (as a second start does), the same window comes to the front.
    ::SendMessageW(hidden.Hwnd(), WM_OPENMAINWINDOW, 0, 0);
    EXPECT_EQ(hidden.MainWnd()->Hwnd(), main);
    EXPECT_EQ(::FindWindowExW(nullptr, main, kMainWindowClass, nullptr), nullptr);   // and no second one
    EXPECT_EQ(::GetForegroundWindow(), main);
    // While it is open a right-click on the icon raises it instead of opening the menu.
    ::SetForegroundWindow(hidden.Hwnd());
    uitest::WindowWatch watch(L"#32768");
    ::SendMessageW(hidden.Hwnd(), WM_TRAYNOTIFY, 1, WM_RBUTTONUP);
    EXPECT_EQ(watch.Stop(), 0);
    EXPECT_EQ(::GetForegroundWindow(), main);

    ::SendMessageW(::GetDlgItem(main, CMainWnd::kCloseButtonId), BM_CLICK, 0, 0);
    ASSERT_TRUE(uitest::PumpUntil([&] { return hidden.MainWnd() == nullptr; }));
    EXPECT_EQ(::FindWindowW(kMainWindowClass, nullptr), nullptr);
    EXPECT_TRUE(::IsWindow(hidden.Hwnd()));   // the program goes on in the tray
}

// The first copy starts locked (the settings say so) and shows the locked icon; a second copy
// hands over to it and ends.
TEST_F(AppTest, AStartShowsTheLockAndASecondCopyHandsOverToTheRunningOne) {
    theSettings.Locked = TRUE;
    CMainApp first;
    ASSERT_TRUE(first.InitInstance());
    EXPECT_EQ(first.HiddenWnd().TrayIcon().IconId(), UINT(IDI_PELKO_LOCKED));
    {
        CMainApp second;
        EXPECT_FALSE(second.InitInstance());
        EXPECT_EQ(second.HiddenWnd().Hwnd(), nullptr);
        EXPECT_FALSE(second.HiddenWnd().TrayIcon().IsAdded());
    }
    ASSERT_TRUE(uitest::PumpUntil([&] { return first.HiddenWnd().MainWnd() != nullptr; }));
    EXPECT_TRUE(::IsWindowVisible(first.HiddenWnd().MainWnd()->Hwnd()));
    first.HiddenWnd().Exit();
}

TEST_F(AppTest, ARunEndsThroughTheTrayMenusExitWithTheServerShutDown) {
    CMainApp app;
    std::atomic<bool> done{false};
    Opening seen;
    std::thread user([&] {
        HWND hidden = nullptr;
        while (!done && !(hidden = ::FindWindowW(kHiddenWindowClass, nullptr))) ::Sleep(10);
        if (!hidden) return;
        ::PostMessageW(hidden, WM_TRAYNOTIFY, 1, WM_RBUTTONUP);
        PickFromOpenMenu(Pick::Exit, seen, &done);
    });
    EXPECT_EQ(app.Run(), 0);
    done = true;
    user.join();
    EXPECT_TRUE(seen.opened);
    EXPECT_FALSE(theServer.IsInitialized());
    EXPECT_FALSE(app.HiddenWnd().TrayIcon().IsAdded());
    EXPECT_EQ(::FindWindowW(kHiddenWindowClass, nullptr), nullptr);
}
