// CDialog runs modal and returns the result it was ended with; the program's IDD_MESSAGE ("Ok" 1, close 2).
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "framework/Dialog.h"
#include "resource.h"

// A dialog that does at init what the test asks; its handler of WM_APP throws.
class CProbeDialog : public CDialog {
public:
    explicit CProbeDialog(UINT templateId) : CDialog(templateId, ::GetDesktopWindow()) {}
    std::function<void(HWND)> atInit;
    HWND hwndAtInit = nullptr;

    BOOL OnInitDialog() override {
        atInit(hwndAtInit = Hwnd());
        return TRUE;
    }
    BOOL OnCommand(WORD id, WORD notifyCode, HWND control) override {
        if (id == 78) EndDialog(1078);  // a command of the dialog's own
        return CDialog::OnCommand(id, notifyCode, control);
    }
    INT_PTR WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_APP) throw std::runtime_error("handler failed");
        return CDialog::WindowProc(message, wParam, lParam);
    }
};

TEST(Dialog, RunsModalAndReturnsTheResultItEndedWith) {
    const auto post = [](HWND h, UINT message, WPARAM wParam = 0) { ::PostMessageW(h, message, wParam, 0); };
    const struct { const char* name; UINT templateId; std::function<void(HWND)> atInit; INT_PTR result; } rows[] = {
        {"Ok", IDD_MESSAGE, [&](HWND h) { post(h, WM_COMMAND, IDOK); }, IDOK},
        {"close button", IDD_MESSAGE, [&](HWND h) { post(h, WM_COMMAND, IDCANCEL); }, IDCANCEL},
        {"a throwing handler does not end it; other commands go on to OnCommand", IDD_MESSAGE,
         [&](HWND h) { post(h, WM_APP); post(h, WM_COMMAND, 77); post(h, WM_COMMAND, 78); }, 1078},
        {"no such template", 999, nullptr, -1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        CProbeDialog dialog(row.templateId);
        dialog.atInit = row.atInit;
        EXPECT_EQ(dialog.DoModal(), row.result);
        EXPECT_EQ(dialog.hwndAtInit != nullptr, row.result != -1);
        EXPECT_TRUE(dialog.Hwnd() == nullptr && !::IsWindow(dialog.hwndAtInit));  // the window is gone and forgotten
    }
}
