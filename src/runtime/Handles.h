// Move-only owners of the Windows handles the program uses. Each frees its handle with the
// one call that matches how it was obtained; Detach() hands ownership over (for instance to
// SetClipboardData, after the hand-over succeeded).
#pragma once

#include <windows.h>
#include <winsock2.h>

#include <utility>


template <typename Traits>
class UniqueHandle {
public:
    using Handle = typename Traits::Handle;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Handle handle) noexcept : m_handle(handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept : m_handle(other.Detach()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) Reset(other.Detach());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { Reset(); }

    [[nodiscard]] Handle Get() const noexcept { return m_handle; }
    [[nodiscard]] bool IsValid() const noexcept { return m_handle != Traits::Invalid(); }
    explicit operator bool() const noexcept { return IsValid(); }

    [[nodiscard]] Handle Detach() noexcept { return std::exchange(m_handle, Traits::Invalid()); }
    void Reset(Handle handle = Traits::Invalid()) noexcept {
        Handle old = std::exchange(m_handle, handle);
        if (old != Traits::Invalid()) Traits::Close(old);
    }
    // For out-parameters of creating calls: frees what is held and gives the slot.
    Handle* Put() noexcept { Reset(); return &m_handle; }

private:
    Handle m_handle = Traits::Invalid();
};

// How a kind of handle is told empty and freed: null (or the given value) is none, and Free
// releases one; its result is not looked at.
template <typename H, auto Free, auto None = nullptr>
struct HandleTraits {
    using Handle = H;
    static Handle Invalid() noexcept { return Handle(None); }
    static void Close(Handle h) noexcept { Free(h); }
};
template <typename Interface>
struct ComTraits {               // COM interface pointers: one reference each
    using Handle = Interface*;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { h->Release(); }
};

using UniqueKernelHandle = UniqueHandle<HandleTraits<HANDLE, ::CloseHandle>>;   // events, threads, processes, mappings
using UniqueRegKey = UniqueHandle<HandleTraits<HKEY, ::RegCloseKey>>;
using UniqueGlobal = UniqueHandle<HandleTraits<HGLOBAL, ::GlobalFree>>;                // from GlobalAlloc
using UniqueGdiObject = UniqueHandle<HandleTraits<HGDIOBJ, ::DeleteObject>>;           // brushes, pens, bitmaps, fonts
using UniqueBrush = UniqueHandle<HandleTraits<HBRUSH, ::DeleteObject>>;                 // one kind of GDI object each,
using UniquePen = UniqueHandle<HandleTraits<HPEN, ::DeleteObject>>;                     // so that readers need no casts
using UniqueBitmap = UniqueHandle<HandleTraits<HBITMAP, ::DeleteObject>>;
using UniqueFont = UniqueHandle<HandleTraits<HFONT, ::DeleteObject>>;
using UniqueIcon = UniqueHandle<HandleTraits<HICON, ::DestroyIcon>>;
using UniqueMenu = UniqueHandle<HandleTraits<HMENU, ::DestroyMenu>>;
using UniqueDc = UniqueHandle<HandleTraits<HDC, ::DeleteDC>>;                           // memory DCs from CreateCompatibleDC
using UniqueSocket = UniqueHandle<HandleTraits<SOCKET, ::closesocket, INVALID_SOCKET>>;
using UniqueWsaEvent = UniqueHandle<HandleTraits<WSAEVENT, ::WSACloseEvent>>;          // from WSACreateEvent (none: null)
using UniqueLocalMemory = UniqueHandle<HandleTraits<HLOCAL, ::LocalFree>>;             // what FormatMessageW allocated
template <typename Interface>
using UniqueCom = UniqueHandle<ComTraits<Interface>>;

// A locked global block; unlocks on scope exit (movable, so that an object can hold a block
// locked beyond one scope, e.g. in a std::optional). Data() is null when the lock failed.
class GlobalLockGuard {
public:
    explicit GlobalLockGuard(HGLOBAL block) noexcept
        : m_block(block), m_data(block ? ::GlobalLock(block) : nullptr) {}
    GlobalLockGuard(GlobalLockGuard&& other) noexcept
        : m_block(other.m_block), m_data(std::exchange(other.m_data, nullptr)) {}
    GlobalLockGuard& operator=(GlobalLockGuard&& other) noexcept {
        if (this != &other) {
            if (m_data) ::GlobalUnlock(m_block);
            m_block = other.m_block;
            m_data = std::exchange(other.m_data, nullptr);
        }
        return *this;
    }
    GlobalLockGuard(const GlobalLockGuard&) = delete;
    GlobalLockGuard& operator=(const GlobalLockGuard&) = delete;
    ~GlobalLockGuard() { if (m_data) ::GlobalUnlock(m_block); }
    [[nodiscard]] void* Data() const noexcept { return m_data; }
    [[nodiscard]] SIZE_T Size() const noexcept { return m_block ? ::GlobalSize(m_block) : 0; }

private:
    HGLOBAL m_block;
    void* m_data;
};

// An object selected into a device context for the scope; restores the previous one.
class SelectGuard {
public:
    SelectGuard(HDC dc, HGDIOBJ object) noexcept : m_dc(dc), m_old(::SelectObject(dc, object)) {}
    SelectGuard(const SelectGuard&) = delete;
    SelectGuard& operator=(const SelectGuard&) = delete;
    ~SelectGuard() { if (m_old && m_old != HGDI_ERROR) ::SelectObject(m_dc, m_old); }

private:
    HDC m_dc;
    HGDIOBJ m_old;
};

// A window's device context (GetDC) for the scope; released with ReleaseDC.
class WindowDcGuard {
public:
    explicit WindowDcGuard(HWND hwnd) noexcept : m_hwnd(hwnd), m_dc(::GetDC(hwnd)) {}
    WindowDcGuard(const WindowDcGuard&) = delete;
    WindowDcGuard& operator=(const WindowDcGuard&) = delete;
    ~WindowDcGuard() { if (m_dc) ::ReleaseDC(m_hwnd, m_dc); }
    [[nodiscard]] HDC Get() const noexcept { return m_dc; }

private:
    HWND m_hwnd;
    HDC m_dc;
};

// A critical section, and the holder that keeps one entered for its scope.
class CriticalSection {
public:
    CriticalSection() noexcept { ::InitializeCriticalSection(&m_section); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;
    ~CriticalSection() { ::DeleteCriticalSection(&m_section); }
    void Enter() noexcept { ::EnterCriticalSection(&m_section); }
    void Leave() noexcept { ::LeaveCriticalSection(&m_section); }

private:
    CRITICAL_SECTION m_section;
};

// Any section with Enter and Leave: also the trace log's, which is never deleted.
template <typename Section>
class CriticalSectionLock {
public:
    explicit CriticalSectionLock(Section& section) noexcept : m_section(section) { m_section.Enter(); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;
    ~CriticalSectionLock() { m_section.Leave(); }

private:
    Section& m_section;
};

