#include "runtime/Trace.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cwchar>

#include "runtime/Handles.h"

namespace {
constexpr int kLineChars = 4096;
constexpr wchar_t kPrefixFormat[] = L"#%08d  ";
constexpr wchar_t kLineEnd[] = L"\r\n";
constexpr wchar_t kErrorLine[] = L"ExTrace error\n";

// A critical section that is never deleted: the holder has no destructor that could. The trace
// lock needs that: at exit serving threads may still trace (they end with the process), and a
// lock deleted under one of them would hang or crash it.
class PermanentCriticalSection {
public:
    void Initialize() noexcept { ::InitializeCriticalSection(&m_section); }
    void Enter() noexcept { ::EnterCriticalSection(&m_section); }
    void Leave() noexcept { ::LeaveCriticalSection(&m_section); }

private:
    CRITICAL_SECTION m_section;
};

// A trace between a failed call and its report must not change the error the report reads.
class LastErrorKept {
public:
    LastErrorKept() noexcept : m_error(::GetLastError()) {}
    LastErrorKept(const LastErrorKept&) = delete;
    LastErrorKept& operator=(const LastErrorKept&) = delete;
    ~LastErrorKept() { ::SetLastError(m_error); }

private:
    DWORD m_error;
};

// Owned by the trace facility; the buffer and the counter are touched only under the lock.
// The lock is usable from CTraceLock's construction on and never deleted. Its removal only
// closes the trace, under the lock, so that a line in progress is finished first and later calls
// write nothing.
PermanentCriticalSection g_lock;
std::atomic<bool> g_lockReady{false};
bool g_closed = false;   // under the lock
int g_sequence = 0;
wchar_t g_line[kLineChars];
}  // namespace

CTraceLock::CTraceLock() {
    g_lock.Initialize();
    g_closed = false;
    g_lockReady = true;
}

CTraceLock::~CTraceLock() {
    const CriticalSectionLock hold(g_lock);
    g_closed = true;
}

void ExTraceV(const wchar_t* format, va_list args) {
    if (!g_lockReady) return;  // before the lock exists nothing may trace
    const LastErrorKept lastError;
    const CriticalSectionLock hold(g_lock);
    if (g_closed) return;
    const int number = g_sequence++;
    // The CRT's own _snwprintf family: %s takes a wide string there, whatever stdio mingw picks.
    const int prefix = ::_snwprintf(g_line, kLineChars, kPrefixFormat, number);
    bool ok = prefix > 0;
    if (ok) {
        // Room for the message: everything but the line end and the terminating null.
        const int room = kLineChars - prefix - 2;
        const int written = ::_vsnwprintf(g_line + prefix, room, format, args);
        ok = written >= 0 && written < room;
        if (ok) std::wcscpy(g_line + prefix + written, kLineEnd);
    }
    ::OutputDebugStringW(ok ? g_line : kErrorLine);
}

void ExTrace(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    ExTraceV(format, args);
    va_end(args);
}
