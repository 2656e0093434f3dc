// The viewer chain under Wine: a window holding a CClipboardChain (as the hidden window does)
// among neighbour viewers that behave well or badly, the watchdog driven tick by tick, and the
// text form added to a file list copied without one.
#include <windows.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <regex>
#include <thread>

#include "clipboard/ClipboardChain.h"
#include "clipboard/LocalClipboardWork.h"
#include "framework/Window.h"
#include "settings/Settings.h"
#include "support/ClipboardContents.h"
#include "support/DebugOutputCapture.h"
#include "support/TestHelpers.h"

namespace {

// With a chain it stands in for the hidden window, whose handlers call the chain like these;
// without, it is another viewer that passes the chain's messages on, or swallows WM_DRAWCLIPBOARD.
class CViewer : public CWindow {
public:
    explicit CViewer(CClipboardChain* ownChain = nullptr) : chain(ownChain) {}
    bool Create(const wchar_t* title, bool swallowing = false) {
        swallows = swallowing;
        if (!RegisterWindowClass(L"Pelko Test Viewer", 0, nullptr, nullptr, nullptr) ||
            !CreateEx(WS_EX_TOOLWINDOW, L"Pelko Test Viewer", title, WS_POPUP, 0, 0, 0, 0, ::GetDesktopWindow()))
            return false;
        if (chain) chain->Join(Hwnd());
        else next = ::SetClipboardViewer(Hwnd());
        return true;
    }
    void LeaveChain() { ::ChangeClipboardChain(Hwnd(), next); }

    CClipboardChain* chain;
    bool swallows = false;
    HWND next = nullptr;
    int draws = 0;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_DRAWCLIPBOARD) {
            ++draws;
            if (chain) chain->OnDrawClipboard(Hwnd());
            else if (!swallows && ::IsWindow(next)) ::SendMessageW(next, message, wParam, lParam);
        } else if (message == WM_CHANGECBCHAIN) {
            if (chain) chain->OnChangeCBChain(Hwnd(), HWND(wParam), HWND(lParam));
            else if (HWND(wParam) == next) next = HWND(lParam);
            else if (next) ::SendMessageW(next, message, wParam, lParam);
        } else {
            return DefaultProc(message, wParam, lParam);
        }
        return 0;
    }
};

class ClipboardChainTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(::OleInitialize(nullptr)));
        theSettings.AddFilenameAsText = TRUE;
        ASSERT_EQ(::GetClipboardViewer(), nullptr);  // each test starts with an empty chain
    }
    void TearDown() override {
        // Out of the chain whatever state the test left it in, so no message runs round a loop.
        for (CViewer* viewer : {&own, &first, &second, &third}) {
            if (viewer->Hwnd()) ::ChangeClipboardChain(viewer->Hwnd(), nullptr);
            viewer->DestroyWindow();
        }
        ::OleUninitialize();
    }
    void Tick(int times = 1) {
        for (int i = 0; i < times; ++i) chain.OnTimer(own.Hwnd());
    }
    // The trace lines so far: each the text, then a time stamp like "Tuesday, March 05, 2024   07:08:09".
    std::vector<std::wstring> Traced() {
        static const std::wregex stamp(L"(.*)  [A-Z][a-z]+day, [A-Z][a-z]+ [0-3][0-9], [0-9]{4}   [0-2][0-9]:[0-5][0-9]:[0-6][0-9]");
        std::vector<std::wstring> texts;
        std::wsmatch parts;
        for (const auto& message : capture.Messages())
            texts.push_back(std::regex_match(message, parts, stamp) ? parts[1].str() : L"<no stamp> " + message);
        capture.Clear();
        return texts;
    }

    CClipboardChain chain;
    CViewer own{&chain}, first, second, third;
    DebugOutputCapture capture;
};

