// The viewer chain under Wine: a window holding a CClipboardChain (as the hidden window does)
// among neighbour viewers that behave well or badly, the watchdog driven tick by tick, and the
// text form added to a file list that another process copies.
#include <windows.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <regex>

#include "ClipOwnerProcess.h"
#include "clipboard/ClipboardChain.h"
#include "framework/Window.h"
#include "settings/Settings.h"
#include "support/DebugOutputCapture.h"
#include "support/TestHelpers.h"

namespace {

constexpr wchar_t kChainClass[] = L"Pelko Chain Test Window";
constexpr wchar_t kNeighbourClass[] = L"Pelko Chain Neighbour";

// Stands in for the hidden window: its chain handlers are the ones the hidden window calls.
class CChainWindow : public CWindow {
public:
    bool Create() {
        return RegisterWindowClass(kChainClass, CS_DBLCLKS, nullptr, nullptr, nullptr) &&
               CreateEx(WS_EX_TOOLWINDOW, kChainClass, L"", WS_POPUP, 0, 0, 0, 0, ::GetDesktopWindow());
    }
    void Destroy() {
        if (!Hwnd()) return;
        chain.Leave(Hwnd());
        DestroyWindow();
    }
    CClipboardChain chain;
    int draws = 0;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        switch (message) {
        case WM_CREATE:
            if (DefaultProc(message, wParam, lParam) == -1) return -1;
            chain.Join(Hwnd());
            return 0;
        case WM_DRAWCLIPBOARD:
            chain.OnDrawClipboard(Hwnd());
            ++draws;
            return 0;
        case WM_CHANGECBCHAIN:
            chain.OnChangeCBChain(Hwnd(), reinterpret_cast<HWND>(wParam), reinterpret_cast<HWND>(lParam));
            return 0;
        case WM_TIMER:
            chain.OnTimer(Hwnd());
            return DefaultProc(message, wParam, lParam);
        default:
            return DefaultProc(message, wParam, lParam);
        }
    }
};

// Another viewer: passes the chain's messages on, or swallows WM_DRAWCLIPBOARD.
class CNeighbour : public CWindow {
public:
    bool Create(const wchar_t* title, bool swallowing) {
        swallows = swallowing;
        if (!RegisterWindowClass(kNeighbourClass, 0, nullptr, nullptr, nullptr) ||
            !CreateEx(WS_EX_TOOLWINDOW, kNeighbourClass, title, WS_POPUP, 0, 0, 0, 0, ::GetDesktopWindow()))
            return false;
        next = ::SetClipboardViewer(Hwnd());
        return true;
    }
    void LeaveChain() { ::ChangeClipboardChain(Hwnd(), next); }

    bool swallows = false;
    HWND next = nullptr;
    int draws = 0;
    int changes = 0;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_DRAWCLIPBOARD) {
            ++draws;
            if (!swallows && ::IsWindow(next)) ::SendMessageW(next, message, wParam, lParam);
            return 0;
        }
        if (message == WM_CHANGECBCHAIN) {
            ++changes;
            if (reinterpret_cast<HWND>(wParam) == next) next = reinterpret_cast<HWND>(lParam);
            else if (next) ::SendMessageW(next, message, wParam, lParam);
            return 0;
        }
        return DefaultProc(message, wParam, lParam);
    }
};

std::wstring HexOf(HWND window) {
    wchar_t text[32];
    _snwprintf(text, 32, L"%X", unsigned(reinterpret_cast<UINT_PTR>(window)));
    return text;
}

// A message ends with two blanks and a time stamp like "Tuesday, March 05, 2024   07:08:09".
bool EndsWithTimeStamp(const std::wstring& message, const std::wstring& text) {
    static const std::wregex stamp(
        L"(Sunday|Monday|Tuesday|Wednesday|Thursday|Friday|Saturday), "
        L"(January|February|March|April|May|June|July|August|September|October|November|December) "
        L"[0-3][0-9], [0-9]{4}   [0-2][0-9]:[0-5][0-9]:[0-6][0-9]");
    if (message.compare(0, text.size(), text) != 0) return false;
    return std::regex_match(message.substr(text.size()), stamp);
}

class ClipboardChainTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(::OleInitialize(nullptr)));
        theSettings.AddFilenameAsText = TRUE;
        // Each test starts with an empty chain: whatever viewer there is belongs to no test.
        ASSERT_EQ(::GetClipboardViewer(), nullptr);
    }
    void TearDown() override {
        // Take the test's windows out of the chain whatever state the test left it in, so no
        // message runs round a loop while they are destroyed.
        for (HWND window : {own.Hwnd(), first.Hwnd(), second.Hwnd(), third.Hwnd()}) {
            if (window) ::ChangeClipboardChain(window, nullptr);
        }
        own.Destroy();
        for (CNeighbour* neighbour : {&first, &second, &third}) neighbour->DestroyWindow();
        if (HWND viewer = ::GetClipboardViewer(); viewer && !::IsWindow(viewer)) ::ChangeClipboardChain(viewer, nullptr);
        ::OleUninitialize();
    }

    CChainWindow own;
    CNeighbour first, second, third;
};

TEST(WatchdogTime, IsWeekdayMonthDayYearAndTheTimeOnA24HourClock) {
    SYSTEMTIME march{2024, 3, 2, 5, 7, 8, 9, 0};
    EXPECT_EQ(FormatWatchdogTime(march), L"Tuesday, March 05, 2024   07:08:09");
    SYSTEMTIME lastOfCentury{1999, 12, 5, 31, 23, 59, 58, 999};
    EXPECT_EQ(FormatWatchdogTime(lastOfCentury), L"Friday, December 31, 1999   23:59:58");
}

TEST_F(ClipboardChainTest, JoiningMakesTheWindowFirstAndStartsTimerOne) {
    ASSERT_TRUE(own.Create());
    EXPECT_EQ(::GetClipboardViewer(), own.Hwnd());
    EXPECT_EQ(own.chain.NextViewer(), nullptr);
    EXPECT_TRUE(own.chain.InChain());  // SetClipboardViewer's own WM_DRAWCLIPBOARD came through
    EXPECT_EQ(own.chain.TimerId(), 1u);
    ASSERT_TRUE(second.Create(L"Later viewer", false));
    EXPECT_EQ(second.next, own.Hwnd());
}

TEST_F(ClipboardChainTest, ASwallowingNeighbourMakesTheWatchdogRegisterAgainAfter17Ticks) {
    ASSERT_TRUE(own.Create());
    ASSERT_TRUE(first.Create(L"Swallower", true));
    ASSERT_EQ(::GetClipboardViewer(), first.Hwnd());
    ASSERT_EQ(first.next, own.Hwnd());

    DebugOutputCapture capture;
    for (int tick = 1; tick <= 16; ++tick) {
        own.chain.OnTimer(own.Hwnd());
        ASSERT_EQ(own.chain.AbsenceCount(), tick);
        ASSERT_EQ(::GetClipboardViewer(), first.Hwnd()) << "tick " << tick;
    }
    own.chain.OnTimer(own.Hwnd());  // the 17th
    EXPECT_EQ(::GetClipboardViewer(), own.Hwnd());
    EXPECT_EQ(own.chain.AbsenceCount(), 0);
    EXPECT_EQ(own.chain.NextViewer(), first.Hwnd());
    EXPECT_EQ(first.draws, 1 + 17);  // its own joining, then one probe per tick

    const auto messages = capture.Messages();
    ASSERT_EQ(messages.size(), 18u);
    const std::wstring absent = L"Pelko is not in the clipboard chain!  The first viewer is hWnd=" +
                                HexOf(first.Hwnd()) + L"; Name=[Swallower]  ";
    for (int i = 0; i < 17; ++i) EXPECT_TRUE(EndsWithTimeStamp(messages[i], absent)) << i;
    EXPECT_TRUE(EndsWithTimeStamp(messages[17], L"Pelko 16sec of abcense passed. ReRegistering  "));

    // Back in front: the next tick finds the window first and has nothing to say.
    capture.Clear();
    own.chain.OnTimer(own.Hwnd());
    EXPECT_EQ(own.chain.AbsenceCount(), 0);
    EXPECT_TRUE(capture.Lines().empty());
}

