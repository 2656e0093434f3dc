#include "ui/HostList.h"

#include <windowsx.h>

#include <algorithm>

#include "framework/PaintBuffer.h"
#include "runtime/Trace.h"
#include "skin/Skin.h"
#include "ui/SkinDrawing.h"

namespace {
constexpr DWORD kListStyle =
    WS_CHILD | WS_VISIBLE | LBS_NOTIFY | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT;
constexpr int kIconLeft = 3;
constexpr int kIconSize = 16;
constexpr int kEditLeftWithIcons = 29;
constexpr int kEditLeftPlain = 11;

// The text colour on the base colour: light green on a dark base, black on a light one.
COLORREF TextOnBase() {
    return theSkin.LightGreen ? theSkin.LightGreen : theSkin.DarkColor;
}
}  // namespace

bool CHostList::Create(const RECT& rect, HWND parent, int id) {
    const RECT list{rect.left, rect.top, rect.right - kScrollBarWidth, rect.bottom};
    if (!CreateControl(0, L"LISTBOX", L"", kListStyle, list, parent, id)) return false;
    ::SendMessageW(Hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(theSkin.TextFont.Get()), FALSE);
    ::SendMessageW(Hwnd(), LB_SETITEMHEIGHT, 0, kEntryHeight);
    const RECT bar{rect.right - kScrollBarWidth, rect.top, rect.right, rect.bottom};
    if (!m_scrollBar.Create(bar, parent, Hwnd())) return false;
    UpdateScrollBar();
    return true;
}

CHostList::Entry* CHostList::EntryAt(int index) const {
    if (index < 0 || index >= static_cast<int>(m_entries.size())) return nullptr;
    return m_entries[static_cast<size_t>(index)].get();
}

int CHostList::Count() const {
    return Hwnd() ? static_cast<int>(::SendMessageW(Hwnd(), LB_GETCOUNT, 0, 0)) : 0;
}

int CHostList::AddEntry(const wchar_t* text) {
    return InsertEntry(Count(), text);
}

int CHostList::InsertEntry(int index, const wchar_t* text) {
    if (!Hwnd() || index < 0 || index > Count()) return -1;
    auto entry = std::make_unique<Entry>();
    const int at = static_cast<int>(::SendMessageW(Hwnd(), LB_INSERTSTRING, static_cast<WPARAM>(index),
                                                   reinterpret_cast<LPARAM>(text)));
    if (at < 0) return -1;
    m_entries.insert(m_entries.begin() + at, std::move(entry));
    UpdateScrollBar();
    return at;
}

int CHostList::DeleteEntry(int index) {
    if (!EntryAt(index)) return -1;
    const int result = static_cast<int>(::SendMessageW(Hwnd(), LB_DELETESTRING, static_cast<WPARAM>(index), 0));
    if (result >= 0) m_entries.erase(m_entries.begin() + index);
    UpdateScrollBar();
    Repaint();
    return result;
}

void CHostList::SetEntryAddress(int index, DWORD address) {
    if (Entry* entry = EntryAt(index)) entry->Address = address;
}

DWORD CHostList::GetEntryAddress(int index) const {
    const Entry* entry = EntryAt(index);
    return entry ? entry->Address : 0;
}

void CHostList::SetEntryCheck(int index, int value) {
    Entry* entry = EntryAt(index);
    if (!entry) return;
    entry->Check = value < 0 ? !entry->Check : (value != 0);
    Repaint();
}

BOOL CHostList::GetEntryCheck(int index) const {
    const Entry* entry = EntryAt(index);
    return entry ? entry->Check : FALSE;
}

int CHostList::FindEntry(DWORD address) const {
    for (int i = static_cast<int>(m_entries.size()) - 1; i >= 0; --i) {
        if (m_entries[static_cast<size_t>(i)]->Address == address) return i;
    }
    return -1;
}

void CHostList::RemoveAllEntries() {
    if (Hwnd()) ::SendMessageW(Hwnd(), LB_RESETCONTENT, 0, 0);
    m_entries.clear();
    UpdateScrollBar();
    Repaint();
}

