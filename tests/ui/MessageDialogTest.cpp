// The message box, driven the way a user would: while the box runs modally, a second thread finds
// it, reads its text, measures that text as the box should have, and presses a button.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "../support/TestHelpers.h"
#include "resource.h"
#include "runtime/Handles.h"
#include "ui/ShowMessage.h"

namespace {

struct Seen { int result = 0; std::wstring text; RECT window{}, ok{}, area{}; SIZE measured{}; };   // text: empty if no box

Seen ShowAndPress(const std::function<int()>& show, int button) {
    Seen seen;
    std::atomic<bool> stop{false};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &seen.area, 0);
    std::thread user([&] {
        HWND box = uitest::WaitForProcessWindow(L"#32770", &stop);
        if (!box) return;
        seen.text = uitest::TextOf(box);
        ::GetWindowRect(box, &seen.window);
        ::GetWindowRect(::GetDlgItem(box, IDOK), &seen.ok);
        RECT text{seen.area.left + 50, seen.area.top, seen.area.right - 50, seen.area.bottom};
        UniqueDc dc(::CreateCompatibleDC(nullptr));
        SelectGuard font(dc.Get(), reinterpret_cast<HFONT>(::SendMessageW(box, WM_GETFONT, 0, 0)));
        ::DrawTextW(dc.Get(), seen.text.c_str(), -1, &text, DT_CALCRECT | DT_WORDBREAK);
        seen.measured = SIZE{text.right - text.left, text.bottom - text.top};
        ::PostMessageW(::GetDlgItem(box, button ? button : IDCANCEL), BM_CLICK, 0, 0);
    });
    seen.result = show();
    stop = true;
    user.join();
    return seen;
}

}  // namespace

// Each box is the text plus 56 + 16 pixels wide, plus the button and 64 high, with "Ok" centred at
// the bottom, sits in the middle of the work area and returns the button pressed: "Ok" (IDOK) or
// the close button (IDCANCEL). A string missing from the string table shows nothing.
TEST(MessageDialog, ShowsItsTextSizedToItAndReturnsThePressedButton) {
    const struct { std::function<int()> show; int button; std::wstring text; } rows[] = {
        {[] { return ShowMessage(L"Failed to initialize server", MB_ICONERROR); }, IDOK, L"Failed to initialize server"},
        {[] { return ShowMessage(L"Closed", MB_ICONEXCLAMATION); }, IDCANCEL, L"Closed"},
        {[] { return ShowMessageId(IDS_PREVIOUS_REQUEST, MB_ICONERROR); }, IDOK,   // whole, with its line feed
         L"Pelko is processing the previous request.\nPlease retry later."},
        {[] { return ShowMessageId(123, MB_ICONERROR); }, 0, L""},   // between 122 and 124: no such string
    };
    for (const auto& row : rows) {
        const Seen seen = ShowAndPress(row.show, row.button);
        EXPECT_EQ(seen.text, row.text);
        EXPECT_EQ(seen.result, row.button) << row.text;
        if (row.text.empty()) continue;
        const int width = seen.window.right - seen.window.left, height = seen.window.bottom - seen.window.top;
        EXPECT_EQ(width, seen.measured.cx + 72) << row.text;
        EXPECT_EQ(height, seen.measured.cy + (seen.ok.bottom - seen.ok.top) + 64) << row.text;
        EXPECT_EQ(seen.ok.left - seen.window.left, (width - (seen.ok.right - seen.ok.left)) / 2) << row.text;
        EXPECT_EQ(seen.window.bottom - seen.ok.bottom, 6) << row.text;
        EXPECT_EQ(seen.window.left, seen.area.left + ((seen.area.right - seen.area.left) - width) / 2) << row.text;
        EXPECT_EQ(seen.window.top, seen.area.top + ((seen.area.bottom - seen.area.top) - height) / 2) << row.text;
    }
}