TEST_F(ClipboardChainTest, ANeighbourThatLeavesCorrectlyIsSplicedOutWithoutATraceLine) {
    ASSERT_TRUE(third.Create(L"Third", false));
    ASSERT_TRUE(second.Create(L"Second", false));
    ASSERT_TRUE(own.Create());  // the chain: own -> second -> third
    ASSERT_EQ(own.chain.NextViewer(), second.Hwnd());

    DebugOutputCapture capture;
    second.LeaveChain();
    EXPECT_EQ(own.chain.NextViewer(), third.Hwnd());
    EXPECT_EQ(third.changes, 0);  // the removal ended at the window in front of the leaver
    own.chain.OnTimer(own.Hwnd());
    EXPECT_EQ(own.chain.AbsenceCount(), 0);
    EXPECT_TRUE(capture.Lines().empty());

    // The clipboard's changes now reach the third viewer straight from this window.
    const int before = third.draws;
    ::SendMessageW(own.Hwnd(), WM_DRAWCLIPBOARD, 0, 0);
    EXPECT_EQ(third.draws, before + 1);
    EXPECT_EQ(second.draws, 1);  // only its own joining
}

TEST_F(ClipboardChainTest, ALeaverFurtherDownIsPassedOnUnchanged) {
    ASSERT_TRUE(third.Create(L"Third", false));
    ASSERT_TRUE(second.Create(L"Second", false));
    ASSERT_TRUE(first.Create(L"First", false));
    ASSERT_TRUE(own.Create());  // own -> first -> second -> third

    DebugOutputCapture capture;
    second.LeaveChain();
    EXPECT_EQ(own.chain.NextViewer(), first.Hwnd());
    EXPECT_EQ(first.changes, 1);
    EXPECT_EQ(first.next, third.Hwnd());
    EXPECT_TRUE(capture.Lines().empty());
}

TEST_F(ClipboardChainTest, BeingRemovedItselfIsTraced) {
    ASSERT_TRUE(own.Create());
    DebugOutputCapture capture;
    ::SendMessageW(own.Hwnd(), WM_CHANGECBCHAIN, reinterpret_cast<WPARAM>(own.Hwnd()), 0);
    const auto messages = capture.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(EndsWithTimeStamp(messages[0], L"Pelko is being removed from the clipboard chain(WM_CHANGECBCHAIN)!  "));
}

TEST_F(ClipboardChainTest, TicksWithNoViewerCountButOnlyAForeignFirstViewerTriggersRegistration) {
    ASSERT_TRUE(own.Create());
    ::ChangeClipboardChain(own.Hwnd(), nullptr);
    ASSERT_EQ(::GetClipboardViewer(), nullptr);

    DebugOutputCapture capture;
    for (int tick = 1; tick <= 20; ++tick) own.chain.OnTimer(own.Hwnd());
    EXPECT_EQ(own.chain.AbsenceCount(), 20);
    EXPECT_EQ(::GetClipboardViewer(), nullptr);
    auto messages = capture.Messages();
    ASSERT_EQ(messages.size(), 20u);
    for (const auto& message : messages)
        EXPECT_TRUE(EndsWithTimeStamp(message, L"Pelko is not in the clipboard chain! No viewer exists at all!  "));

    // The first tick behind a foreign viewer that does not reach this window registers at once.
    ASSERT_TRUE(first.Create(L"Swallower", true));
    capture.Clear();
    own.chain.OnTimer(own.Hwnd());
    EXPECT_EQ(::GetClipboardViewer(), own.Hwnd());
    EXPECT_EQ(own.chain.AbsenceCount(), 0);
    messages = capture.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_TRUE(EndsWithTimeStamp(messages[1], L"Pelko 16sec of abcense passed. ReRegistering  "));
}

TEST_F(ClipboardChainTest, FoundFirstAgainAfterAnAbsence) {
    ASSERT_TRUE(own.Create());
    ASSERT_TRUE(first.Create(L"Swallower", true));
    for (int tick = 0; tick < 3; ++tick) own.chain.OnTimer(own.Hwnd());
    ASSERT_EQ(own.chain.AbsenceCount(), 3);

    first.LeaveChain();  // the head leaves: this window is first again
    ASSERT_EQ(::GetClipboardViewer(), own.Hwnd());
    DebugOutputCapture capture;
    own.chain.OnTimer(own.Hwnd());
    EXPECT_EQ(own.chain.AbsenceCount(), 0);
    const auto messages = capture.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(EndsWithTimeStamp(messages[0], L"Pelko APPEARED AGAIN (as first)in the clipboard chain!  "));
}

