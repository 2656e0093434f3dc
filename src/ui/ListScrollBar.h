// The host list's own scroll bar: arrows at both ends, a track and a thumb, all drawn with the
// skin. A click on an arrow moves by one entry, on the track by a page less one, and the thumb
// can be dragged; every change of position is sent to the list as WM_SCROLLBARPOS. Main thread.
#pragma once

#include <windows.h>

#include "framework/Window.h"
#include "ui/UiMessages.h"

class CListScrollBar : public CWindow {
public:
    enum class Part { None, LineUp, LineDown, PageUp, PageDown, Thumb };
    static constexpr UINT kRange = 1, kPage = 2, kPosition = 4;

    bool Create(const RECT& rect, HWND parent, HWND notify, bool vertical = true);

    // Like SetScrollInfo: the mask says which of range (min, max), page and position to take.
    void SetInfo(UINT mask, int minimum, int maximum, int page, int position, bool redraw);
    // Clamps to minimum .. maximum - 1; a change repaints and tells the list.
    void SetPosition(int position);
    [[nodiscard]] int Position() const noexcept { return m_position; }
    [[nodiscard]] int ThumbPos() const noexcept { return m_thumbPos; }
    [[nodiscard]] int ThumbLength() const noexcept { return m_thumbLength; }
    // What lies at `along` pixels from the end of the top arrow.
    [[nodiscard]] Part HitTest(int along) const noexcept;

    void Paint(HDC dc, const RECT& client) const;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void Recalc();
    void OnButtonDown(int along);
    void OnMouseMove(int along);
    int Along(LPARAM lParam) const;

    int m_thumbPos = 0;
    int m_thumbLength = 0;
    int m_track = 0;
    int m_range = 0;
    bool m_vertical = true;
    int m_arrowWidth = 14;
    int m_arrowLength = 10;
    int m_minThumb = 0;
    int m_minimum = 0;
    int m_maximum = 0;
    int m_page = 0;
    int m_position = 0;
    bool m_dragging = false;
    int m_grip = 0;
    HWND m_notify = nullptr;
};
