// Double buffering for WM_PAINT: drawing goes to an off-screen bitmap of the painted area, which
// reaches the screen in one BitBlt when the buffer goes out of scope, so a window never shows a
// half-painted state. Coordinates in the buffer are those of the target device context.
#pragma once

#include <windows.h>

#include <functional>

#include "runtime/Handles.h"

class CPaintBuffer {
public:
    // area: the part of the target to repaint (usually the client rectangle).
    CPaintBuffer(HDC target, const RECT& area) noexcept;
    CPaintBuffer(const CPaintBuffer&) = delete;
    CPaintBuffer& operator=(const CPaintBuffer&) = delete;
    // Copies the buffer to the target.
    ~CPaintBuffer();

    // The device context to draw into: the buffer, or the target itself if no buffer could be
    // made (then drawing goes straight to the screen).
    [[nodiscard]] HDC Dc() const noexcept { return m_memory ? m_memory.Get() : m_target; }

private:
    HDC m_target;
    RECT m_area;
    UniqueDc m_memory;
    UniqueGdiObject m_bitmap;
    HGDIOBJ m_oldBitmap = nullptr;
};

// The whole WM_PAINT of a window: BeginPaint, the client area drawn by `paint` into a buffer,
// EndPaint. `paint` receives the buffer's device context and the client rectangle.
void PaintDoubleBuffered(HWND window, const std::function<void(HDC, const RECT&)>& paint);