TEST_F(ClipboardChainTest, ReachedByTheProbeAgainAfterAnAbsence) {
    ASSERT_TRUE(own.Create());
    ASSERT_TRUE(first.Create(L"Moody", true));
    for (int tick = 0; tick < 2; ++tick) own.chain.OnTimer(own.Hwnd());
    ASSERT_EQ(own.chain.AbsenceCount(), 2);

    first.swallows = false;  // the neighbour mends its ways
    DebugOutputCapture capture;
    own.chain.OnTimer(own.Hwnd());
    EXPECT_EQ(own.chain.AbsenceCount(), 0);
    EXPECT_TRUE(own.chain.InChain());
    EXPECT_EQ(::GetClipboardViewer(), first.Hwnd());  // no registration needed
    const auto messages = capture.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(EndsWithTimeStamp(messages[0], L"Pelko APPEARED AGAIN in the clipboard chain!  "));

    // In the chain and reached, further ticks say nothing.
    capture.Clear();
    own.chain.OnTimer(own.Hwnd());
    EXPECT_TRUE(capture.Lines().empty());
}

TEST_F(ClipboardChainTest, APostedTimerMessageRunsTheWatchdog) {
    ASSERT_TRUE(own.Create());
    ASSERT_TRUE(first.Create(L"Swallower", true));
    ::PostMessageW(own.Hwnd(), WM_TIMER, CClipboardChain::kTimerId, 0);
    ASSERT_TRUE(uitest::PumpUntil([&] { return own.chain.AbsenceCount() >= 1; }));
    EXPECT_GE(own.chain.AbsenceCount(), 1);
}

// ---------------------------------------------------------------- text beside a copied file list

std::wstring ClipboardText() {
    if (!::OpenClipboard(nullptr)) return L"<clipboard could not be opened>";
    const HANDLE block = ::GetClipboardData(CF_UNICODETEXT);
    const std::wstring text = block ? testutil::WideTextOf(block) : L"<no text>";
    ::CloseClipboard();
    return text;
}

TEST_F(ClipboardChainTest, AFileListCopiedWithoutTextGetsItsTextForm) {
    ASSERT_TRUE(own.Create());
    const int before = own.draws;
    CClipOwnerProcess owner({L"hdrop=C:\\pelko\\one.txt|C:\\pelko\\two.txt"});
    ASSERT_TRUE(owner.IsReady());
    // The copy's notification, then the one of the text this window added.
    ASSERT_TRUE(uitest::PumpUntil([&] { return own.draws >= before + 1 && ::IsClipboardFormatAvailable(CF_UNICODETEXT); }));
    EXPECT_TRUE(::IsClipboardFormatAvailable(CF_HDROP));
    EXPECT_EQ(ClipboardText(), L"C:\\pelko\\one.txt\r\nC:\\pelko\\two.txt\r\n");
}

TEST_F(ClipboardChainTest, AFileListIsLeftAloneWithTheSettingOffOrWhenItCarriesText) {
    ASSERT_TRUE(own.Create());
    const struct { const char* name; BOOL setting; std::vector<std::wstring> items; std::wstring text; } rows[] = {
        {"setting off", FALSE, {L"hdrop=C:\\pelko\\one.txt"}, L"<no text>"},
        {"text carried", TRUE, {L"hdrop=C:\\pelko\\one.txt", L"text=already here"}, L"already here"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        theSettings.AddFilenameAsText = row.setting;
        const int before = own.draws;
        CClipOwnerProcess owner(row.items);
        ASSERT_TRUE(owner.IsReady());
        const DWORD sequence = ::GetClipboardSequenceNumber();
        ASSERT_TRUE(uitest::PumpUntil([&] { return own.draws >= before + 1; }));
        EXPECT_EQ(::GetClipboardSequenceNumber(), sequence);
        EXPECT_EQ(ClipboardText(), row.text);
    }
}

}  // namespace
