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

struct KernelHandleTraits {      // events, threads, processes, mappings
    using Handle = HANDLE;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::CloseHandle(h); }
};
struct RegKeyTraits {
    using Handle = HKEY;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::RegCloseKey(h); }
};
struct GlobalTraits {            // HGLOBAL from GlobalAlloc
    using Handle = HGLOBAL;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::GlobalFree(h); }
};
struct GdiObjectTraits {         // brushes, pens, bitmaps, fonts
    using Handle = HGDIOBJ;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::DeleteObject(h); }
};
template <typename GdiHandle>
struct TypedGdiObjectTraits {    // one kind of GDI object, so readers need no casts
    using Handle = GdiHandle;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::DeleteObject(h); }
};
struct IconTraits {
    using Handle = HICON;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::DestroyIcon(h); }
};
struct MenuTraits {
    using Handle = HMENU;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::DestroyMenu(h); }
};
struct DcTraits {                // memory device contexts from CreateCompatibleDC
    using Handle = HDC;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::DeleteDC(h); }
};
struct SocketTraits {
    using Handle = SOCKET;
    static Handle Invalid() noexcept { return INVALID_SOCKET; }
    static void Close(Handle h) noexcept { ::closesocket(h); }
};
struct WsaEventTraits {          // Winsock event objects from WSACreateEvent
    using Handle = WSAEVENT;
    static Handle Invalid() noexcept { return WSA_INVALID_EVENT; }
    static void Close(Handle h) noexcept { ::WSACloseEvent(h); }
};
struct LocalMemoryTraits {       // buffers the system allocated for us (FormatMessageW)
    using Handle = HLOCAL;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::LocalFree(h); }
};

template <typename Interface>
struct ComTraits {               // COM interface pointers: one reference each
    using Handle = Interface*;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { h->Release(); }
};

using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueRegKey = UniqueHandle<RegKeyTraits>;
using UniqueGlobal = UniqueHandle<GlobalTraits>;
using UniqueGdiObject = UniqueHandle<GdiObjectTraits>;
using UniqueBrush = UniqueHandle<TypedGdiObjectTraits<HBRUSH>>;
using UniquePen = UniqueHandle<TypedGdiObjectTraits<HPEN>>;
using UniqueBitmap = UniqueHandle<TypedGdiObjectTraits<HBITMAP>>;
using UniqueFont = UniqueHandle<TypedGdiObjectTraits<HFONT>>;
using UniqueIcon = UniqueHandle<IconTraits>;
using UniqueMenu = UniqueHandle<MenuTraits>;
using UniqueDc = UniqueHandle<DcTraits>;
using UniqueSocket = UniqueHandle<SocketTraits>;
using UniqueWsaEvent = UniqueHandle<WsaEventTraits>;
using UniqueLocalMemory = UniqueHandle<LocalMemoryTraits>;
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

