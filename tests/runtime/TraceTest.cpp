// The trace log: numbering, whole lines, overflow. Lines are captured from the debugger output
// by a vectored exception handler (tests/support/DebugOutputCapture.h).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "runtime/Trace.h"
#include "support/DebugOutputCapture.h"

namespace {

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
