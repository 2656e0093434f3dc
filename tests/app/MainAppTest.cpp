// The application's start-up: the single-copy guard hands over to a running copy, a first copy
// makes its hidden window the main window and adds the tray icon after the lock state, and the
// whole run ends through the tray menu's "Exit".
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "../support/UiWait.h"
#include "TrayDriver.h"
#include "app/MainApp.h"
#include "app/WindowMessages.h"
#include "clipboard/HiddenWnd.h"
#include "resource.h"
#include "settings/Settings.h"
#include "ui/MainWnd.h"

namespace {

class MainAppTest : public ::testing::Test {
protected:
    void SetUp() override { theSettings.Locked = FALSE; }
    void TearDown() override {
        MSG msg;
        ::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
        theSettings.Locked = FALSE;
    }
};

}  // namespace

TEST_F(MainAppTest, RegisteringAClassTwiceSucceedsBothTimes) {
    EXPECT_TRUE(CWindow::RegisterWindowClass(kMainWindowClass, CS_DBLCLKS | CS_SAVEBITS, nullptr, nullptr, nullptr));
    EXPECT_TRUE(CWindow::RegisterWindowClass(kMainWindowClass, CS_DBLCLKS | CS_SAVEBITS, nullptr, nullptr, nullptr));
    WNDCLASSW info{};
    EXPECT_TRUE(::GetClassInfoW(ModuleInstance(), kMainWindowClass, &info));
}

TEST_F(MainAppTest, ASecondCopyHandsOverToTheRunningOneAndEnds) {
    CHiddenWnd running;   // the first copy's hidden window
    ASSERT_TRUE(running.Create());
    {
        CMainApp second;
        EXPECT_FALSE(second.InitInstance());
        EXPECT_EQ(nullptr, second.HiddenWnd().Hwnd());
        EXPECT_EQ(nullptr, second.MainWindow());
        EXPECT_FALSE(second.HiddenWnd().TrayIcon().IsAdded());
    }
    // The running copy gets WM_OPENMAINWINDOW and opens its main window.
    ASSERT_TRUE(uitest::PumpUntil([&] { return running.MainWnd() != nullptr; }));
    EXPECT_TRUE(::IsWindowVisible(running.MainWnd()->Hwnd()));
}

TEST_F(MainAppTest, StartUpMakesTheHiddenWindowTheMainWindowWithTheUnlockedIcon) {
    CMainApp app;
    ASSERT_TRUE(app.InitInstance());
    EXPECT_EQ(&app.HiddenWnd(), app.MainWindow());
    EXPECT_EQ(app.HiddenWnd().Hwnd(), ::FindWindowW(kHiddenWindowClass, nullptr));
    EXPECT_EQ(static_cast<UINT>(IDI_PELKO), app.HiddenWnd().TrayIcon().IconId());
    EXPECT_EQ(nullptr, app.HiddenWnd().MainWnd());   // opened only on demand
    app.HiddenWnd().Exit();
    EXPECT_EQ(nullptr, app.MainWindow());
}

TEST_F(MainAppTest, StartingLockedShowsTheLockedIcon) {
    theSettings.Locked = TRUE;
    CMainApp app;
    ASSERT_TRUE(app.InitInstance());
    EXPECT_EQ(static_cast<UINT>(IDI_PELKO_LOCKED), app.HiddenWnd().TrayIcon().IconId());
    app.HiddenWnd().Exit();
}

TEST_F(MainAppTest, ARunEndsThroughTheTrayMenusExit) {
    CMainApp app;
    std::atomic<bool> done{false};
    tray::Opening seen;
    std::thread user([&] {
        // Once the program runs, right-click its icon and choose "Exit".
        const ULONGLONG end = ::GetTickCount64() + uitest::kGenerousMs;
        HWND hidden = nullptr;
        while (!done && !(hidden = ::FindWindowW(kHiddenWindowClass, nullptr)) && ::GetTickCount64() < end) ::Sleep(10);
        if (!hidden) return;
        ::PostMessageW(hidden, WM_TRAYNOTIFY, 1, WM_RBUTTONUP);
        tray::PickFromOpenMenu(tray::Pick::Exit, seen, &done);
    });
    const int code = app.Run();
    done = true;
    user.join();
    EXPECT_TRUE(seen.opened);
    EXPECT_EQ(0, code);
    EXPECT_EQ(nullptr, app.HiddenWnd().Hwnd());
    EXPECT_FALSE(app.HiddenWnd().TrayIcon().IsAdded());
    EXPECT_EQ(nullptr, ::FindWindowW(kHiddenWindowClass, nullptr));
}
