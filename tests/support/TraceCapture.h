// Collects the trace lines that reach the debugger output while it is alive. OutputDebugStringW
// raises an exception that a vectored handler can read; Wine passes the text on as ANSI.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "framework/Handles.h"

class TraceCapture {
public:
    TraceCapture() {
        s_self = this;
        m_handler = ::AddVectoredExceptionHandler(1, &Handler);
    }
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;
    ~TraceCapture() {
        ::RemoveVectoredExceptionHandler(m_handler);
        s_self = nullptr;
    }

    // The captured lines without their "#nnnnnnnn  " numbers and line ends.
    std::vector<std::wstring> Messages() {
        CriticalSectionLock lock(m_lock);
        std::vector<std::wstring> messages;
        for (const auto& line : m_lines) {
            std::wstring message = line.size() > 11 && line[0] == L'#' ? line.substr(11) : line;
            while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r')) message.pop_back();
            messages.push_back(std::move(message));
        }
        return messages;
    }

private:
    static LONG CALLBACK Handler(EXCEPTION_POINTERS* info) {
        const EXCEPTION_RECORD* record = info->ExceptionRecord;
        if (!s_self || record->NumberParameters < 2) return EXCEPTION_CONTINUE_SEARCH;
        std::wstring line;
        if (record->ExceptionCode == DBG_PRINTEXCEPTION_WIDE_C) {
            line = reinterpret_cast<const wchar_t*>(record->ExceptionInformation[1]);
        } else if (record->ExceptionCode == DBG_PRINTEXCEPTION_C) {
            for (const char* c = reinterpret_cast<const char*>(record->ExceptionInformation[1]); *c; ++c)
                line += static_cast<wchar_t>(static_cast<unsigned char>(*c));
        } else {
            return EXCEPTION_CONTINUE_SEARCH;
        }
        CriticalSectionLock lock(s_self->m_lock);
        s_self->m_lines.push_back(std::move(line));
        return EXCEPTION_CONTINUE_EXECUTION;
    }

    static inline TraceCapture* s_self = nullptr;
    PVOID m_handler = nullptr;
    CriticalSection m_lock;
    std::vector<std::wstring> m_lines;
};
