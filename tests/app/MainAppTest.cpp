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
#include "protocol/Server.h"
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

TEST_F(MainAppTest, AStartWhoseTcpPortIsTakenSaysFailedToInitializeServerAndEnds) {
    // Another program holds the TCP port of the settings (4001 unless the registry says other).
    ASSERT_TRUE(theSettings.Load());
    const auto tcpPort = static_cast<u_short>(theSettings.TCPPort);
    const auto udpPort = static_cast<u_short>(theSettings.UDPPort);
    SOCKET taken = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_NE(INVALID_SOCKET, taken);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = ::htons(tcpPort);
    ASSERT_EQ(0, ::bind(taken, reinterpret_cast<sockaddr*>(&address), sizeof address));
    ASSERT_EQ(0, ::listen(taken, 1));

    // The user reads the message and presses OK.
    std::wstring shown;
    std::thread user([&] {
        HWND box = uitest::WaitForProcessWindow(L"#32770", [](HWND hwnd) {
            return uitest::TextOf(hwnd) == L"Failed to initialize server";
        });
        if (!box) return;
        shown = uitest::TextOf(box);
        ::PostMessageW(::GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    });
    CMainApp app;
    const bool started = app.InitInstance();
    user.join();
    ::closesocket(taken);

    EXPECT_FALSE(started);
    EXPECT_EQ(L"Failed to initialize server", shown);
    EXPECT_FALSE(theServer.IsInitialized());
    // Ended before the hidden window and the tray icon.
    EXPECT_EQ(nullptr, app.HiddenWnd().Hwnd());
    EXPECT_FALSE(app.HiddenWnd().TrayIcon().IsAdded());
    EXPECT_EQ(nullptr, ::FindWindowW(kHiddenWindowClass, nullptr));
    // The discovery port it had opened is free again.
    SOCKET udp = ::socket(AF_INET, SOCK_DGRAM, 0);
    address.sin_port = ::htons(udpPort);
    EXPECT_EQ(0, ::bind(udp, reinterpret_cast<sockaddr*>(&address), sizeof address));
    ::closesocket(udp);
}

TEST_F(MainAppTest, AStartedCopyRunsTheServerUntilExit) {
    CMainApp app;
    ASSERT_TRUE(app.InitInstance());
    EXPECT_TRUE(theServer.IsInitialized());
    app.HiddenWnd().Exit();
    EXPECT_FALSE(theServer.IsInitialized());
}
