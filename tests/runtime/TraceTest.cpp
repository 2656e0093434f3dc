// The trace log as a debugger shows it: numbered whole lines, also when several threads trace.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "runtime/Trace.h"
#include "support/DebugOutputCapture.h"

namespace {

int NumberOf(const std::wstring& line) { return std::stoi(line.substr(1, 8)); }

TEST(Trace, LinesAreNumberedInOrderAndEndInCrLf) {
    DebugOutputCapture capture;
    ExTrace(L"first %s %d %X", L"wide", 42, 0xBEEFu);
    ExTrace(L"second");
    const auto lines = capture.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].substr(9), L"  first wide 42 BEEF\r\n");
    wchar_t second[32];
    _snwprintf(second, 32, L"#%08d  second\r\n", NumberOf(lines[0]) + 1);
    EXPECT_EQ(lines[1], second);
}

TEST(Trace, LinesFromSeveralThreadsNeverInterleave) {
    DebugOutputCapture capture;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] { for (int i = 0; i < 200; ++i) ExTrace(L"thread %d line %d", t, i); });
    for (auto& thread : threads) thread.join();
    const auto lines = capture.Lines();
    ASSERT_EQ(lines.size(), 800u);
    for (size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(NumberOf(lines[i]), NumberOf(lines[0]) + int(i));
        EXPECT_EQ(lines[i].find(L"  thread "), 9u);
        EXPECT_EQ(lines[i].substr(lines[i].size() - 2), L"\r\n");
    }
}

}  // namespace
