// The Options page: every user-editable setting as a skinned check box or a number edit. No OK
// button: showing the page re-reads the settings from the registry, hiding it (another tab, or
// the main window closing) stores whatever the controls hold and saves. Main thread.
#pragma once

#include <windows.h>

#include <array>

#include "ui/Page.h"
#include "ui/SkinCheckBox.h"

class COptionsPage : public CPage {
public:
    enum Check { Autorun, AddFilenameAsText, ConvertFilenameToUNC, ShowFriendsOnly, AcceptFriendsOnly, StartLocked };
    enum Edit { TcpPort, UdpPort, Timeout };

    void OnShowPage() override;
    void OnHidePage() override;
    void Paint(HDC dc, const RECT& client) const override;

    [[nodiscard]] CSkinCheckBox& CheckBox(Check which) noexcept { return m_checks[which]; }
    [[nodiscard]] HWND EditHwnd(Edit which) const noexcept { return m_edits[which]; }

protected:
    LRESULT OnCreatePage() override;
    LRESULT OnPageMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

private:
    RECT EditFrame(Edit which) const;

    std::array<CSkinCheckBox, 6> m_checks;
    std::array<HWND, 3> m_edits{};   // children of the page: they go with it
    RECT m_general{};
    RECT m_network{};
    int m_editWidth = 70;
    int m_editHeight = 0;
};
