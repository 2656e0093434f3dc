// The viewer chain under Wine: a window holding a CClipboardChain (as the hidden window does)
// among neighbour viewers that behave well or badly, the watchdog driven tick by tick, and the
// text form added to a file list copied without one.
#include <windows.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <regex>

#include "ClipboardContents.h"
#include "clipboard/ClipboardChain.h"
#include "framework/Window.h"
#include "settings/Settings.h"
#include "support/DebugOutputCapture.h"
#include "support/TestHelpers.h"

namespace {

// With a chain it stands in for the hidden window, whose handlers call the chain like these;
// without, it is another viewer that passes the chain's messages on, or swallows WM_DRAWCLIPBOARD.
class CViewer : public CWindow {
public:
    explicit CViewer(CClipboardChain* ownChain = nullptr) : chain(ownChain) {}
    bool Create(const wchar_t* title) {
        if (!RegisterWindowClass(L"Pelko Chain Test Viewer", 0, nullptr, nullptr, nullptr) ||
            !CreateEx(WS_EX_TOOLWINDOW, L"Pelko Chain Test Viewer", title, WS_POPUP, 0, 0, 0, 0, ::GetDesktopWindow()))
            return false;
        if (chain) chain->Join(Hwnd());
        else next = ::SetClipboardViewer(Hwnd());
        return true;
    }
    void LeaveChain() { ::ChangeClipboardChain(Hwnd(), next); }

    CClipboardChain* chain;
    bool swallows = false;
    HWND next = nullptr;
    int draws = 0, changes = 0;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_DRAWCLIPBOARD) {
            ++draws;
            if (chain) chain->OnDrawClipboard(Hwnd());
            else if (!swallows && ::IsWindow(next)) ::SendMessageW(next, message, wParam, lParam);
            return 0;
        }
        if (message != WM_CHANGECBCHAIN) return DefaultProc(message, wParam, lParam);
        ++changes;
        if (chain) chain->OnChangeCBChain(Hwnd(), HWND(wParam), HWND(lParam));
        else if (HWND(wParam) == next) next = HWND(lParam);
        else if (next) ::SendMessageW(next, message, wParam, lParam);
        return 0;
    }
};

// A trace line: the text, then a time stamp like "Tuesday, March 05, 2024   07:08:09".
bool IsTraced(const std::wstring& message, const std::wstring& text) {
    static const std::wregex stamp(L"[A-Z][a-z]+day, [A-Z][a-z]+ [0-3][0-9], [0-9]{4}   [0-2][0-9]:[0-5][0-9]:[0-6][0-9]");
    return message.compare(0, text.size(), text) == 0 && std::regex_match(message.substr(text.size()), stamp);
}

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

    CClipboardChain chain;
    CViewer own{&chain}, first, second, third;
};

TEST(WatchdogTime, IsWeekdayMonthDayYearAndTheTimeOnA24HourClock) {
    EXPECT_EQ(FormatWatchdogTime({2024, 3, 2, 5, 7, 8, 9, 0}), L"Tuesday, March 05, 2024   07:08:09");
    EXPECT_EQ(FormatWatchdogTime({1999, 12, 5, 31, 23, 59, 58, 999}), L"Friday, December 31, 1999   23:59:58");
}

TEST_F(ClipboardChainTest, JoiningPutsTheWindowFirstAndBeingRemovedIsTraced) {
    ASSERT_TRUE(own.Create(L"Own"));
    EXPECT_EQ(::GetClipboardViewer(), own.Hwnd());
    EXPECT_EQ(chain.NextViewer(), nullptr);
    EXPECT_TRUE(chain.InChain());  // SetClipboardViewer's own WM_DRAWCLIPBOARD came through
    EXPECT_EQ(chain.TimerId(), CClipboardChain::kTimerId);
    ASSERT_TRUE(second.Create(L"Later viewer"));
    EXPECT_EQ(second.next, own.Hwnd());

    DebugOutputCapture capture;
    ::SendMessageW(own.Hwnd(), WM_CHANGECBCHAIN, WPARAM(own.Hwnd()), 0);
    ASSERT_EQ(capture.Messages().size(), 1u);
    EXPECT_TRUE(IsTraced(capture.Messages()[0], L"Pelko is being removed from the clipboard chain(WM_CHANGECBCHAIN)!  "));
}

TEST_F(ClipboardChainTest, NeighboursThatLeaveCorrectlyAreSplicedOutWithoutATraceLine) {
    for (CViewer* viewer : {&third, &second, &first, &own}) ASSERT_TRUE(viewer->Create(L"Neighbour"));
    DebugOutputCapture capture;
    second.LeaveChain();  // own -> first -> third: passed on to the window in front of the leaver
    EXPECT_EQ(chain.NextViewer(), first.Hwnd());
    EXPECT_EQ(first.next, third.Hwnd());
    first.LeaveChain();  // own -> third
    EXPECT_EQ(chain.NextViewer(), third.Hwnd());
    EXPECT_EQ(third.changes, 0);
    Tick();
    EXPECT_EQ(chain.AbsenceCount(), 0);
    EXPECT_TRUE(capture.Lines().empty());
    const int before = third.draws;
    ::SendMessageW(own.Hwnd(), WM_DRAWCLIPBOARD, 0, 0);
    EXPECT_EQ(third.draws, before + 1);
}

