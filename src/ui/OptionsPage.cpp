#include "ui/OptionsPage.h"

#include <cwchar>
#include <cstdlib>
#include <string>

#include "runtime/Handles.h"
#include "framework/Window.h"
#include "settings/Settings.h"
#include "skin/Skin.h"
#include "ui/SkinDrawing.h"

namespace {
struct CheckRow {
    const wchar_t* text;
    int id;
    Relaxed<BOOL> CSettings::*setting;
};
// In the order of COptionsPage::Check. The last four share one id: each is reached by its member.
constexpr CheckRow kChecks[] = {
    {L"Autorun on Windows startup", 1, &CSettings::Autorun},
    {L"Add file names as text", 2, &CSettings::AddFilenameAsText},
    {L"Resolve remote network drives", 3, &CSettings::ConvertFilenameToUNC},
    {L"Show friends only", 3, &CSettings::ShowFriendsOnly},
    {L"Accept requests from friends only", 3, &CSettings::AcceptFriendsOnly},
    {L"Start in 'Locked' mode", 3, &CSettings::StartLocked},
};

struct EditRow {
    const wchar_t* label;
    int id;
    Relaxed<DWORD> CSettings::*setting;
};
// In the order of COptionsPage::Edit.
constexpr EditRow kEdits[] = {
    {L"TCP Port:", 4, &CSettings::TCPPort},
    {L"UDP Port:", 5, &CSettings::UDPPort},
    {L"Timeout:", 6, &CSettings::Timeout},
};

constexpr int kCheckHeight = 14;
constexpr int kCheckStep = 20;

// The frame of a group: its caption sits on the top edge, the line broken around it.
void DrawGroup(HDC dc, const RECT& group, const wchar_t* caption) {
    SelectGuard font(dc, theSkin.TextFont.Get());
    SIZE size{};
    ::GetTextExtentPoint32W(dc, caption, static_cast<int>(std::wcslen(caption)), &size);
    const int lineY = group.top + size.cy / 2;
    const RECT frame{group.left, lineY, group.right, group.bottom};
    UniqueBrush brush(::CreateSolidBrush(theSkin.FrameShades.Colors[1]));
    ::FrameRect(dc, &frame, brush.Get());
    const RECT gap{group.left + 6, group.top, group.left + 10 + size.cx, lineY + 1};
    ::FillRect(dc, &gap, theSkin.PaperBrush.Get());
    DrawSkinText(dc, caption, RECT{group.left + 7, group.top, group.left + 10 + size.cx, group.top + size.cy},
                 theSkin.BaseColor == theSkin.PaperColor ? theSkin.DarkColor : theSkin.BaseColor,
                 DT_LEFT | DT_TOP | DT_SINGLELINE);
}
}  // namespace

LRESULT COptionsPage::OnCreatePage() {
    RECT client{};
    ::GetClientRect(Hwnd(), &client);
    const int width = client.right;
    m_general = RECT{10, 5, width - 10, 140};
    m_network = RECT{10, 150, width - 10, client.bottom - 8};   // clear of the panel's frame
    m_editHeight = theSkin.LineHeight > 0 ? theSkin.LineHeight : 14;

    for (size_t i = 0; i < m_checks.size(); ++i) {
        const int top = m_general.top + 12 + static_cast<int>(i) * kCheckStep;
        const RECT rect{m_general.left + 10, top, m_general.right - 20, top + kCheckHeight};
        if (!m_checks[i].Create(kChecks[i].text, rect, Hwnd(), kChecks[i].id)) return -1;
        ::SendMessageW(m_checks[i].Hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(theSkin.TextFont.Get()), FALSE);
    }
    const int left = m_network.left + 78;   // room for the longest label and its colon
    const int top = m_network.top + 22;
    const POINT at[3]{{left, top}, {left + 162, top}, {left, top + 34}};
    for (size_t i = 0; i < m_edits.size(); ++i) {
        m_edits[i] = ::CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_NUMBER | ES_CENTER,
                                       at[i].x, at[i].y, m_editWidth, m_editHeight, Hwnd(),
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(kEdits[i].id)), ModuleInstance(),
                                       nullptr);
        if (!m_edits[i]) return -1;
        ::SendMessageW(m_edits[i], WM_SETFONT, reinterpret_cast<WPARAM>(theSkin.TextFont.Get()), FALSE);
    }
    return 0;
}

