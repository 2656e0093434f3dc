// The trace log: numbering, whole lines, overflow. Lines are captured from the debugger output
// by a vectored exception handler (OutputDebugString raises DBG_PRINTEXCEPTION_WIDE_C).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "framework/Handles.h"
#include "runtime/Trace.h"

namespace {

// Collects what reaches OutputDebugStringW while it is alive.
class DebugOutputCapture {
public:
    DebugOutputCapture() { s_self = this; m_handler = ::AddVectoredExceptionHandler(1, &Handler); }
    ~DebugOutputCapture() { ::RemoveVectoredExceptionHandler(m_handler); s_self = nullptr; }
    std::vector<std::wstring> Lines() {
        CriticalSectionLock lock(m_lock);
        return m_lines;
    }

private:
    static LONG CALLBACK Handler(EXCEPTION_POINTERS* info) {
        // Windows raises the wide form; Wine passes the text on as ANSI.
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
    static inline DebugOutputCapture* s_self = nullptr;
    PVOID m_handler = nullptr;
    CriticalSection m_lock;
    std::vector<std::wstring> m_lines;
};

int NumberOf(const std::wstring& line) {
    return std::stoi(line.substr(1, line.find(L' ') - 1));
}

TEST(Trace, NumbersLinesWithEightDigitsAndEndsThemWithCrLf) {
    DebugOutputCapture capture;
    ExTrace(L"first %s %d %X", L"wide", 42, 0xBEEFu);
    ExTrace(L"second");
    auto lines = capture.Lines();
    ASSERT_EQ(lines.size(), 2u);
    ASSERT_EQ(lines[0].size(), 11u + 18u + 2u);  // "#nnnnnnnn  ", message, CR LF
    EXPECT_EQ(lines[0][0], L'#');
    EXPECT_EQ(lines[0].substr(9), L"  first wide 42 BEEF\r\n");
    const int first = NumberOf(lines[0]);
    wchar_t expected[64];
    _snwprintf(expected, 64, L"#%08d  second\r\n", first + 1);
    EXPECT_EQ(lines[1], expected);
}

TEST(Trace, OverlongMessageGivesErrorLineAndUsesUpItsNumber) {
    DebugOutputCapture capture;
    ExTrace(L"before");
    ExTrace(L"%s", std::wstring(5000, L'x').c_str());
    // The longest message that fits: 4096 - prefix (11) - "\r\n" - null; one more does not.
    ExTrace(L"%s", std::wstring(4096 - 11 - 3, L'y').c_str());
    ExTrace(L"%s", std::wstring(4096 - 11 - 2, L'z').c_str());
    ExTrace(L"after");
    auto lines = capture.Lines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[1], L"ExTrace error\n");
    EXPECT_EQ(lines[2].size(), 4095u);
    EXPECT_EQ(lines[3], L"ExTrace error\n");
    EXPECT_EQ(NumberOf(lines[4]), NumberOf(lines[0]) + 4);
}

TEST(Trace, LinesFromManyThreadsAreWholeAndConsecutive) {
    DebugOutputCapture capture;
    constexpr int kThreads = 4, kPerThread = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kPerThread; ++i) ExTrace(L"thread %d line %d", t, i);
        });
    }
    for (auto& thread : threads) thread.join();
    auto lines = capture.Lines();
    ASSERT_EQ(lines.size(), size_t(kThreads * kPerThread));
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(NumberOf(lines[i]), NumberOf(lines[0]) + int(i));
        EXPECT_EQ(lines[i].find(L"  thread "), 9u);
        EXPECT_EQ(lines[i].substr(lines[i].size() - 2), L"\r\n");
    }
}

}  // namespace
