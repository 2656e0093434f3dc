#include "framework/PaintBuffer.h"

CPaintBuffer::CPaintBuffer(HDC target, const RECT& area) noexcept : m_target(target), m_area(area) {
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    if (width <= 0 || height <= 0) return;
    m_memory.Reset(::CreateCompatibleDC(target));
    m_bitmap.Reset(::CreateCompatibleBitmap(target, width, height));
    if (!m_memory || !m_bitmap) {
        m_memory.Reset();
        return;
    }
    m_oldBitmap = ::SelectObject(m_memory.Get(), m_bitmap.Get());
    // The buffer's origin is the area's top-left corner, so callers keep target coordinates.
    ::SetViewportOrgEx(m_memory.Get(), -area.left, -area.top, nullptr);
}

CPaintBuffer::~CPaintBuffer() {
    if (!m_memory) return;
    ::SetViewportOrgEx(m_memory.Get(), 0, 0, nullptr);
    ::BitBlt(m_target, m_area.left, m_area.top, m_area.right - m_area.left, m_area.bottom - m_area.top,
             m_memory.Get(), 0, 0, SRCCOPY);
    ::SelectObject(m_memory.Get(), m_oldBitmap);
}
