// The message box, driven the way a user would: while the box runs modally, a second thread finds
// it, reads its text, measures that text as the box should have, and presses a button.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "../support/UiWait.h"
#include "resource.h"
#include "runtime/Handles.h"
#include "ui/ShowMessage.h"

namespace {

struct Seen {
    int result = 0;
    std::wstring text;   // empty if no box opened
    RECT window{}, ok{};
    SIZE measured{};
};

Seen ShowAndPress(const std::function<int()>& show, int button) {
    Seen seen;
    std::atomic<bool> stop{false};
    std::thread user([&] {
        HWND box = uitest::WaitForProcessWindow(L"#32770", &stop);
        if (!box) return;
        seen.text = uitest::TextOf(box);
        ::GetWindowRect(box, &seen.window);
        ::GetWindowRect(::GetDlgItem(box, IDOK), &seen.ok);
        RECT area{};
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
        ::InflateRect(&area, -50, 0);
        UniqueDc dc(::CreateCompatibleDC(nullptr));
        SelectGuard font(dc.Get(), reinterpret_cast<HFONT>(::SendMessageW(box, WM_GETFONT, 0, 0)));
        ::DrawTextW(dc.Get(), seen.text.c_str(), -1, &area, DT_CALCRECT | DT_WORDBREAK);
        seen.measured = SIZE{area.right - area.left, area.bottom - area.top};
        ::PostMessageW(::GetDlgItem(box, button), BM_CLICK, 0, 0);
    });
    seen.result = show();
    stop = true;
    user.join();
    return seen;
}

}  // namespace

// Each box is the text plus 56 + 16 pixels wide, plus the button and 64 high, with "Ok" centred at
// the bottom, and sits in the middle of the work area.
TEST(MessageDialog, ShowsItsTextSizedToItAndReturnsThePressedButton) {
    // The button pressed: "Ok" (IDOK) or the close button (IDCANCEL), whose id the box returns.
    const struct { std::function<int()> show; int button; std::wstring text; } rows[] = {
        {[] { return ShowMessage(L"Failed to initialize server", MB_ICONERROR); }, IDOK, L"Failed to initialize server"},
        {[] { return ShowMessage(L"Closed", MB_ICONEXCLAMATION); }, IDCANCEL, L"Closed"},
        // From the string table: whole, with its line feed.
        {[] { return ShowMessageId(IDS_PREVIOUS_REQUEST, MB_ICONERROR); }, IDOK,
         L"Pelko is processing the previous request.\nPlease retry later."},
    };
    RECT area{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    for (const auto& row : rows) {
        const Seen seen = ShowAndPress(row.show, row.button);
        EXPECT_EQ(seen.text, row.text);
        EXPECT_EQ(seen.result, row.button) << row.text;
        const int width = seen.window.right - seen.window.left, height = seen.window.bottom - seen.window.top;
        EXPECT_EQ(width, seen.measured.cx + 72) << row.text;
        EXPECT_EQ(height, seen.measured.cy + (seen.ok.bottom - seen.ok.top) + 64) << row.text;
        EXPECT_EQ(seen.ok.left - seen.window.left, (width - (seen.ok.right - seen.ok.left)) / 2) << row.text;
        EXPECT_EQ(seen.window.bottom - seen.ok.bottom, 6) << row.text;
        EXPECT_EQ(seen.window.left, area.left + ((area.right - area.left) - width) / 2) << row.text;
        EXPECT_EQ(seen.window.top, area.top + ((area.bottom - area.top) - height) / 2) << row.text;
    }
}

TEST(MessageDialog, AMissingStringShowsNothing) {
    uitest::WindowWatch watch(L"#32770");
    EXPECT_EQ(ShowMessageId(123, MB_ICONERROR), 0);   // between 122 and 124: no such string
    EXPECT_EQ(watch.Stop(), 0);
}
