// The program's one look, drawn with the skin (CSkin): the window background in the base
// colour, paper panels in skin frames, and the owner-drawn buttons, tab buttons, check boxes and
// close buttons. Every routine draws into any device context, so a bitmap's does as well as the
// screen's. Main thread (and the progress thread, which only reads the skin).
#pragma once

#include <windows.h>

// The base-colour background of a window, with a light edge at the top and left and a dark one
// at the bottom and right.
void DrawSkinBackground(HDC dc, const RECT& rect);
// A paper panel inside a skin frame; the frame's rings lie up to 2 pixels left of and above rect.
void DrawSkinPanel(HDC dc, const RECT& rect);
// Text in the skin's text font on a transparent background.
void DrawSkinText(HDC dc, const wchar_t* text, RECT rect, COLORREF color, UINT format);

// A push or tab button with its window text; `selected` draws it in the base colour.
void DrawSkinButton(const DRAWITEMSTRUCT& item, bool selected);
// The small close button: a cross on the base colour.
void DrawSkinCloseButton(const DRAWITEMSTRUCT& item);
// A check box with its window text: a 14 x 14 box, ticked when `checked`.
void DrawSkinCheckBox(const DRAWITEMSTRUCT& item, bool checked);
// The box alone, at its top-left corner `at` (also the host list's check boxes).
void DrawSkinCheckMark(HDC dc, POINT at, int size, bool checked);
