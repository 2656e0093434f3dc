#include "runtime/Trace.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {
constexpr int kLineChars = 4096;
constexpr wchar_t kPrefixFormat[] = L"#%08d  ";
constexpr wchar_t kLineEnd[] = L"\r\n";
constexpr wchar_t kErrorLine[] = L"ExTrace error\n";

// Owned by the trace facility; the buffer and the counter are touched only under the lock.
// The lock exists between CTraceLock's construction and destruction.
CRITICAL_SECTION g_lock;
bool g_lockReady = false;
int g_sequence = 0;
wchar_t g_line[kLineChars];
}  // namespace

CTraceLock::CTraceLock() {
    ::InitializeCriticalSection(&g_lock);
    g_lockReady = true;
}

CTraceLock::~CTraceLock() {
    g_lockReady = false;
    ::DeleteCriticalSection(&g_lock);
}

void ExTraceV(const wchar_t* format, va_list args) {
    if (!g_lockReady) return;  // outside the lock's lifetime nothing may trace
    // A trace between a failed call and its report must not change the error the report reads.
    const DWORD lastError = ::GetLastError();
    ::EnterCriticalSection(&g_lock);
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
    ::LeaveCriticalSection(&g_lock);
    ::SetLastError(lastError);
}

void ExTrace(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    ExTraceV(format, args);
    va_end(args);
}