void COptionsPage::OnShowPage() {
    theSettings.Load();
    for (size_t i = 0; i < m_checks.size(); ++i) m_checks[i].SetCheck(theSettings.*kChecks[i].setting);
    for (size_t i = 0; i < m_edits.size(); ++i) {
        wchar_t text[16] = {};
        std::swprintf(text, 16, L"%d", static_cast<int>(theSettings.*kEdits[i].setting));
        ::SetWindowTextW(m_edits[i], text);
    }
}

void COptionsPage::OnHidePage() {
    for (size_t i = 0; i < m_checks.size(); ++i) theSettings.*kChecks[i].setting = m_checks[i].GetCheck();
    for (size_t i = 0; i < m_edits.size(); ++i) {
        // As _wtoi reads it: an empty edit or no number is 0, any other number is stored as it
        // is. A port the server cannot use is refused, with its trace, at the next start.
        theSettings.*kEdits[i].setting = static_cast<DWORD>(_wtoi(WindowText(m_edits[i]).c_str()));
    }
    theSettings.Save();
}

RECT COptionsPage::EditFrame(Edit which) const {
    RECT frame{};
    ::GetWindowRect(m_edits[which], &frame);
    ::MapWindowPoints(nullptr, Hwnd(), reinterpret_cast<POINT*>(&frame), 2);
    return RECT{frame.left - 6, frame.top - 6, frame.right + 1, frame.bottom + 2};
}

void COptionsPage::Paint(HDC dc, const RECT& client) const {
    CPage::Paint(dc, client);
    DrawGroup(dc, m_general, L" General");
    DrawGroup(dc, m_network, L" Network");
    for (int i = 0; i < 3; ++i) {
        const Edit which = static_cast<Edit>(i);
        if (!m_edits[i]) continue;
        const RECT frame = EditFrame(which);
        // The edit's own border: a sunken paper well inside the skin frame.
        RECT well{frame.left + 2, frame.top + 2, frame.right, frame.bottom};
        ::FillRect(dc, &well, theSkin.PaperBrush.Get());
        theSkin.DrawFrame(dc, well);
        const int labelLeft = which == UdpPort ? frame.left - 62 : m_network.left + 10;
        DrawSkinText(dc, kEdits[i].label, RECT{labelLeft, frame.top + 2, frame.left - 2, frame.bottom},
                     theSkin.DarkColor, DT_LEFT | DT_TOP | DT_SINGLELINE);
    }
}

LRESULT COptionsPage::OnPageMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
    switch (message) {
        case WM_DRAWITEM: {
            const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            for (const CSkinCheckBox& box : m_checks) {
                if (box.Hwnd() == item.hwndItem) box.Draw(item);
            }
            return TRUE;
        }
        case WM_COMMAND:
            for (CSkinCheckBox& box : m_checks) {
                if (box.Hwnd() == reinterpret_cast<HWND>(lParam)) box.OnNotify(HIWORD(wParam));
            }
            return 0;
        case WM_CTLCOLOREDIT:
            ::SetTextColor(reinterpret_cast<HDC>(wParam), theSkin.DarkColor);
            ::SetBkColor(reinterpret_cast<HDC>(wParam), theSkin.PaperColor);
            return reinterpret_cast<LRESULT>(theSkin.PaperBrush.Get());
        default:
            return CPage::OnPageMessage(message, wParam, lParam, handled);
    }
}
