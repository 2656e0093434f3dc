// Plain drawing of the owner-drawn controls in system colours, until the skin paints them:
// a push button with its caption centred, pressed and focused states shown.
#pragma once

#include <windows.h>

// Draws an owner-drawn button (WM_DRAWITEM) with the button's own window text as caption.
void DrawPlainButton(const DRAWITEMSTRUCT& item);

// Draws an owner-drawn close button: a small cross on the button face.
void DrawPlainCloseButton(const DRAWITEMSTRUCT& item);
