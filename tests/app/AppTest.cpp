// The program as the user meets it: start-up, the tray menu driven from the keyboard on a second
// thread while its modal loop runs on the test's thread, the main window it opens, "Exit", and a
// paste whose data comes after the pasting application stopped waiting.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "../support/TestEvent.h"
#include "../support/TestHelpers.h"
#include "../support/UiWait.h"
#include "app/AppMessages.h"
#include "app/MainApp.h"
#include "protocol/Server.h"
#include "protocol/TransferMessages.h"
#include "resource.h"
#include "settings/Settings.h"
#include "ui/MainWnd.h"
#include "ui/UiMessages.h"

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

namespace {

// A peer that answers on a socket of the test's: one request per connection, the reply given.
void AnswerOneRequest(SOCKET listener, const std::u16string& list, const std::vector<uint8_t>& data) {
    UniqueSocket connection(::accept(listener, nullptr, nullptr));
    uint8_t request[RequestBufferSize];
    int received = 0;
    CMessage header;
    for (int got = 1; got > 0 && (received < 24 || received < 24 + int(header.length)); received += got) {
        got = ::recv(connection.Get(), reinterpret_cast<char*>(request) + received, int(sizeof request) - received, 0);
        if (received + got >= 24) header.Decode(request, 24);
    }
    std::vector<uint8_t> reply = header.command == cmd_GetInfo ? PrepareSendInfo(header, list) : data;
    if (header.command == cmd_GetData) PrepareSendData(header, data.data(), uint32_t(data.size()));
    const auto bytes = header.Encode();
    reply.insert(reply.begin(), bytes.begin(), bytes.end());
    ::send(connection.Get(), reinterpret_cast<const char*>(reply.data()), int(reply.size()), 0);
    ::shutdown(connection.Get(), SD_SEND);
    char rest;
    ::recv(connection.Get(), &rest, 1, 0);   // until the client has closed
}

}  // namespace

// What Windows' clipboard does to a render that outlasts its patience: the pasting side opens the
// clipboard, asks the owner to render, gives up and closes the clipboard. The data that comes
// afterwards goes onto the clipboard all the same, the other promise stays, and the next paste
// takes the data without a fetch.
TEST_F(TrayTest, DataThatArrivesAfterThePasteGaveUpIsKeptOnTheClipboard) {
    theSettings.UDPPort = 24540;
    theSettings.TCPPort = 24541;
    ASSERT_TRUE(theServer.Init());
    theServer.SetClipboardOwner(hidden.Hwnd());
    UniqueSocket listener(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = ::htons(24542);
    address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    ASSERT_EQ(0, ::bind(listener.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address));
    ASSERT_EQ(0, ::listen(listener.Get(), 2));
    theSettings.TCPPort = 24542;   // the client asks the test's peer; the server keeps its own port
    std::vector<uint8_t> block(6000);
    for (size_t i = 0; i < block.size(); ++i) block[i] = uint8_t(i * 7 + i / 256);
    TestEvent givenUp;
    std::thread peer([&] {
        AnswerOneRequest(listener.Get(), u"Pelko Late Block/CF_UNICODETEXT", {});
        if (givenUp.Wait()) AnswerOneRequest(listener.Get(), {}, block);
    });
    hidden.TakeRemoteClipboard(INADDR_LOOPBACK);
    const UINT late = ::RegisterClipboardFormatW(L"Pelko Late Block");
    ASSERT_EQ(theServer.Pending().Ids(), (std::vector<UINT>{late, CF_UNICODETEXT}));

    bool timedOut = false;
    std::thread pasting([&] {
        if (uitest::PumpUntil([] { return ::OpenClipboard(nullptr) != FALSE; })) {
            DWORD_PTR result = 0;
            timedOut = !::SendMessageTimeoutW(hidden.Hwnd(), WM_RENDERFORMAT, late, 0, SMTO_NORMAL, 200, &result) &&
                       ::GetLastError() == ERROR_TIMEOUT;
            ::CloseClipboard();
        }
        givenUp.Set();
    });
    // The render runs in this pump and ends with the data where it goes.
    ASSERT_TRUE(uitest::PumpUntil([] { return theServer.Pending().Count() == 1; }));
    pasting.join();
    peer.join();
    EXPECT_TRUE(timedOut);
    EXPECT_EQ(::GetClipboardOwner(), hidden.Hwnd());
    EXPECT_EQ(theServer.Pending().Ids(), std::vector<UINT>{CF_UNICODETEXT});
    uitest::WindowWatch messages(L"#32770");   // a fetch now could only fail: the peer is gone
    ASSERT_TRUE(uitest::PumpUntil([] { return ::OpenClipboard(nullptr) != FALSE; }));
    EXPECT_TRUE(::IsClipboardFormatAvailable(CF_UNICODETEXT));
    EXPECT_EQ(testutil::BytesOf(::GetClipboardData(late)), block);
    ::CloseClipboard();
    EXPECT_EQ(messages.Stop(), 0);
}
