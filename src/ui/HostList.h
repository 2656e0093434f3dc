// CHostList: the owner-drawn list of hosts on the Friends and Remote Hosts pages. Each entry is a
// text and a record the list owns (the host's address and a check mark). Optional host icons,
// check boxes toggled by a click, a highlighted selection, and renaming in place: a second single
// click on the selected entry opens an editor once the double-click time (plus 100 ms) has passed
// without a double click. It has a scroll bar of its own (CListScrollBar) and paints itself
// double-buffered through Paint. Main thread.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "ui/HostListEdit.h"
#include "ui/ListScrollBar.h"
#include "ui/SubclassedControl.h"
#include "ui/UiMessages.h"

class CHostList : public CSubclassedControl {
public:
    static constexpr int kEntryHeight = 18;
    static constexpr int kScrollBarWidth = 14;
    static constexpr UINT_PTR kClickTimer = 50;
    static constexpr int kNickLimit = 30;

    // The list in `rect` less 14 pixels at the right, where its scroll bar goes.
    bool Create(const RECT& rect, HWND parent, int id);

    int AddEntry(const wchar_t* text);
    int InsertEntry(int index, const wchar_t* text);
    int DeleteEntry(int index);
    void SetEntryAddress(int index, DWORD address);
    [[nodiscard]] DWORD GetEntryAddress(int index) const;
    void SetEntryCheck(int index, int value);   // a negative value toggles
    [[nodiscard]] BOOL GetEntryCheck(int index) const;
    [[nodiscard]] int FindEntry(DWORD address) const;
    void RemoveAllEntries();
    [[nodiscard]] int Count() const;
    [[nodiscard]] std::wstring EntryText(int index) const;
    [[nodiscard]] BOOL IsEditing() const { return m_editor.Hwnd() != nullptr; }
    [[nodiscard]] HWND EditorHwnd() const { return m_editor.Hwnd(); }
    [[nodiscard]] int PendingRename() const noexcept { return m_pendingRename; }
    virtual void CancelPendingRename();
    // Opens the in-place editor on entry `index`.
    void EditEntry(int index);
    [[nodiscard]] const CListScrollBar& ScrollBar() const noexcept { return m_scrollBar; }

    void Paint(HDC dc, const RECT& client) const;

    BOOL ShowIcons = FALSE;
    BOOL CheckBoxes = FALSE;
    BOOL HighlightSelection = FALSE;
    BOOL RenameInPlace = FALSE;
    BOOL Modified = FALSE;

protected:
    LRESULT ControlProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    struct Entry {
        DWORD Address = 0;
        BOOL Check = FALSE;
    };
    Entry* EntryAt(int index) const;
    int ItemAt(LPARAM point) const;
    void UpdateScrollBar();
    void SyncScrollPosition();
    void Repaint();
    LRESULT OnButtonDown(WPARAM wParam, LPARAM lParam);
    LRESULT OnButtonUp(WPARAM wParam, LPARAM lParam);
    void OnClickTimer();
    void OnEditDone(bool accept);
    void OnScrollBarPos(int position);
    void PaintEntry(HDC dc, int index, const RECT& rect, bool selected) const;

    UINT_PTR m_timer = 0;
    int m_pendingRename = -1;
    int m_editing = -1;
    CHostListEdit m_editor;
    CListScrollBar m_scrollBar;
    std::vector<std::unique_ptr<Entry>> m_entries;   // in list order, one per entry
};
