// The main window's pages driven by the window messages that the user's clicks and typing send.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "../support/RegistryHelpers.h"
#include "../support/TestHelpers.h"
#include "protocol/Server.h"
#include "protocol/WhoMessage.h"
#include "settings/Settings.h"
#include "skin/Skin.h"
#include "ui/MainWnd.h"
#include "ui/MessageDlg.h"
#include "ui/UiMessages.h"

namespace {

struct MainWindowTest : ::testing::Test {
    void SetUp() override {
        theSkin.Setup(ModuleInstance(), RGB(0x20, 0x42, 0x34));
        theSettings.ShowFriendsOnly = TRUE;
        theServer.HostTable().AddHost(1, L"ALPHA"), theServer.HostTable().AddHost(2, L"BETA");
        theServer.HostTable().SetFriend(2, TRUE);
        ASSERT_TRUE(wnd.Create());
        wnd.SetOnTakeClipboard([this](DWORD a) { taken.push_back(a); });
        uitest::PumpUntil([] { return true; });   // what creating the window posted
    }
    void TearDown() override {
        wnd.DestroyWindow();
        theServer.HostTable().RemoveAll();
        testreg::DeleteTree(HKEY_LOCAL_MACHINE, L"Software\\Pelko");   // what leaving the options page saved
    }
    CHostList& Friends() { return static_cast<CFriendsPage&>(wnd.Page(0)).List(); }
    CMainWnd wnd;
    std::vector<DWORD> taken;
};

// A double click on a friend takes its clipboard; every surface paints with the skin's colours
// (pixels at known points of a memory bitmap); the Remote Hosts page asks the network who is there
// each time it shows; the Friends page follows the setting and the host messages; the Options page
// stores its edits.
TEST_F(MainWindowTest, PagesFollowTheUserTheNetworkAndTheSettings) {
    ASSERT_EQ(Friends().Count(), 1);   // friends only: BETA
    ::SendMessageW(Friends().Hwnd(), LB_SETCURSEL, 0, 0);
    ::SendMessageW(wnd.Page(0).Hwnd(), WM_COMMAND, MAKEWPARAM(1, LBN_DBLCLK), LPARAM(Friends().Hwnd()));
    EXPECT_EQ(taken, std::vector<DWORD>{2});
    EXPECT_FALSE(Friends().IsEditing() || Friends().PendingRename() != -1);   // and opens no editor
    const CMessageDlg box(nullptr);
    const COLORREF base = theSkin.BaseColor, paper = theSkin.PaperColor;
    const auto of = [](const auto& surface) { return [&surface](HDC dc, const RECT& r) { surface.Paint(dc, r); }; };
    const struct { const char* what; std::function<void(HDC, const RECT&)> paint; POINT at; COLORREF expected; } surfaces[] = {
        {"main window margin", of(wnd), {5, 40}, base},        {"main window tab panel", of(wnd), {60, 285}, paper},
        {"selected friend", of(Friends()), {150, 9}, base},    {"host list below the entries", of(Friends()), {150, 100}, paper},
        {"message box title strip", of(box), {100, 10}, base}, {"message box panel", of(box), {100, 100}, paper}};
    UniqueDc dc(::CreateCompatibleDC(nullptr));
    WindowDcGuard screen(nullptr);
    UniqueBitmap bitmap(::CreateCompatibleBitmap(screen.Get(), 500, 300));
    SelectGuard select(dc.Get(), bitmap.Get());
    for (const auto& row : surfaces) {
        ::PatBlt(dc.Get(), 0, 0, 500, 300, WHITENESS);
        row.paint(dc.Get(), RECT{0, 0, 500, 300});
        EXPECT_EQ(::GetPixel(dc.Get(), row.at.x, row.at.y), row.expected) << row.what;
    }
    theSettings.UDPPort = 24550;   // a listener there hears the Remote Hosts page's query (waiting 10 s at most)
    UniqueSocket ear(::socket(AF_INET, SOCK_DGRAM, 0));
    const sockaddr_in at{AF_INET, ::htons(24550), {}, {}};
    const DWORD patience = 10000;
    char query[WhoMessageSize + 1];
    ASSERT_EQ(::bind(ear.Get(), reinterpret_cast<const sockaddr*>(&at), sizeof at), 0);
    ::setsockopt(ear.Get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&patience), sizeof patience);
    ::SendMessageW(wnd.Hwnd(), WM_COMMAND, 2, 0);
    EXPECT_EQ(::recv(ear.Get(), query, sizeof query, 0), int(WhoMessageSize));
    theSettings.ShowFriendsOnly = FALSE;
    theServer.HostTable().AddHost(3, L"GAMMA");
    ::SendMessageW(wnd.Hwnd(), WM_COMMAND, 1, 0);   // a fresh show lists every host
    EXPECT_EQ(Friends().Count(), 3);
    ::SendMessageW(wnd.Hwnd(), WM_HOSTREMOVED, 3, 0);
    EXPECT_EQ(Friends().FindEntry(3), -1);
    theServer.HostTable().SetFriend(2, FALSE);   // no friend any more: off the page, whatever the setting
    ::SendMessageW(wnd.Hwnd(), WM_HOSTCHANGED, 2, FALSE);
    EXPECT_EQ(Friends().FindEntry(2), -1);
    // The Options page's edits are stored as _wtoi reads them when it is left, ports beyond 65535 too.
    using E = COptionsPage::Edit;
    const struct { E edit; Relaxed<DWORD> CSettings::*setting; const wchar_t* text; DWORD expected; } rows[] = {
        {E::UdpPort, &CSettings::UDPPort, L"", 0},          {E::UdpPort, &CSettings::UDPPort, L"70000", 70000},
        {E::TcpPort, &CSettings::TCPPort, L"12ab", 12},     {E::Timeout, &CSettings::Timeout, L"1234567890", 1234567890}};
    for (const auto& row : rows) {
        ::SendMessageW(wnd.Hwnd(), WM_COMMAND, 3, 0);
        ::SetWindowTextW(static_cast<COptionsPage&>(wnd.Page(2)).EditHwnd(row.edit), row.text);
        ::SendMessageW(wnd.Hwnd(), WM_COMMAND, 4, 0);
        EXPECT_EQ(DWORD(theSettings.*row.setting), row.expected) << row.text;
    }
}

