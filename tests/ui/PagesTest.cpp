// The main window and its pages driven by window messages, and the skin's colours read at known
// pixels of Paint on a memory bitmap.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "../support/RegistryHelpers.h"
#include "app/WindowMessages.h"
#include "framework/Handles.h"
#include "framework/Window.h"
#include "protocol/Server.h"
#include "settings/Settings.h"
#include "skin/Skin.h"
#include "ui/MainWnd.h"

namespace {

void Pump() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
}

RECT ChildRect(HWND child) {
    RECT r{};
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(nullptr, ::GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

struct MainWindowTest : ::testing::Test {
    void SetUp() override {
        theSkin.Setup(ModuleInstance(), RGB(0x20, 0x42, 0x34));
        theSettings.ShowFriendsOnly = TRUE;
        Hosts& hosts = theServer.HostTable();
        hosts.RemoveAll();
        hosts.AddHost(1, L"ALPHA");
        hosts.AddHost(2, L"BETA");
        hosts.SetFriend(2, TRUE);
        ASSERT_TRUE(wnd.Create());
        wnd.SetOnTakeClipboard([this](DWORD a) { taken.push_back(a); });
        Pump();
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

TEST_F(MainWindowTest, TabsAndPagesSitAtTheirPlacesWithFriendsCurrent) {
    const RECT tabs[] = {{18, 50, 118, 80}, {18, 102, 118, 132}, {18, 154, 118, 184}, {18, 206, 118, 236}};
    for (int i = 0; i < 4; ++i) {
        const RECT tab = ChildRect(wnd.TabButton(i));
        EXPECT_TRUE(::EqualRect(&tabs[i], &tab)) << i;
        EXPECT_EQ(::GetDlgCtrlID(wnd.TabButton(i)), i + 1);
        const RECT page{145, 45, 480, 280};
        const RECT at = ChildRect(wnd.Page(i).Hwnd());
        EXPECT_TRUE(::EqualRect(&page, &at)) << i;
        EXPECT_EQ(::GetDlgCtrlID(wnd.Page(i).Hwnd()), i + 5);
        EXPECT_EQ((::GetWindowLongW(wnd.Page(i).Hwnd(), GWL_STYLE) & WS_VISIBLE) != 0, i == 0) << i;
    }
    EXPECT_EQ(wnd.CurrentPage(), 0);
    EXPECT_EQ(::SendMessageW(wnd.Hwnd(), WM_NCHITTEST, 0, MAKELPARAM(300, 150)), HTCAPTION);
}

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
}

TEST_F(MainWindowTest, DoubleClickTakesTheSelectedHostsClipboardAndOpensNoEditor) {
    ::SendMessageW(Friends().Hwnd(), LB_SETCURSEL, 0, 0);
    ::SendMessageW(wnd.Page(0).Hwnd(), WM_COMMAND, MAKEWPARAM(1, LBN_DBLCLK),
                   reinterpret_cast<LPARAM>(Friends().Hwnd()));
    EXPECT_EQ(taken, std::vector<DWORD>{2});
    EXPECT_EQ(Friends().PendingRename(), -1);
    EXPECT_FALSE(Friends().IsEditing());
}

TEST_F(MainWindowTest, RemoteHostsCheckMakesAFriend) {
    ::SendMessageW(wnd.Hwnd(), WM_COMMAND, 2, 0);
    CHostList& list = static_cast<CRemoteHostsPage&>(wnd.Page(1)).List();
    ASSERT_EQ(list.Count(), 2);
    const int alpha = list.FindEntry(1);
    RECT item{};
    ::SendMessageW(list.Hwnd(), LB_GETITEMRECT, alpha, reinterpret_cast<LPARAM>(&item));
    ::SendMessageW(list.Hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(item.left + 30, item.top + 5));
    ::SendMessageW(list.Hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(item.left + 30, item.top + 5));
    HostInfo host;
    ASSERT_TRUE(theServer.HostTable().GetHost(1, host));
    EXPECT_TRUE(host.Friend);
    EXPECT_TRUE(list.GetEntryCheck(alpha));
}

TEST_F(MainWindowTest, OptionsEditsStoreWhatTheyAllowWhenLeft) {
    struct Row { const wchar_t* text; DWORD expected; };
    const Row rows[] = {{L"", 0}, {L"4500", 4500}, {L"70000", 4500}};
    for (const Row& row : rows) {
        ::SendMessageW(wnd.Hwnd(), WM_COMMAND, 3, 0);
        auto& options = static_cast<COptionsPage&>(wnd.Page(2));
        ::SetWindowTextW(options.EditHwnd(COptionsPage::UdpPort), row.text);
        ::SendMessageW(wnd.Hwnd(), WM_COMMAND, 4, 0);
        EXPECT_EQ(theSettings.UDPPort, row.expected) << row.text;
    }
}

COLORREF PixelOf(const std::function<void(HDC, const RECT&)>& paint, POINT at) {
    UniqueDc dc(::CreateCompatibleDC(nullptr));
    WindowDcGuard screen(nullptr);
    UniqueBitmap bitmap(::CreateCompatibleBitmap(screen.Get(), 500, 300));
    SelectGuard selected(dc.Get(), bitmap.Get());
    paint(dc.Get(), RECT{0, 0, 500, 300});
    return ::GetPixel(dc.Get(), at.x, at.y);
}

TEST(SkinPaint, MainWindowPaintsInTheBaseColourAndPaper) {
    for (COLORREF base : {RGB(0x20, 0x42, 0x34), RGB(0x30, 0x40, 0x90)}) {
        theSkin.Setup(ModuleInstance(), base);
        CMainWnd wnd;
        const auto paint = [&](HDC dc, const RECT& r) { wnd.Paint(dc, r); };
        EXPECT_EQ(PixelOf(paint, {300, 150}), theSkin.BaseColor);
        EXPECT_EQ(PixelOf(paint, {60, 280}), theSkin.PaperColor);
        EXPECT_EQ(PixelOf(paint, {8, 28}), theSkin.BaseShadesA.Colors[0]);   // the panel's frame
    }
}

}  // namespace