TEST_F(ClipboardChainTest, ViewersJoinInFrontAndThoseThatLeaveAreSplicedOut) {
    for (CViewer* viewer : {&third, &second, &first, &own}) ASSERT_TRUE(viewer->Create(L"Viewer"));
    EXPECT_EQ(::GetClipboardViewer(), own.Hwnd());
    EXPECT_TRUE(chain.InChain());  // SetClipboardViewer's own WM_DRAWCLIPBOARD came through
    EXPECT_EQ(chain.TimerId(), CClipboardChain::kTimerId);
    second.LeaveChain();  // own -> first -> third: passed on to the window in front of the leaver
    EXPECT_EQ(chain.NextViewer(), first.Hwnd());
    EXPECT_EQ(first.next, third.Hwnd());
    first.LeaveChain();  // own -> third
    EXPECT_EQ(chain.NextViewer(), third.Hwnd());
    const int before = third.draws;
    ::SendMessageW(own.Hwnd(), WM_DRAWCLIPBOARD, 0, 0);
    EXPECT_EQ(third.draws, before + 1);
    EXPECT_TRUE(Traced().empty());
}

TEST_F(ClipboardChainTest, BehindASwallowingNeighbourTheWatchdogRegistersAgainAtTheSeventeenthTick) {
    ASSERT_TRUE(own.Create(L"Own"));
    ASSERT_TRUE(first.Create(L"Swallower", true));
    Tick(16);
    EXPECT_EQ(::GetClipboardViewer(), first.Hwnd());
    Tick();
    EXPECT_EQ(::GetClipboardViewer(), own.Hwnd());
    EXPECT_EQ(chain.NextViewer(), first.Hwnd());
    EXPECT_EQ(first.draws, 1 + 17);  // its own joining, then one probe a tick
    wchar_t absent[200];  // one a tick, naming the viewer in front, then the registration
    _snwprintf(absent, 200, L"Pelko is not in the clipboard chain!  The first viewer is hWnd=%X; Name=[Swallower]",
               unsigned(UINT_PTR(first.Hwnd())));
    std::vector<std::wstring> expected(17, absent);
    expected.push_back(L"Pelko 16sec of abcense passed. ReRegistering");
    EXPECT_EQ(Traced(), expected);
    Tick();  // first again: nothing to say
    EXPECT_TRUE(Traced().empty());
}

TEST_F(ClipboardChainTest, AFileListCopiedWithoutTextGetsItsTextFormWhileTheSettingIsOn) {
    ASSERT_TRUE(own.Create(L"Own"));
    const ByteBlock drop = WriteDropFiles({u"C:\\pelko\\one.txt", u"C:\\pelko\\two.txt"});
    const std::wstring both = L"C:\\pelko\\one.txt\r\nC:\\pelko\\two.txt\r\n";
    // Last: a peer's read has the clipboard open when the copy is noticed; it steps aside for
    // the user's own work, which waits for it.
    const struct { BOOL setting; bool withText; std::wstring text; bool peerReading = false; } rows[] = {
        {TRUE, false, both}, {FALSE, false, L"<none>"}, {TRUE, true, L"carried"}, {TRUE, false, both, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.setting << row.withText << row.peerReading);
        theSettings.AddFilenameAsText = row.setting && !row.peerReading;
        const int before = own.draws;
        std::vector<std::pair<UINT, ByteBlock>> formats = {{CF_HDROP, drop}};
        if (row.withText) formats.emplace_back(CF_UNICODETEXT, CClipboardContents::Text(L"carried"));
        CClipboardContents contents(formats);
        ASSERT_TRUE(contents.filled);
        if (row.peerReading) {   // the copy was noticed with the setting off; now the peer reads
            ASSERT_TRUE(uitest::PumpUntil([&] { return own.draws > before; }));
            theSettings.AddFilenameAsText = TRUE;
            TestEvent open;
            std::thread peer([&open] {
                if (!uitest::PumpUntil([] { return ::OpenClipboard(nullptr) != FALSE; })) return;
                open.Set();
                for (int i = 0; i < 3000 && !IsLocalClipboardWorkPending(); ++i) ::Sleep(10);
                ::CloseClipboard();
            });
            EXPECT_TRUE(open.Wait());
            ::SendMessageW(own.Hwnd(), WM_DRAWCLIPBOARD, 0, 0);
            peer.join();
        }
        // The copy's notification, and with the setting on the text there or added.
        ASSERT_TRUE(uitest::PumpUntil([&] { return own.draws > before && (!row.setting || ::IsClipboardFormatAvailable(CF_UNICODETEXT)); }));
        ASSERT_TRUE(::OpenClipboard(nullptr));
        const HANDLE text = ::GetClipboardData(CF_UNICODETEXT);
        EXPECT_EQ(text ? testutil::WideTextOf(text) : L"<none>", row.text);
        ::CloseClipboard();
    }
}

}  // namespace