TEST_F(ClipboardChainTest, BehindASwallowingNeighbourTheWatchdogRegistersAgainAtTheSeventeenthTick) {
    ASSERT_TRUE(own.Create(L"Own"));
    first.swallows = true;
    ASSERT_TRUE(first.Create(L"Swallower"));
    DebugOutputCapture capture;
    Tick(16);
    EXPECT_EQ(chain.AbsenceCount(), 16);
    EXPECT_EQ(::GetClipboardViewer(), first.Hwnd());
    Tick();
    EXPECT_EQ(::GetClipboardViewer(), own.Hwnd());
    EXPECT_EQ(chain.AbsenceCount(), 0);
    EXPECT_EQ(chain.NextViewer(), first.Hwnd());
    EXPECT_EQ(first.draws, 1 + 17);  // its own joining, then one probe a tick

    const auto messages = capture.Messages();
    ASSERT_EQ(messages.size(), 18u);
    wchar_t absent[200];
    _snwprintf(absent, 200, L"Pelko is not in the clipboard chain!  The first viewer is hWnd=%X; Name=[Swallower]  ",
               unsigned(UINT_PTR(first.Hwnd())));
    for (int i = 0; i < 17; ++i) EXPECT_TRUE(IsTraced(messages[i], absent)) << i;
    EXPECT_TRUE(IsTraced(messages[17], L"Pelko 16sec of abcense passed. ReRegistering  "));
    capture.Clear();
    Tick();  // first again: nothing to say
    EXPECT_TRUE(capture.Lines().empty());
}

TEST_F(ClipboardChainTest, WithNoViewerTicksCountButOnlyAForeignFirstViewerMakesItRegister) {
    ASSERT_TRUE(own.Create(L"Own"));
    ::ChangeClipboardChain(own.Hwnd(), nullptr);
    DebugOutputCapture capture;
    Tick(20);
    EXPECT_EQ(chain.AbsenceCount(), 20);
    EXPECT_EQ(::GetClipboardViewer(), nullptr);
    ASSERT_EQ(capture.Messages().size(), 20u);
    EXPECT_TRUE(IsTraced(capture.Messages()[19], L"Pelko is not in the clipboard chain! No viewer exists at all!  "));

    first.swallows = true;
    ASSERT_TRUE(first.Create(L"Swallower"));
    capture.Clear();
    Tick();  // past the limit already: registers at once
    EXPECT_EQ(::GetClipboardViewer(), own.Hwnd());
    ASSERT_EQ(capture.Messages().size(), 2u);
    EXPECT_TRUE(IsTraced(capture.Messages()[1], L"Pelko 16sec of abcense passed. ReRegistering  "));
}

TEST_F(ClipboardChainTest, AnAbsenceEndsWhenTheProbeReachesTheWindowOrItIsFirstAgain) {
    ASSERT_TRUE(own.Create(L"Own"));
    ASSERT_TRUE(first.Create(L"Moody"));
    for (const bool leaves : {false, true}) {
        SCOPED_TRACE(leaves ? "the swallower leaves" : "the swallower mends its ways");
        first.swallows = true;
        Tick(3);
        ASSERT_EQ(chain.AbsenceCount(), 3);
        first.swallows = false;
        if (leaves) first.LeaveChain();
        DebugOutputCapture capture;
        Tick();
        EXPECT_EQ(chain.AbsenceCount(), 0);
        EXPECT_EQ(::GetClipboardViewer(), leaves ? own.Hwnd() : first.Hwnd());  // no registration needed
        ASSERT_EQ(capture.Messages().size(), 1u);
        EXPECT_TRUE(IsTraced(capture.Messages()[0], leaves ? L"Pelko APPEARED AGAIN (as first)in the clipboard chain!  "
                                                           : L"Pelko APPEARED AGAIN in the clipboard chain!  "));
    }
}

std::wstring ClipboardText() {
    if (!::OpenClipboard(nullptr)) return L"<clipboard could not be opened>";
    const HANDLE block = ::GetClipboardData(CF_UNICODETEXT);
    const std::wstring text = block ? testutil::WideTextOf(block) : L"<no text>";
    ::CloseClipboard();
    return text;
}

TEST_F(ClipboardChainTest, AFileListCopiedWithoutTextGetsItsTextFormWhileTheSettingIsOn) {
    ASSERT_TRUE(own.Create(L"Own"));
    const ByteBlock drop = WriteDropFiles({u"C:\\pelko\\one.txt", u"C:\\pelko\\two.txt"});
    const struct { const char* name; BOOL setting; bool withText; std::wstring text; } rows[] = {
        {"added", TRUE, false, L"C:\\pelko\\one.txt\r\nC:\\pelko\\two.txt\r\n"},
        {"setting off", FALSE, false, L"<no text>"},
        {"text carried", TRUE, true, L"already here"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        theSettings.AddFilenameAsText = row.setting;
        const int before = own.draws;
        std::vector<std::pair<UINT, ByteBlock>> formats = {{CF_HDROP, drop}};
        if (row.withText) formats.emplace_back(CF_UNICODETEXT, CClipboardContents::Text(L"already here"));
        CClipboardContents contents(formats);
        ASSERT_TRUE(contents.filled);
        ASSERT_TRUE(uitest::PumpUntil([&] { return own.draws > before; }));
        ASSERT_TRUE(uitest::PumpUntil([&] { return ::IsClipboardFormatAvailable(CF_UNICODETEXT) || !row.setting; }));
        EXPECT_EQ(ClipboardText(), row.text);
        EXPECT_TRUE(::IsClipboardFormatAvailable(CF_HDROP));
    }
}

}  // namespace
