// Collects what reaches the debugger output (OutputDebugString) while it is alive, so that a
// test can read the trace lines its code wrote. A vectored exception handler sees the debug
// string exceptions first: Windows raises the wide form (DBG_PRINTEXCEPTION_WIDE_C), Wine passes
// the text on as ANSI (DBG_PRINTEXCEPTION_C). One capture at a time per process; any thread.
// It can also hold a thread inside the call that writes a chosen line (for ExTrace: inside the
// trace lock), to show what other threads do meanwhile.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "runtime/Handles.h"
#include "support/TestHelpers.h"

class DebugOutputCapture {
public:
    DebugOutputCapture() { s_self = this; m_handler = ::AddVectoredExceptionHandler(1, &Handler); }
    DebugOutputCapture(const DebugOutputCapture&) = delete;
    DebugOutputCapture& operator=(const DebugOutputCapture&) = delete;
    ~DebugOutputCapture() { ::RemoveVectoredExceptionHandler(m_handler); s_self = nullptr; }

    std::vector<std::wstring> Lines() { CriticalSectionLock lock(m_lock); return m_lines; }
    void Clear() { CriticalSectionLock lock(m_lock); m_lines.clear(); }
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
        const EXCEPTION_RECORD* record = info->ExceptionRecord;
        const bool wide = record->ExceptionCode == DBG_PRINTEXCEPTION_WIDE_C;
        if (!s_self || record->NumberParameters < 2 || (!wide && record->ExceptionCode != DBG_PRINTEXCEPTION_C))
            return EXCEPTION_CONTINUE_SEARCH;
        std::wstring line;
        if (wide) line = reinterpret_cast<const wchar_t*>(record->ExceptionInformation[1]);
        else for (const char* c = reinterpret_cast<const char*>(record->ExceptionInformation[1]); *c; ++c)
            line += static_cast<wchar_t>(static_cast<unsigned char>(*c));
        bool hold = false;
        {
            CriticalSectionLock lock(s_self->m_lock);
            hold = !s_self->m_hold.empty() && line.find(s_self->m_hold) != std::wstring::npos;
            if (hold) s_self->m_hold.clear();
            s_self->m_lines.push_back(std::move(line));
        }
        if (hold) s_self->m_held.Set(), s_self->m_release.Wait();
        return EXCEPTION_CONTINUE_EXECUTION;
    }

    static inline DebugOutputCapture* s_self = nullptr;
    PVOID m_handler = nullptr;
    CriticalSection m_lock;
    std::vector<std::wstring> m_lines;
    std::wstring m_hold;
    TestEvent m_held, m_release;
};
