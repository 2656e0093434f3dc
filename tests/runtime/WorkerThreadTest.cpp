// WorkerThread: a body runs on its own thread, is asked to stop and joined (or terminated when it
// does not listen), and a fault in it ends only that thread, with a line naming the thread.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <stdexcept>

#include "runtime/WorkerThread.h"
#include "support/DebugOutputCapture.h"
#include "support/TestHelpers.h"

namespace {

using Body = std::function<DWORD(WorkerThread&)>;

// Runs the test's body; its hooks note, on the worker, what they saw.
class ProbeThread : public WorkerThread {
public:
    explicit ProbeThread(Body run) : body(std::move(run)) {}
    ~ProbeThread() override { Stop(true, 5000); }
    Body body;
    void* parameter = nullptr;
    DWORD id = 0;
    UniqueKernelHandle thread;  // to wait on its end
    std::atomic<int> ends{0};
    bool crashed = false;
    TestEvent started;

protected:
    DWORD Run(void*) override { return body(*this); }
    void OnThreadStart(void* startedWith) override {
        parameter = startedWith, id = ::GetCurrentThreadId();
        thread.Reset(::OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, id));
        started.Set();
    }
    void OnThreadEnd(bool crash, DWORD&) override { crashed = crash, ++ends; }
};

TEST(WorkerThread, RunsOneBodyAtATimeOnItsOwnThread) {
    TestEvent release;
    int marker = 0;
    ProbeThread worker([&](WorkerThread&) -> DWORD { return release.Wait() ? 7 : 1; });
    ASSERT_TRUE(worker.Start(&marker) && worker.started.Wait());
    EXPECT_EQ(worker.parameter, &marker);
    EXPECT_NE(worker.id, ::GetCurrentThreadId());
    EXPECT_TRUE(worker.IsRunning());
    EXPECT_FALSE(worker.Start(nullptr));
    release.Set();
    EXPECT_EQ(WaitForThreadEnd(worker.thread.Get()), 7u);
    EXPECT_FALSE(worker.IsRunning());
    ASSERT_TRUE(worker.Start(nullptr));  // and again once it ended (its own hook sets `thread` late)
    EXPECT_TRUE(worker.WaitForEnd(GenerousWait));
    EXPECT_EQ(worker.ends.load(), 2);
}

// A body that polls the flag ends when asked and is joined; one that never looks is terminated
// when the time-out passes, and then runs no end hook.
TEST(WorkerThread, StopAsksTheBodyAndJoinsItOrTerminatesIt) {
    TestEvent never;
    const struct { const char* name; Body body; DWORD timeout, exitCode; int ends; } rows[] = {
        {"polls", [&](WorkerThread& self) -> DWORD { while (!self.IsStopRequested()) never.Wait(10); return 3; },
         GenerousWait, 3, 1},
        {"ignores", [&](WorkerThread&) -> DWORD { return never.Wait(INFINITE) ? 1 : 2; }, 300, 0, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ProbeThread worker(row.body);
        ASSERT_TRUE(worker.Start(nullptr) && worker.started.Wait());
        EXPECT_TRUE(worker.Stop(true, row.timeout));
        EXPECT_FALSE(worker.IsRunning());
        EXPECT_EQ(WaitForThreadEnd(worker.thread.Get(), 0), row.exitCode);  // already ended
        EXPECT_EQ(worker.ends.load(), row.ends);
    }
}

// Volatile pointers and noipa keep the compiler from seeing (and dropping) the faults.
__attribute__((noipa)) void WriteThroughNull() { volatile int* volatile target = nullptr; *target = 7; }
__attribute__((noipa)) int DivideByZero() { volatile int zero = 0; return 10 / zero; }

// A fault or an exception that escapes the body ends only that thread, with a line naming it; a
// fault that system code handles itself (a page probe) stays with that code.
TEST(WorkerThread, FaultOrExceptionEndsOnlyThatThreadWithALineNamingIt) {
    void* released = ::VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    ASSERT_TRUE(::VirtualFree(released, 0, MEM_RELEASE));
    const struct { const char* name; Body body; bool crash; } rows[] = {
        {"null write", [](WorkerThread&) -> DWORD { WriteThroughNull(); return 8; }, true},
        {"division by zero", [](WorkerThread&) -> DWORD { return DivideByZero(); }, true},
        {"exception", [](WorkerThread&) -> DWORD { throw std::runtime_error("escaped"); }, true},
        {"catch-all", [](WorkerThread&) -> DWORD { try { WriteThroughNull(); } catch (...) {} return 8; }, true},
        {"page probe", [=](WorkerThread&) -> DWORD { return ::IsBadReadPtr(released, 16) ? 0 : 9; }, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        DebugOutputCapture capture;
        ProbeThread worker(row.body);
        ASSERT_TRUE(worker.Start(nullptr) && worker.started.Wait());
        EXPECT_EQ(WaitForThreadEnd(worker.thread.Get()), 0u);
        EXPECT_EQ(worker.crashed, row.crash);
        wchar_t line[64];
        _snwprintf(line, 64, L"Unhandled exception caught in thread %X", static_cast<unsigned>(worker.id));
        EXPECT_EQ(capture.Lines(), row.crash ? std::vector<std::wstring>{line} : std::vector<std::wstring>{});
    }
}

}  // namespace
