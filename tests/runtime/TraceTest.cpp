// The trace log as a debugger shows it: numbered whole lines, also when several threads trace.
#include <windows.h>

#include <gtest/gtest.h>

#include <new>
#include <string>
#include <thread>
#include <vector>

#include "runtime/Trace.h"
#include "support/DebugOutputCapture.h"
#include "support/TestHelpers.h"

extern CTraceLock theTraceLock;   // the test program's, with its other process-wide objects

TEST(Trace, LinesFromSeveralThreadsAreNumberedInOrderAndNeverInterleave) {
    DebugOutputCapture capture;
    TestEvent go;  // all threads trace long lines at once: two written together would show
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([t, &go] {
            const std::wstring letters(3000, wchar_t(L'a' + t));
            go.Wait();
            for (int i = 0; i < 250; ++i) ExTrace(L"%s", letters.c_str());   // %s: a wide string
        });
    go.Set();
    for (auto& thread : threads) thread.join();
    const auto lines = capture.Lines();
    ASSERT_EQ(lines.size(), 2000u);
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(std::stoi(lines[i].substr(1, 8)), std::stoi(lines[0].substr(1, 8)) + int(i));
        EXPECT_EQ(lines[i].substr(0, 1) + lines[i].substr(9), L"#  " + std::wstring(3000, lines[i].at(11)) + L"\r\n");
    }
}

// At exit the lock's removal waits for a line in progress (serving threads still trace then) and
// closes the trace: later lines are dropped, and no thread ever meets a deleted lock.
TEST(Trace, RemovingTheLockWaitsForALineInProgressAndDropsLaterLines) {
    DebugOutputCapture capture;
    capture.Hold(L"in progress");
    std::thread serving([] { ExTrace(L"in progress"); });
    ASSERT_TRUE(capture.WaitHeld());
    TestEvent removed;
    std::thread exiting([&] { theTraceLock.~CTraceLock(); removed.Set(); });
    EXPECT_FALSE(removed.Wait(500));   // the line holds the lock
    capture.Release();
    EXPECT_TRUE(removed.Wait());
    serving.join();
    exiting.join();
    std::thread([] { ExTrace(L"too late"); }).join();
    new (&theTraceLock) CTraceLock();   // the test program traces on
    ExTrace(L"again");
    EXPECT_EQ(capture.Messages(), (std::vector<std::wstring>{L"in progress", L"again"}));
}
