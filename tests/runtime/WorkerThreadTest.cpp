// WorkerThread: a body runs on its own thread, is asked to stop and joined (or terminated when it
// does not listen), and a fault in it ends only that thread, with a line naming the thread.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "runtime/WorkerThread.h"
#include "support/DebugOutputCapture.h"
#include "support/TestHelpers.h"

using Body = std::function<DWORD(WorkerThread&)>;

// Runs the test's body; its hooks note, on the worker, what they saw.
class ProbeThread : public WorkerThread {
public:
    explicit ProbeThread(Body run) : body(std::move(run)) {}
    ~ProbeThread() override { Stop(true, 5000); }
    Body body;
    void* parameter = nullptr;
    UniqueKernelHandle thread;  // to wait on its end
    std::atomic<int> ends{0};
    bool crashed = false;
    TestEvent started;

    DWORD Run(void*) override { return body(*this); }
    void OnThreadStart(void* startedWith) override {
        parameter = startedWith;
        thread.Reset(::OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, ::GetCurrentThreadId()));
        started.Set();
    }
    void OnThreadEnd(bool crash, DWORD&) override { crashed = crash, ++ends; }
};

// One body at a time, on a thread of its own. Stop asks a body that polls the flag to end and joins
// it, and terminates one that never looks when the time-out passes (no end hook then).
TEST(WorkerThread, RunsOneBodyAtATimeAndStopAsksAndJoinsOrTerminatesIt) {
    TestEvent never;
    int marker = 0;
    const struct { const char* name; Body body; DWORD timeout, exitCode; int ends; } rows[] = {
        {"polls", [&](WorkerThread& w) -> DWORD { while (!w.IsStopRequested()) never.Wait(10); return 3; }, GenerousWait, 3, 2},
        {"ignores", [&](WorkerThread&) -> DWORD { return never.Wait(INFINITE) ? 1 : 2; }, 300, 0, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ProbeThread worker(row.body);
        ASSERT_TRUE(worker.Start(&marker) && worker.started.Wait());
        EXPECT_TRUE(worker.parameter == &marker && ::GetThreadId(worker.thread.Get()) != ::GetCurrentThreadId());
        EXPECT_TRUE(worker.IsRunning() && !worker.Start(nullptr) && worker.Stop(true, row.timeout));
        EXPECT_EQ(std::pair(worker.IsRunning(), WaitForThreadEnd(worker.thread.Get(), 0)), std::pair(false, row.exitCode));
        EXPECT_TRUE(!row.ends || (worker.Start(nullptr) && worker.Stop(true, row.timeout)));   // and again
        EXPECT_EQ(worker.ends.load(), row.ends);
    }
}

// A fault (noipa and volatile keep it from the compiler) or an exception that escapes the body ends
// only that thread, with a line naming it; a fault that system code handles (a page probe) stays there.
__attribute__((noipa)) static void WriteThroughNull() { volatile int* volatile target = nullptr; *target = 7; }
TEST(WorkerThread, FaultOrExceptionEndsOnlyThatThreadWithALineNamingIt) {
    void* released = ::VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    ASSERT_TRUE(::VirtualFree(released, 0, MEM_RELEASE));
    const struct { const char* name; Body body; bool crash; } rows[] = {
        {"null write", [](WorkerThread&) -> DWORD { WriteThroughNull(); return 8; }, true},
        {"exception", [](WorkerThread&) -> DWORD { throw std::runtime_error("escaped"); }, true},
        {"catch-all", [](WorkerThread&) -> DWORD { try { WriteThroughNull(); } catch (...) {} return 8; }, true},
        {"page probe", [=](WorkerThread&) -> DWORD { return ::IsBadReadPtr(released, 16) ? 0 : 9; }, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        DebugOutputCapture capture;
        ProbeThread worker(row.body);
        ASSERT_TRUE(worker.Start(nullptr) && worker.started.Wait());
        EXPECT_EQ(std::pair(WaitForThreadEnd(worker.thread.Get()), worker.crashed), std::pair(DWORD(0), row.crash));
        wchar_t line[64];
        _snwprintf(line, 64, L"Unhandled exception caught in thread %X", unsigned(::GetThreadId(worker.thread.Get())));
        EXPECT_EQ(capture.Lines(), row.crash ? std::vector<std::wstring>{line} : std::vector<std::wstring>{});
    }
}
