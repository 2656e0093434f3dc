// CDialog: modal run, results, the handlers it dispatches to, owner-drawn items, exceptions.
// The dialogs are made from the program's own template 107 (an "Ok" button id 1 and a close
// button id 2, both owner-drawn).
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <stdexcept>
#include <vector>

#include "framework/Dialog.h"
#include "resource.h"

namespace {

constexpr UINT WM_TEST_THROW = WM_APP + 1;
constexpr UINT WM_TEST_RECORD = WM_APP + 2;

// A dialog whose handlers record what reaches them; each test says what happens at init.
class CProbeDialog : public CDialog {
public:
    explicit CProbeDialog(UINT templateId = IDD_MESSAGE) : CDialog(templateId, ::GetDesktopWindow()) {}

    std::function<void(CProbeDialog&)> atInit;
    std::function<BOOL(CProbeDialog&, WORD)> atCommand;
    std::function<void(CProbeDialog&, UINT)> atDrawItem;

    HWND hwndAtInit = nullptr;
    bool okButtonAtInit = false;
    bool closeButtonAtInit = false;
    std::vector<WORD> commands;
    std::set<UINT> drawnItems;
    std::vector<UINT> recorded;

protected:
    BOOL OnInitDialog() override {
        hwndAtInit = Hwnd();
        okButtonAtInit = Item(IDOK) != nullptr;
        closeButtonAtInit = Item(IDCANCEL) != nullptr;
        if (atInit) atInit(*this);
        return TRUE;
    }
    BOOL OnCommand(WORD id, WORD notifyCode, HWND control) override {
        commands.push_back(id);
        if (atCommand) return atCommand(*this, id);
        return CDialog::OnCommand(id, notifyCode, control);
    }
    BOOL OnDrawItem(const DRAWITEMSTRUCT& item) override {
        drawnItems.insert(item.CtlID);
        if (atDrawItem) atDrawItem(*this, item.CtlID);
        return TRUE;
    }
    INT_PTR WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_TEST_THROW) throw std::runtime_error("handler failed");
        if (message == WM_TEST_RECORD) {
            recorded.push_back(static_cast<UINT>(wParam));
            return TRUE;
        }
        return CDialog::WindowProc(message, wParam, lParam);
    }
};

void PostCommand(HWND hwnd, WORD id) {
    ::PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

}  // namespace

TEST(Dialog, ReturnsWhatEndDialogGivesAndDetachesAfterwards) {
    CProbeDialog dialog;
    dialog.atInit = [](CProbeDialog& d) { d.EndDialog(42); };
    EXPECT_EQ(42, dialog.DoModal());
    EXPECT_NE(nullptr, dialog.hwndAtInit);
    EXPECT_TRUE(dialog.okButtonAtInit);
    EXPECT_TRUE(dialog.closeButtonAtInit);
    EXPECT_EQ(nullptr, dialog.Hwnd());
    EXPECT_FALSE(::IsWindow(dialog.hwndAtInit));
}

// "Ok", the close button and the Escape key end the dialog by default, each through OnCommand.
TEST(Dialog, OkCancelAndEscapeEndTheDialogByDefault) {
    const struct { const char* name; std::function<void(CProbeDialog&)> atInit; int result; } rows[] = {
        {"Ok", [](CProbeDialog& d) { PostCommand(d.Hwnd(), IDOK); }, IDOK},
        {"Cancel", [](CProbeDialog& d) { PostCommand(d.Hwnd(), IDCANCEL); }, IDCANCEL},
        {"Escape", [](CProbeDialog& d) {
             ::PostMessageW(d.Hwnd(), WM_KEYDOWN, VK_ESCAPE, 1);
             ::PostMessageW(d.Hwnd(), WM_KEYUP, VK_ESCAPE, 0xC0000001);
         }, IDCANCEL},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        CProbeDialog dialog;
        dialog.atInit = row.atInit;
        EXPECT_EQ(row.result, dialog.DoModal());
        EXPECT_EQ(std::vector<WORD>{WORD(row.result)}, dialog.commands);
    }
}

TEST(Dialog, OtherCommandsReachOnCommandAndLeaveTheDialogOpen) {
    CProbeDialog dialog;
    dialog.atInit = [](CProbeDialog& d) {
        PostCommand(d.Hwnd(), 77);   // not handled by default: the dialog stays
        PostCommand(d.Hwnd(), 78);
    };
    dialog.atCommand = [](CProbeDialog& d, WORD id) -> BOOL {
        if (id == 78) d.EndDialog(1000 + id);
        return TRUE;
    };
    EXPECT_EQ(1078, dialog.DoModal());
    EXPECT_EQ((std::vector<WORD>{77, 78}), dialog.commands);
}

TEST(Dialog, OwnerDrawnButtonsAreDrawnByTheDialog) {
    CProbeDialog dialog;
    dialog.atDrawItem = [](CProbeDialog& d, UINT) {
        if (d.drawnItems.count(IDOK) && d.drawnItems.count(IDCANCEL)) PostCommand(d.Hwnd(), IDOK);
    };
    EXPECT_EQ(IDOK, dialog.DoModal());
    EXPECT_EQ((std::set<UINT>{IDOK, IDCANCEL}), dialog.drawnItems);
}

TEST(Dialog, AThrowingHandlerDoesNotEndTheDialogOrTheProgram) {
    CProbeDialog dialog;
    dialog.atInit = [](CProbeDialog& d) {
        ::PostMessageW(d.Hwnd(), WM_TEST_THROW, 0, 0);
        ::PostMessageW(d.Hwnd(), WM_TEST_RECORD, 5, 0);
        PostCommand(d.Hwnd(), IDOK);
    };
    EXPECT_EQ(IDOK, dialog.DoModal());
    EXPECT_EQ(std::vector<UINT>{5}, dialog.recorded);
}

TEST(Dialog, MissingTemplateGivesMinusOne) {
    CProbeDialog dialog(999);
    EXPECT_EQ(-1, dialog.DoModal());
    EXPECT_EQ(nullptr, dialog.hwndAtInit);
}