// A rename is refused with a message, and the nick stays, when it is empty or another host's.
// The window closed while the first message shows waits for the box (the page goes on after it).
TEST_F(MainWindowTest, RenamingAFriendRefusesAnEmptyOrTakenNick) {
    const struct { const wchar_t* nick; const wchar_t* message; LRESULT result; const wchar_t* stored; } rows[] = {
        {L"", L"Nick name must have at least one character length.", 0, L"BETA"},
        {L"alpha", L"Please enter an unique nick name.", 0, L"BETA"},
        {L"Bee", L"", 1, L"Bee"}};
    bool stayedUnderTheBox = false;
    for (const auto& row : rows) {
        std::wstring shown;
        uitest::WindowWatch user(L"#32770", [&](HWND box) {
            shown = uitest::TextOf(box);
            if (!*row.nick) ::SendMessageW(wnd.Hwnd(), WM_CLOSE, 0, 0), stayedUnderTheBox = ::IsWindow(wnd.Hwnd());
            ::PostMessageW(::GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
        });
        EXPECT_EQ(::SendMessageW(wnd.Page(0).Hwnd(), WM_LISTEDITDONE, 0, LPARAM(row.nick)), row.result) << row.nick;
        user.Stop();
        EXPECT_EQ(shown, row.message) << row.nick;
        HostInfo host;
        EXPECT_TRUE(theServer.HostTable().GetHost(2, host) && host.Nick == row.stored) << row.nick;
    }
    EXPECT_TRUE(stayedUnderTheBox);
    EXPECT_TRUE(uitest::PumpUntil([&] { return wnd.Hwnd() == nullptr; }));
}

}  // namespace
