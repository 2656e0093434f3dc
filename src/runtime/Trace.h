// The program's one diagnostic channel: numbered lines on the debugger output.
// Any thread may call ExTrace; lines are whole and numbered in the order threads enter the lock.
#pragma once

#include <cstdarg>

// printf-style with a wide format: %s takes a wide string, %d an int, %X an unsigned.
void ExTrace(const wchar_t* format, ...);
void ExTraceV(const wchar_t* format, va_list args);

// The trace lock's lifetime: created during static construction after the other process-wide
// objects, removed at exit before them. The program defines its instance with the others.
class CTraceLock {
public:
    CTraceLock();
    CTraceLock(const CTraceLock&) = delete;
    CTraceLock& operator=(const CTraceLock&) = delete;
    ~CTraceLock();
};