std::wstring CHostList::EntryText(int index) const {
    if (!EntryAt(index)) return {};
    const LRESULT length = ::SendMessageW(Hwnd(), LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    std::wstring text(static_cast<size_t>(std::max<LRESULT>(length, 0)) + 1, L'\0');
    const LRESULT got =
        ::SendMessageW(Hwnd(), LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(std::max<LRESULT>(got, 0)));
    return text;
}

void CHostList::UpdateScrollBar() {
    if (!m_scrollBar.Hwnd() || !Hwnd()) return;
    RECT client{};
    ::GetClientRect(Hwnd(), &client);
    m_scrollBar.SetInfo(CListScrollBar::kRange | CListScrollBar::kPage, 0, Count(), client.bottom / kEntryHeight, 0,
                        true);
    SyncScrollPosition();
}

void CHostList::SyncScrollPosition() {
    if (!m_scrollBar.Hwnd()) return;
    m_scrollBar.SetInfo(CListScrollBar::kPosition, 0, 0, 0,
                        static_cast<int>(::SendMessageW(Hwnd(), LB_GETTOPINDEX, 0, 0)), true);
}

void CHostList::Repaint() {
    if (Hwnd()) ::InvalidateRect(Hwnd(), nullptr, FALSE);
}

void CHostList::CancelPendingRename() {
    m_pendingRename = -1;
    if (m_timer) ::KillTimer(Hwnd(), m_timer);
    m_timer = 0;
    ExTrace(L"OnDblClick");
}

int CHostList::ItemAt(LPARAM point) const {
    const LRESULT hit = ::SendMessageW(Hwnd(), LB_ITEMFROMPOINT, 0, point);
    if (HIWORD(hit) != 0) return -1;   // outside every entry
    const int index = LOWORD(hit);
    return index < Count() ? index : -1;
}

LRESULT CHostList::OnButtonDown(WPARAM wParam, LPARAM lParam) {
    ExTrace(L"OnLButtonDown");
    m_pendingRename = -1;
    const int index = ItemAt(lParam);
    if (index >= 0) {
        if (RenameInPlace && index == static_cast<int>(::SendMessageW(Hwnd(), LB_GETCURSEL, 0, 0))) {
            m_pendingRename = index;
            return 0;
        }
        if (CheckBoxes) {
            SetEntryCheck(index, -1);
            ::SendMessageW(::GetParent(Hwnd()), WM_LISTCHECKED, static_cast<WPARAM>(index),
                           static_cast<LPARAM>(GetEntryCheck(index)));
        }
    }
    const LRESULT result = CallDefault(WM_LBUTTONDOWN, wParam, lParam);
    Repaint();
    return result;
}

LRESULT CHostList::OnButtonUp(WPARAM wParam, LPARAM lParam) {
    ExTrace(L"OnLButtonUp");
    if (ItemAt(lParam) >= 0 && m_pendingRename >= 0) {
        m_timer = ::SetTimer(Hwnd(), kClickTimer, ::GetDoubleClickTime() + 100, nullptr);
    }
    return CallDefault(WM_LBUTTONUP, wParam, lParam);
}

void CHostList::OnClickTimer() {
    ::KillTimer(Hwnd(), kClickTimer);
    m_timer = 0;
    if (m_pendingRename >= 0) {
        const int index = m_pendingRename;
        m_pendingRename = -1;
        EditEntry(index);
    }
}

void CHostList::EditEntry(int index) {
    if (IsEditing() || !EntryAt(index)) return;
    RECT client{};
    ::GetClientRect(Hwnd(), &client);
    const int top = static_cast<int>(::SendMessageW(Hwnd(), LB_GETTOPINDEX, 0, 0));
    const int visible = std::max(1, static_cast<int>(client.bottom / kEntryHeight));
    if (index < top || index >= top + visible) {
        ::SendMessageW(Hwnd(), LB_SETTOPINDEX, static_cast<WPARAM>(index < top ? index : index - visible + 1), 0);
        SyncScrollPosition();
    }
    RECT rect{};
    ::SendMessageW(Hwnd(), LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&rect));
    rect.left += ShowIcons ? kEditLeftWithIcons : kEditLeftPlain;
    rect.right -= 1;
    if (m_editor.Open(Hwnd(), rect, EntryText(index), kNickLimit)) m_editing = index;
}

