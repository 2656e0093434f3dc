// The program as the user meets it: start-up (also with its port taken), the tray menu, the main
// window it opens, "Exit", and a paste whose data comes after the pasting application stopped waiting.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

#include "../support/TestHelpers.h"
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

// Right-clicks the hidden window's tray icon; a second thread picks from the menu with the keyboard
// while the menu's modal loop runs on the test's thread.
Opening RightClickAndPick(HWND hidden, Pick pick) {
    Opening seen;
    std::thread user([&] {
        HWND menuWindow = uitest::WaitForProcessWindow(L"#32768");
        if (!menuWindow) return;
        HMENU menu = reinterpret_cast<HMENU>(::SendMessageW(menuWindow, MN_GETHMENU, 0, 0));
        seen = {true, (::GetMenuState(menu, ID_TRAY_LOCK, MF_BYCOMMAND) & MF_CHECKED) != 0};
        for (int i = 0; i < int(pick); ++i) uitest::PostKey(menuWindow, VK_DOWN);
        uitest::PostKey(menuWindow, pick == Pick::Dismiss ? VK_ESCAPE : VK_RETURN);
    });
    ::SendMessageW(hidden, WM_TRAYNOTIFY, 1, WM_RBUTTONUP);
    user.join();
    return seen;
}

// A socket of the test's on the port of every local address; a stream socket listens.
UniqueSocket Bound(int type, USHORT port) {
    UniqueSocket socket(::socket(AF_INET, type, 0));
    const sockaddr_in at{AF_INET, ::htons(port), {}, {}};
    if (::bind(socket.Get(), reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0) socket.Reset();
    if (socket && type == SOCK_STREAM && ::listen(socket.Get(), 2) != 0) socket.Reset();
    return socket;
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
    void SetUp() override { ASSERT_TRUE(hidden.Create()); hidden.AddTrayIcon(); }
    CHiddenWnd hidden;
};

}  // namespace

