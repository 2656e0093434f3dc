// Collects what reaches the debugger output (OutputDebugString) while it is alive, so that a test
// can read the trace lines its code wrote: a vectored exception handler sees the debug string
// exceptions first, wide on Windows (DBG_PRINTEXCEPTION_WIDE_C), ANSI from Wine (DBG_PRINTEXCEPTION_C).
// One capture at a time per process; any thread. It can hold a thread inside the call that writes a
// chosen line (for ExTrace: inside the trace lock), to show what other threads do meanwhile.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "support/TestHelpers.h"

class DebugOutputCapture {
public:
    DebugOutputCapture() { s_self = this; m_handler = ::AddVectoredExceptionHandler(1, &Handler); }
    ~DebugOutputCapture() { ::RemoveVectoredExceptionHandler(m_handler); s_self = nullptr; }

    std::vector<std::wstring> Lines() { CriticalSectionLock lock(m_lock); return m_lines; }
    // The next thread whose line contains `text` stays in its call until Release.
    void Hold(std::wstring text) { CriticalSectionLock lock(m_lock); m_hold = std::move(text); }
    bool WaitHeld() { return m_held.Wait(); }
    void Release() { m_release.Set(); }

    // The trace lines without their "#nnnnnnnn  " numbers and CR LF; other lines as they came.
    std::vector<std::wstring> Messages() {
        std::vector<std::wstring> messages = Lines();
        for (auto& m : messages) {
            if (m.size() >= 11 && m[0] == L'#' && m.compare(9, 2, L"  ") == 0) m.erase(0, 11);
            if (m.size() >= 2 && m.compare(m.size() - 2, 2, L"\r\n") == 0) m.resize(m.size() - 2);
        }
        return messages;
    }

private:
    static LONG CALLBACK Handler(EXCEPTION_POINTERS* info) {
        const EXCEPTION_RECORD& record = *info->ExceptionRecord;
        const bool wide = record.ExceptionCode == DBG_PRINTEXCEPTION_WIDE_C;
        if (!s_self || record.NumberParameters < 2 || (!wide && record.ExceptionCode != DBG_PRINTEXCEPTION_C))
            return EXCEPTION_CONTINUE_SEARCH;
        std::wstring line;
        if (wide) line = reinterpret_cast<const wchar_t*>(record.ExceptionInformation[1]);
        else for (auto* c = reinterpret_cast<const unsigned char*>(record.ExceptionInformation[1]); *c; ++c) line += wchar_t(*c);
        bool hold = false;
        {   // not held under the lock: the other threads' lines go on meanwhile
            CriticalSectionLock lock(s_self->m_lock);
            if ((hold = !s_self->m_hold.empty() && line.find(s_self->m_hold) != std::wstring::npos)) s_self->m_hold.clear();
            s_self->m_lines.push_back(std::move(line));
        }
        if (hold) s_self->m_held.Set(), s_self->m_release.Wait();
        return EXCEPTION_CONTINUE_EXECUTION;
    }

    static inline DebugOutputCapture* s_self = nullptr;   // not copied: it holds a lock and events
    PVOID m_handler = nullptr;
    CriticalSection m_lock;
    std::vector<std::wstring> m_lines;
    std::wstring m_hold;
    TestEvent m_held, m_release;
};