void CHostList::OnEditDone(bool accept) {
    const std::wstring text = m_editor.Text();
    const int index = accept ? m_editing : -1;
    m_editor.Close();
    const LRESULT keep = ::SendMessageW(::GetParent(Hwnd()), WM_LISTEDITDONE, static_cast<WPARAM>(index),
                                        reinterpret_cast<LPARAM>(text.c_str()));
    if (keep && EntryAt(index)) {
        const DWORD address = GetEntryAddress(index);
        const BOOL check = GetEntryCheck(index);
        const bool wasSelected = static_cast<int>(::SendMessageW(Hwnd(), LB_GETCURSEL, 0, 0)) == index;
        DeleteEntry(index);
        const int at = InsertEntry(index, text.c_str());
        SetEntryAddress(at, address);
        SetEntryCheck(at, check);
        if (wasSelected) ::SendMessageW(Hwnd(), LB_SETCURSEL, static_cast<WPARAM>(at), 0);
        Modified = TRUE;
    }
    m_editing = -1;
    Repaint();
}

void CHostList::OnScrollBarPos(int position) {
    ::SendMessageW(Hwnd(), WM_SETREDRAW, FALSE, 0);
    ::SendMessageW(Hwnd(), LB_SETTOPINDEX, static_cast<WPARAM>(position), 0);
    SyncScrollPosition();
    ::SendMessageW(Hwnd(), WM_SETREDRAW, TRUE, 0);
    Repaint();
}

void CHostList::PaintEntry(HDC dc, int index, const RECT& rect, bool selected) const {
    const bool highlight = selected && HighlightSelection;
    if (highlight) ::FillRect(dc, &rect, theSkin.BaseBrush.Get());
    int x = rect.left + kIconLeft;
    const int iconTop = rect.top + (rect.bottom - rect.top - kIconSize) / 2;
    if (ShowIcons) {
        if (theSkin.HostIcon) {
            ::DrawIconEx(dc, x, iconTop, theSkin.HostIcon.Get(), kIconSize, kIconSize, 0, nullptr, DI_NORMAL);
        }
        x += kIconSize + 2;
    }
    if (CheckBoxes) {
        DrawSkinCheckMark(dc, POINT{x, iconTop}, kIconSize, GetEntryCheck(index) != FALSE);
        x += kIconSize + 2;
    }
    const std::wstring text = L" " + EntryText(index) + L" ";
    const RECT textRect{x, rect.top, rect.right, rect.bottom};
    DrawSkinText(dc, text.c_str(), textRect, highlight ? TextOnBase() : theSkin.DarkColor,
                 DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    if (selected && !HighlightSelection) {
        // The selection still shows, quietly: a thin line in the base colour under the entry.
        const RECT line{textRect.left, rect.bottom - 2, rect.right - 2, rect.bottom - 1};
        ::FillRect(dc, &line, theSkin.BaseBrush.Get());
    }
}

void CHostList::Paint(HDC dc, const RECT& client) const {
    ::FillRect(dc, &client, theSkin.PaperBrush.Get());
    const int count = Count();
    const int selected = static_cast<int>(::SendMessageW(Hwnd(), LB_GETCURSEL, 0, 0));
    for (int i = static_cast<int>(::SendMessageW(Hwnd(), LB_GETTOPINDEX, 0, 0)); i < count; ++i) {
        RECT rect{};
        ::SendMessageW(Hwnd(), LB_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&rect));
        if (rect.top >= client.bottom) break;
        PaintEntry(dc, i, rect, i == selected);
    }
}

LRESULT CHostList::ControlProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_LBUTTONDOWN:
            return OnButtonDown(wParam, lParam);
        case WM_LBUTTONUP:
            return OnButtonUp(wParam, lParam);
        case WM_TIMER:
            if (wParam == kClickTimer) {
                OnClickTimer();
                return 0;
            }
            break;
        case WM_LISTEDITDONE:
            OnEditDone(wParam != 0);
            return 0;
        case WM_SCROLLBARPOS:
            OnScrollBarPos(static_cast<int>(wParam));
            return 0;
        case WM_CTLCOLOREDIT:
            ::SetTextColor(reinterpret_cast<HDC>(wParam), theSkin.DarkColor);
            ::SetBkColor(reinterpret_cast<HDC>(wParam), theSkin.PaperColor);
            return reinterpret_cast<LRESULT>(theSkin.PaperBrush.Get());
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            PaintDoubleBuffered(Hwnd(), [this](HDC dc, const RECT& client) { Paint(dc, client); });
            return 0;
        case WM_KEYDOWN:
        case WM_VSCROLL:
        case WM_MOUSEWHEEL:
        case LB_SETCURSEL: {
            const LRESULT result = CallDefault(message, wParam, lParam);
            SyncScrollPosition();
            Repaint();
            return result;
        }
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            Repaint();
            break;
        default:
            break;
    }
    return CallDefault(message, wParam, lParam);
}
