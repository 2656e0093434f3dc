// The tray icon's state: which icon it shows after adding, locking, unlocking and deleting.
#include <windows.h>

#include <gtest/gtest.h>

#include "framework/Window.h"
#include "resource.h"
#include "ui/TrayIcon.h"

namespace {

// A plain window to own the icon.
class COwner : public CWindow {
public:
    COwner() {
        RegisterWindowClass(L"Pelko Tray Test Owner", 0, nullptr, nullptr, nullptr);
        CreateEx(WS_EX_TOOLWINDOW, L"Pelko Tray Test Owner", nullptr, WS_POPUP, 0, 0, 0, 0, nullptr);
    }
};

}  // namespace

TEST(TrayIcon, ShowsTheUnlockedIconThenTheLockedOneAndBack) {
    COwner owner;
    ASSERT_NE(nullptr, owner.Hwnd());
    CTrayIcon icon;
    EXPECT_FALSE(icon.IsAdded());
    EXPECT_EQ(0u, icon.IconId());

    EXPECT_TRUE(icon.Add(owner.Hwnd(), false));
    EXPECT_TRUE(icon.IsAdded());
    EXPECT_EQ(static_cast<UINT>(IDI_PELKO), icon.IconId());
    EXPECT_TRUE(icon.SetLocked(true));
    EXPECT_EQ(static_cast<UINT>(IDI_PELKO_LOCKED), icon.IconId());
    EXPECT_TRUE(icon.SetLocked(false));
    EXPECT_EQ(static_cast<UINT>(IDI_PELKO), icon.IconId());
    EXPECT_TRUE(icon.Delete());
    EXPECT_FALSE(icon.IsAdded());
    EXPECT_EQ(0u, icon.IconId());
}

TEST(TrayIcon, StartsLockedWhenAskedTo) {
    COwner owner;
    CTrayIcon icon;
    EXPECT_TRUE(icon.Add(owner.Hwnd(), true));
    EXPECT_EQ(static_cast<UINT>(IDI_PELKO_LOCKED), icon.IconId());
    EXPECT_TRUE(icon.Delete());
}

TEST(TrayIcon, NothingToChangeBeforeAdding) {
    CTrayIcon icon;
    EXPECT_FALSE(icon.SetLocked(true));
    EXPECT_EQ(0u, icon.IconId());
    EXPECT_FALSE(icon.Delete());
}
