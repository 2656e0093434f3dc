// The message box, driven the way a user would: a second thread finds the box (a dialog of this
// process showing the text), checks that it has sized itself to the text, and presses a button
// or Escape while ShowMessage waits on the main thread.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>

#include "../support/UiWait.h"
#include "app/ShowMessage.h"
#include "framework/Handles.h"
#include "resource.h"
#include "ui/MessageDlg.h"

namespace {

enum class Press { Ok, Close, Escape };

// What the second thread saw of the box.
struct Seen {
    bool found = false;
    std::wstring text;
    RECT window{};
    RECT ok{};        // relative to the box
    RECT close{};     // relative to the box
    SIZE measured{};  // the text measured here, as the rule says
    int lineHeight = 0;
    int narrowedWorkWidth = 0;
};

RECT RelativeRect(HWND child, HWND parent) {
    RECT r{};
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// Runs ShowMessage(text) on this thread while a second thread finds the box, reads it, and
// presses. Returns ShowMessage's result.
int ShowAndPress(const std::function<int()>& show, const std::wstring& text, Press press, Seen& seen) {
    std::thread user([&] {
        HWND box = uitest::WaitForProcessWindow(L"#32770", [&](HWND hwnd) { return uitest::TextOf(hwnd) == text; });
        if (!box) return;
        seen.found = true;
        seen.text = uitest::TextOf(box);
        ::GetWindowRect(box, &seen.window);
        seen.ok = RelativeRect(::GetDlgItem(box, IDOK), box);
        seen.close = RelativeRect(::GetDlgItem(box, IDCANCEL), box);

        RECT area{};
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
        ::InflateRect(&area, -50, 0);
        seen.narrowedWorkWidth = area.right - area.left;
        UniqueDc dc(::CreateCompatibleDC(nullptr));
        SelectGuard font(dc.Get(), reinterpret_cast<HFONT>(::SendMessageW(box, WM_GETFONT, 0, 0)));
        ::DrawTextW(dc.Get(), text.c_str(), -1, &area, DT_CALCRECT | DT_WORDBREAK);
        seen.measured = SIZE{area.right - area.left, area.bottom - area.top};
        TEXTMETRICW metrics{};
        ::GetTextMetricsW(dc.Get(), &metrics);
        seen.lineHeight = metrics.tmHeight;

        switch (press) {
            case Press::Ok: ::PostMessageW(::GetDlgItem(box, IDOK), BM_CLICK, 0, 0); break;
            case Press::Close: ::PostMessageW(::GetDlgItem(box, IDCANCEL), BM_CLICK, 0, 0); break;
            case Press::Escape: uitest::PostKey(box, VK_ESCAPE); break;
        }
    });
    const int result = show();
    user.join();
    return result;
}

int ShowTextAndPress(const std::wstring& text, Press press, Seen& seen) {
    return ShowAndPress([&] { return ShowMessage(text.c_str(), MB_ICONERROR); }, text, press, seen);
}

void ExpectSizedToText(const Seen& seen) {
    const int width = seen.window.right - seen.window.left;
    const int height = seen.window.bottom - seen.window.top;
    const int buttonWidth = seen.ok.right - seen.ok.left;
    const int buttonHeight = seen.ok.bottom - seen.ok.top;
    EXPECT_EQ(seen.measured.cx + 72, width);
    EXPECT_EQ(seen.measured.cy + buttonHeight + 64, height);
    // "Ok" centred at the bottom, the close button in the top-right corner.
    EXPECT_EQ((width - buttonWidth) / 2, seen.ok.left);
    EXPECT_EQ(height - buttonHeight - 6, seen.ok.top);
    EXPECT_EQ((RECT{width - 19, 5, width - 4, 19}.left), seen.close.left);
    EXPECT_EQ(5, seen.close.top);
    EXPECT_EQ(15, seen.close.right - seen.close.left);
    EXPECT_EQ(14, seen.close.bottom - seen.close.top);
    // Centred on the work area.
    RECT area{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    EXPECT_EQ(area.left + ((area.right - area.left) - width) / 2, seen.window.left);
    EXPECT_EQ(area.top + ((area.bottom - area.top) - height) / 2, seen.window.top);
}

}  // namespace

TEST(MessageDialog, OkReturnsOneAndTheBoxFitsAOneLineText) {
    const std::wstring text = L"Failed to initialize server";
    Seen seen;
    EXPECT_EQ(IDOK, ShowTextAndPress(text, Press::Ok, seen));
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(text, seen.text);
    EXPECT_EQ(seen.lineHeight, seen.measured.cy);   // one line
    ExpectSizedToText(seen);
}

TEST(MessageDialog, CloseButtonAndEscapeReturnCancelAndTheProgramGoesOn) {
    Seen closeSeen, escapeSeen, okSeen;
    EXPECT_EQ(IDCANCEL, ShowTextAndPress(L"Closed with the close button", Press::Close, closeSeen));
    EXPECT_TRUE(closeSeen.found);
    EXPECT_EQ(IDCANCEL, ShowTextAndPress(L"Closed with Escape", Press::Escape, escapeSeen));
    EXPECT_TRUE(escapeSeen.found);
    // A box after those works as the first did.
    EXPECT_EQ(IDOK, ShowTextAndPress(L"Still here", Press::Ok, okSeen));
    EXPECT_TRUE(okSeen.found);
    ExpectSizedToText(okSeen);
}

TEST(MessageDialog, ALongTextIsWrappedToTheWorkAreaAndTheBoxGrowsDownwards) {
    std::wstring text;
    for (int i = 0; i < 40; ++i) text += L"The remote computer is not answering. ";
    text.pop_back();
    Seen seen;
    EXPECT_EQ(IDOK, ShowTextAndPress(text, Press::Ok, seen));
    ASSERT_TRUE(seen.found);
    EXPECT_LE(seen.measured.cx, seen.narrowedWorkWidth);
    EXPECT_GT(seen.measured.cx, seen.narrowedWorkWidth / 2);
    EXPECT_GE(seen.measured.cy, 3 * seen.lineHeight);
    ExpectSizedToText(seen);
}

TEST(MessageDialog, ALineFeedFromTheStringTableGivesTwoLines) {
    const std::wstring text = L"Pelko is processing the previous request.\nPlease retry later.";
    Seen seen;
    EXPECT_EQ(IDOK, ShowAndPress([] { return ShowMessageId(IDS_PREVIOUS_REQUEST, MB_ICONERROR); }, text, Press::Ok, seen));
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(text, seen.text);
    EXPECT_EQ(2 * seen.lineHeight, seen.measured.cy);
    ExpectSizedToText(seen);
}

TEST(MessageDialog, ErrorAndExclamationStylesLookTheSame) {
    const std::wstring text = L"Please enter an unique nick name.";
    Seen error, exclamation;
    EXPECT_EQ(IDOK, ShowAndPress([&] { return ShowMessage(text.c_str(), MB_ICONERROR); }, text, Press::Ok, error));
    EXPECT_EQ(IDOK, ShowAndPress([&] { return ShowMessage(text.c_str(), MB_ICONEXCLAMATION); }, text, Press::Ok, exclamation));
    ASSERT_TRUE(error.found && exclamation.found);
    EXPECT_EQ(error.window.right - error.window.left, exclamation.window.right - exclamation.window.left);
    EXPECT_EQ(error.window.bottom - error.window.top, exclamation.window.bottom - exclamation.window.top);
}

TEST(MessageDialog, AMissingStringShowsNothingAndReturnsZero) {
    uitest::WindowWatch watch(L"#32770");
    EXPECT_EQ(0, ShowMessageId(123, MB_ICONERROR));   // between 122 and 124: no such string
    EXPECT_EQ(0, ShowMessageId(9999, MB_ICONERROR));
    EXPECT_EQ(0, watch.Stop());
}

TEST(MessageDialog, TheTextRectangleSitsAt56And40) {
    const std::wstring text = L"Connection failed due to timeout.";
    CMessageDlg box(::GetDesktopWindow());
    Seen seen;
    EXPECT_EQ(IDOK, ShowAndPress([&] { return box.Show(text.c_str(), MB_ICONERROR); }, text, Press::Ok, seen));
    ASSERT_TRUE(seen.found);
    EXPECT_EQ((RECT{56, 40, 56 + seen.measured.cx, 40 + seen.measured.cy}.right), box.TextRect().right);
    EXPECT_EQ(56, box.TextRect().left);
    EXPECT_EQ(40, box.TextRect().top);
    EXPECT_EQ(40 + seen.measured.cy, box.TextRect().bottom);
}