// A start whose UDP or TCP port (4000, 4001 by default) another program holds tells the user and
// ends: no window, no tray icon, no network. The first copy that starts shows the lock when the
// settings say so, a second copy hands over to it and ends, and "Exit" shuts the server down.
TEST_F(AppTest, AStartWithItsPortTakenEndsAndASecondCopyHandsOverToTheRunningOne) {
    for (const auto& [type, port] : {std::pair{SOCK_DGRAM, 4000}, std::pair{SOCK_STREAM, 4001}}) {
        const UniqueSocket holder = Bound(type, USHORT(port));
        std::wstring shown;
        CMainApp app;
        uitest::WindowWatch user(L"#32770", [&](HWND box) {
            shown = uitest::TextOf(box), ::PostMessageW(::GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
        });
        EXPECT_FALSE(app.InitInstance()) << port;
        user.Stop();
        EXPECT_EQ(shown, L"Failed to initialize server") << port;
        EXPECT_FALSE(theServer.IsInitialized() || app.HiddenWnd().Hwnd() || app.HiddenWnd().TrayIcon().IsAdded()) << port;
    }
    theSettings.Locked = TRUE;
    CMainApp first;
    ASSERT_TRUE(first.InitInstance());
    EXPECT_EQ(first.HiddenWnd().TrayIcon().IconId(), UINT(IDI_PELKO_LOCKED));
    {
        CMainApp second;
        EXPECT_FALSE(second.InitInstance() || second.HiddenWnd().Hwnd() || second.HiddenWnd().TrayIcon().IsAdded());
    }
    ASSERT_TRUE(uitest::PumpUntil([&] { return first.HiddenWnd().MainWnd() != nullptr; }));
    EXPECT_TRUE(::IsWindowVisible(first.HiddenWnd().MainWnd()->Hwnd()));
    first.HiddenWnd().Exit();
    EXPECT_FALSE(theServer.IsInitialized() || first.HiddenWnd().TrayIcon().IsAdded() || first.HiddenWnd().Hwnd());
}

// What Windows' clipboard does to a render that outlasts its patience: the pasting side opens the
// clipboard, asks the owner to render, gives up and closes it. The data that a peer sends afterwards
// goes onto the clipboard all the same, the other promise stays, and the next paste needs no fetch.
// Then the tray menu: "Lock" locks, shown by the icon and the check mark; dismissing the menu
// changes nothing; "Open Main Window" opens one main window, which stays the only one and, while
// open, answers a right click on the icon instead of the menu; "Exit" ends it all.
TEST_F(TrayTest, DataThatArrivesAfterThePasteGaveUpIsKeptAndTheMenuLocksOpensOneMainWindowAndExits) {
    theSettings.UDPPort = 24540, theSettings.TCPPort = 24541;
    ASSERT_TRUE(theServer.Init());
    const UniqueSocket listener = Bound(SOCK_STREAM, 24542);
    theSettings.TCPPort = 24542;   // the client asks the test's peer; the server keeps its own port
    std::vector<uint8_t> block(6000);
    for (size_t i = 0; i < block.size(); ++i) block[i] = uint8_t(i * 7 + i / 256);
    TestEvent givenUp;
    std::thread peer([&] {   // reads the request whole, and answers it with the block once the paste gave up
        UniqueSocket connection(::accept(listener.Get(), nullptr, nullptr));
        uint8_t request[RequestBufferSize];
        CMessage header;
        for (int received = 0, got = 1; got > 0 && received < 24 + int(header.length); received += got) {
            got = ::recv(connection.Get(), reinterpret_cast<char*>(request) + received, int(sizeof request) - received, 0);
            if (received + got >= 24) header.Decode(request, 24);
        }
        if (!givenUp.Wait()) return;
        PrepareSendData(header, block.data(), uint32_t(block.size()));
        const auto bytes = header.Encode();
        ::send(connection.Get(), reinterpret_cast<const char*>(bytes.data()), int(bytes.size()), 0);
        ::send(connection.Get(), reinterpret_cast<const char*>(block.data()), int(block.size()), 0);
    });
    hidden.RemoteClipboard().PlaceRemoteFormats(hidden.Hwnd(), L"Pelko Late Block/CF_UNICODETEXT", INADDR_LOOPBACK);
    const UINT late = ::RegisterClipboardFormatW(L"Pelko Late Block");
    ASSERT_EQ(theServer.Pending().Ids(), (std::vector<UINT>{late, CF_UNICODETEXT}));
    bool timedOut = false;
    std::thread pasting([&] {
        if (uitest::PumpUntil([] { return ::OpenClipboard(nullptr) != FALSE; })) {
            timedOut = !::SendMessageTimeoutW(hidden.Hwnd(), WM_RENDERFORMAT, late, 0, SMTO_NORMAL, 200, nullptr) &&
                       ::GetLastError() == ERROR_TIMEOUT;
            ::CloseClipboard();
        }
        givenUp.Set();
    });
    ASSERT_TRUE(uitest::PumpUntil([] { return theServer.Pending().Count() == 1; }));   // the render runs in this pump
    pasting.join();
    peer.join();
    EXPECT_TRUE(timedOut && ::GetClipboardOwner() == hidden.Hwnd());
    EXPECT_EQ(theServer.Pending().Ids(), std::vector<UINT>{CF_UNICODETEXT});
    uitest::WindowWatch messages(L"#32770");   // a fetch now could only fail: the peer is gone
    ASSERT_TRUE(uitest::PumpUntil([] { return ::OpenClipboard(nullptr) != FALSE; }));
    EXPECT_TRUE(::IsClipboardFormatAvailable(CF_UNICODETEXT));
    EXPECT_EQ(testutil::BytesOf(::GetClipboardData(late)), block);
    ::CloseClipboard();
    EXPECT_EQ(messages.Stop(), 0);

    const Opening first = RightClickAndPick(hidden.Hwnd(), Pick::Lock);
    ASSERT_TRUE(first.opened && !first.lockChecked);
    EXPECT_TRUE(theSettings.Locked && hidden.TrayIcon().IconId() == IDI_PELKO_LOCKED);
    EXPECT_TRUE(RightClickAndPick(hidden.Hwnd(), Pick::Dismiss).lockChecked && theSettings.Locked && !hidden.MainWnd());
    ASSERT_TRUE(RightClickAndPick(hidden.Hwnd(), Pick::OpenMainWindow).opened && hidden.MainWnd());
    HWND main = hidden.MainWnd()->Hwnd();
    ::SetForegroundWindow(hidden.Hwnd());
    uitest::WindowWatch menus(L"#32768");
    ::SendMessageW(hidden.Hwnd(), WM_TRAYNOTIFY, 1, WM_RBUTTONUP);
    EXPECT_TRUE(!menus.Stop() && ::GetForegroundWindow() == main && !::FindWindowExW(nullptr, main, kMainWindowClass, nullptr));
    ::SendMessageW(::GetDlgItem(main, CMainWnd::kCloseButtonId), BM_CLICK, 0, 0);
    ASSERT_TRUE(uitest::PumpUntil([&] { return hidden.MainWnd() == nullptr; }));
    EXPECT_TRUE(!::FindWindowW(kMainWindowClass, nullptr) && ::IsWindow(hidden.Hwnd()));   // the program goes on in the tray
    EXPECT_TRUE(RightClickAndPick(hidden.Hwnd(), Pick::Exit).opened);
    EXPECT_FALSE(hidden.TrayIcon().IsAdded() || ::IsWindow(hidden.Hwnd()));
}
