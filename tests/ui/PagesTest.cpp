// The main window's pages driven by the window messages that the user's clicks and typing send.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "../support/RegistryHelpers.h"
#include "../support/UiWait.h"
#include "framework/Window.h"
#include "protocol/Server.h"
#include "settings/Settings.h"
#include "skin/Skin.h"
#include "ui/MainWnd.h"
#include "ui/MessageDlg.h"
#include "ui/Progressor.h"
#include "ui/UiMessages.h"

namespace {

struct MainWindowTest : ::testing::Test {
    void SetUp() override {
        theSkin.Setup(ModuleInstance(), RGB(0x20, 0x42, 0x34));
        theSettings.ShowFriendsOnly = TRUE;
        Hosts& hosts = theServer.HostTable();
        hosts.AddHost(1, L"ALPHA");
        hosts.AddHost(2, L"BETA");
        hosts.SetFriend(2, TRUE);
        ASSERT_TRUE(wnd.Create());
        wnd.SetOnTakeClipboard([this](DWORD a) { taken.push_back(a); });
        uitest::PumpUntil([] { return true; });   // what creating the window posted
    }
    void TearDown() override {
        wnd.DestroyWindow();
        theServer.HostTable().RemoveAll();
        // Leaving the options page saves the settings: later tests start from an empty registry.
        testreg::DeleteTree(HKEY_LOCAL_MACHINE, L"Software\\Pelko");
    }
    CHostList& Friends() { return static_cast<CFriendsPage&>(wnd.Page(0)).List(); }
    CMainWnd wnd;
    std::vector<DWORD> taken;
};

TEST_F(MainWindowTest, FriendsPageFollowsTheSettingAndHostMessagesOnlyWhileCurrent) {
    ASSERT_EQ(Friends().Count(), 1);   // friends only: BETA
    EXPECT_EQ(Friends().GetEntryAddress(0), 2u);
    ::SendMessageW(wnd.Hwnd(), WM_COMMAND, 4, 0);   // About: host messages go nowhere
    theServer.HostTable().SetFriend(1, TRUE);
    ::SendMessageW(wnd.Hwnd(), WM_HOSTCHANGED, 1, TRUE);
    EXPECT_EQ(Friends().Count(), 1);
    theSettings.ShowFriendsOnly = FALSE;
    theServer.HostTable().SetFriend(1, FALSE);
    theServer.HostTable().AddHost(3, L"GAMMA");
    ::SendMessageW(wnd.Hwnd(), WM_COMMAND, 1, 0);   // a fresh show lists every host
    EXPECT_EQ(Friends().Count(), 3);
    ::SendMessageW(wnd.Hwnd(), WM_HOSTREMOVED, 3, 0);
    EXPECT_EQ(Friends().FindEntry(3), -1);
    theServer.HostTable().SetFriend(2, FALSE);   // no friend any more: off the page, whatever the setting
    ::SendMessageW(wnd.Hwnd(), WM_HOSTCHANGED, 2, FALSE);
    EXPECT_EQ(Friends().FindEntry(2), -1);
}

TEST_F(MainWindowTest, DoubleClickTakesTheSelectedHostsClipboardAndOpensNoEditor) {
    ::SendMessageW(Friends().Hwnd(), LB_SETCURSEL, 0, 0);
    ::SendMessageW(wnd.Page(0).Hwnd(), WM_COMMAND, MAKEWPARAM(1, LBN_DBLCLK), LPARAM(Friends().Hwnd()));
    EXPECT_EQ(taken, std::vector<DWORD>{2});
    EXPECT_FALSE(Friends().IsEditing() || Friends().PendingRename() != -1);
}

// What the edits hold is stored as _wtoi reads it when the page is left, ports beyond 65535 too
// (the server refuses them at its next start).
TEST_F(MainWindowTest, OptionsEditsStoreWhatTheyHoldWhenLeft) {
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
        {L"Bee", L"", 1, L"Bee"},
    };
    bool stayedUnderTheBox = false;
    for (const auto& row : rows) {
        std::wstring shown;
        std::atomic<bool> stop{false};
        std::thread user([&] {
            if (HWND box = uitest::WaitForProcessWindow(L"#32770", &stop)) {
                shown = uitest::TextOf(box);
                if (!*row.nick) ::SendMessageW(wnd.Hwnd(), WM_CLOSE, 0, 0), stayedUnderTheBox = ::IsWindow(wnd.Hwnd());
                ::PostMessageW(::GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
            }
        });
        const LRESULT result = ::SendMessageW(wnd.Page(0).Hwnd(), WM_LISTEDITDONE, 0, LPARAM(row.nick));
        stop = true;
        user.join();
        EXPECT_EQ(shown, row.message) << row.nick;
        EXPECT_EQ(result, row.result) << row.nick;
        HostInfo host;
        ASSERT_TRUE(theServer.HostTable().GetHost(2, host));
        EXPECT_EQ(host.Nick, row.stored) << row.nick;
    }
    EXPECT_TRUE(stayedUnderTheBox);
    EXPECT_TRUE(uitest::PumpUntil([&] { return wnd.Hwnd() == nullptr; }));
}

// Every surface paints with the skin's colours: pixels at known points of a memory bitmap.
TEST_F(MainWindowTest, SurfacesPaintWithTheSkin) {
    ::SendMessageW(Friends().Hwnd(), LB_SETCURSEL, 0, 0);   // BETA, selected
    const CMessageDlg box(nullptr);
    const CProgressWnd progress;
    CProgressBar bar;
    bar.SetRange(100);
    bar.SetPosition(50);
    const COLORREF base = theSkin.BaseColor, paper = theSkin.PaperColor;
    using Paint = std::function<void(HDC, const RECT&)>;
    const struct { const char* what; Paint paint; POINT at; COLORREF expected; } rows[] = {
        {"main window margin", [&](HDC dc, const RECT& r) { wnd.Paint(dc, r); }, {5, 40}, base},
        {"main window tab panel", [&](HDC dc, const RECT& r) { wnd.Paint(dc, r); }, {60, 285}, paper},
        {"selected friend", [&](HDC dc, const RECT& r) { Friends().Paint(dc, r); }, {150, 9}, base},
        {"host list below the entries", [&](HDC dc, const RECT& r) { Friends().Paint(dc, r); }, {150, 100}, paper},
        {"message box title strip", [&](HDC dc, const RECT& r) { box.Paint(dc, r); }, {100, 10}, base},
        {"message box panel", [&](HDC dc, const RECT& r) { box.Paint(dc, r); }, {100, 100}, paper},
        {"progress window", [&](HDC dc, const RECT& r) { progress.Paint(dc, r); }, {5, 50}, base},
        {"progress bar, done half", [&](HDC dc, const RECT&) { bar.Paint(dc, RECT{0, 0, 200, 20}); }, {20, 12}, RGB(90, 90, 90)},
        {"progress bar, half to do", [&](HDC dc, const RECT&) { bar.Paint(dc, RECT{0, 0, 200, 20}); }, {150, 12}, paper},
    };
    UniqueDc dc(::CreateCompatibleDC(nullptr));
    WindowDcGuard screen(nullptr);
    UniqueBitmap bitmap(::CreateCompatibleBitmap(screen.Get(), 500, 300));
    SelectGuard select(dc.Get(), bitmap.Get());
    for (const auto& row : rows) {
        ::PatBlt(dc.Get(), 0, 0, 500, 300, WHITENESS);
        row.paint(dc.Get(), RECT{0, 0, 500, 300});
        EXPECT_EQ(::GetPixel(dc.Get(), row.at.x, row.at.y), row.expected) << row.what;
    }
}

}  // namespace
