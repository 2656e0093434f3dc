// WorkerThread: start, cooperative stop, stop with time-out and termination, the guard around the
// body (with real faults raised on the worker), and the queries on destroyed objects.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <functional>
#include <memory>
#include <new>
#include <stdexcept>
#include <vector>

#include "TestEvent.h"
#include "support/DebugOutputCapture.h"
#include "runtime/WorkerThread.h"

namespace {

constexpr DWORD kNoOverride = 0xFFFFFFFF;

// A worker whose body is a test's function; records what the hooks saw. The hooks run on the
// worker; the test reads the records after waiting for `ended` or for the thread's handle.
class ProbeThread : public WorkerThread {
public:
    std::function<DWORD(ProbeThread&, void*)> body;
    bool allowStart = true;
    DWORD exitOverride = kNoOverride;

    void* startedWith = nullptr;
    DWORD workerId = 0;
    UniqueKernelHandle thread;  // opened by the worker itself at its start
    std::atomic<int> endCalls{0};
    bool endCrashed = false;
    DWORD endExitCode = kNoOverride;
    TestEvent started;
    TestEvent ended;

    ~ProbeThread() override { Stop(true, 5000); }

protected:
    DWORD Run(void* parameter) override { return body ? body(*this, parameter) : 0; }
    bool CanStart(void*) override { return allowStart; }
    void OnThreadStart(void* parameter) override {
        startedWith = parameter;
        workerId = ::GetCurrentThreadId();
        thread.Reset(OpenCurrentThread());
        started.Set();
    }
    void OnThreadEnd(bool crashed, DWORD& exitCode) override {
        endCrashed = crashed;
        endExitCode = exitCode;
        if (exitOverride != kNoOverride) exitCode = exitOverride;
        ++endCalls;
        ended.Set();
    }
};

std::wstring CrashLine(DWORD threadId) {
    wchar_t line[64];
    _snwprintf(line, 64, L"Unhandled exception caught in thread %X", static_cast<unsigned>(threadId));
    return line;
}

__attribute__((noipa)) void WriteThroughNull() {
    volatile int* volatile target = nullptr;
    *target = 7;
}

// Gives the worker its body, starts it and waits until the body is about to run.
::testing::AssertionResult StartBody(ProbeThread& worker, std::function<DWORD(ProbeThread&, void*)> body,
                                     void* parameter = nullptr) {
    worker.body = std::move(body);
    if (!worker.Start(parameter)) return ::testing::AssertionFailure() << "Start failed";
    if (!worker.started.Wait()) return ::testing::AssertionFailure() << "the body never started";
    return ::testing::AssertionSuccess();
}

// A body that waits on the event and never looks at the stop flag.
std::function<DWORD(ProbeThread&, void*)> WaitingBody(TestEvent& event) {
    return [&event](ProbeThread&, void*) -> DWORD { event.Wait(INFINITE); return 1; };
}

// A body that polls the stop flag, as a cooperative worker does, then returns the code.
std::function<DWORD(ProbeThread&, void*)> PollingBody(DWORD code) {
    return [code](ProbeThread& self, void*) -> DWORD {
        TestEvent neverSet;
        while (!self.IsStopRequested()) neverSet.Wait(10);  // the body's own polling interval
        return code;
    };
}

// ---- start and end

TEST(WorkerThread, BodyThatReturnsAtOnceEndsAndForgetsItsHandleItself) {
    ProbeThread worker;
    int marker = 0;
    worker.exitOverride = 9;
    ASSERT_TRUE(StartBody(worker, [](ProbeThread&, void*) -> DWORD { return 7; }, &marker));
    EXPECT_EQ(WaitForThreadEnd(worker.thread.Get()), 9u);  // OnThreadEnd changed the exit code
    EXPECT_EQ(worker.startedWith, &marker);
    EXPECT_EQ(worker.endCalls.load(), 1);
    EXPECT_FALSE(worker.endCrashed);
    EXPECT_EQ(worker.endExitCode, 7u);
    EXPECT_FALSE(worker.IsRunning());
    EXPECT_EQ(worker.Handle(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(worker.ThreadId(), 0u);
}

TEST(WorkerThread, StartWhileRunningFailsWithoutSideEffects) {
    ProbeThread worker;
    TestEvent release;
    int first = 1, second = 2;
    void* seenByBody = nullptr;
    ASSERT_TRUE(StartBody(worker, [&](ProbeThread&, void* parameter) -> DWORD {
        seenByBody = parameter;
        release.Wait();
        return 0;
    }, &first));
    const HANDLE handle = worker.Handle();
    const DWORD id = worker.ThreadId();
    EXPECT_TRUE(worker.IsRunning());
    EXPECT_FALSE(worker.Start(&second));
    EXPECT_EQ(worker.Handle(), handle);
    EXPECT_EQ(worker.ThreadId(), id);
    EXPECT_EQ(id, worker.workerId);
    release.Set();
    ASSERT_TRUE(worker.ended.Wait());
    EXPECT_EQ(seenByBody, &first);
    EXPECT_EQ(worker.endCalls.load(), 1);
}

TEST(WorkerThread, RefusedStartRunsNothing) {
    ProbeThread worker;
    worker.allowStart = false;
    EXPECT_FALSE(worker.Start(nullptr));
    EXPECT_FALSE(worker.IsRunning());
    EXPECT_EQ(worker.Handle(), INVALID_HANDLE_VALUE);
    EXPECT_FALSE(worker.started.IsSet());
}

TEST(WorkerThread, SameObjectStartsAgainAfterItsThreadEnded) {
    ProbeThread worker;
    std::atomic<int> runs{0};
    worker.body = [&](ProbeThread&, void*) -> DWORD { return static_cast<DWORD>(++runs); };
    for (int round = 1; round <= 3; ++round) {
        worker.started.Reset();
        worker.ended.Reset();
        ASSERT_TRUE(worker.Start(nullptr)) << "round " << round;
        ASSERT_TRUE(worker.started.Wait());
        EXPECT_EQ(WaitForThreadEnd(worker.thread.Get()), static_cast<DWORD>(round));
    }
    EXPECT_EQ(worker.endCalls.load(), 3);
}

TEST(WorkerThread, SuspendedStartRunsOnlyWhenResumed) {
    ProbeThread worker;
    worker.body = [](ProbeThread&, void*) -> DWORD { return 5; };
    ASSERT_TRUE(worker.Start(nullptr, CREATE_SUSPENDED));
    EXPECT_TRUE(worker.IsRunning());
    EXPECT_FALSE(worker.started.IsSet());
    ASSERT_NE(::ResumeThread(worker.Handle()), static_cast<DWORD>(-1));
    ASSERT_TRUE(worker.started.Wait());
    EXPECT_EQ(WaitForThreadEnd(worker.thread.Get()), 5u);
}

TEST(WorkerThread, PriorityIsSetOnTheRunningThread) {
    ProbeThread worker;
    TestEvent release;
    EXPECT_FALSE(worker.SetPriority(THREAD_PRIORITY_TIME_CRITICAL));  // no thread yet
    ASSERT_TRUE(StartBody(worker, WaitingBody(release)));
    EXPECT_TRUE(worker.SetPriority(THREAD_PRIORITY_TIME_CRITICAL));
    EXPECT_EQ(::GetThreadPriority(worker.thread.Get()), THREAD_PRIORITY_TIME_CRITICAL);
    release.Set();
    ASSERT_TRUE(worker.ended.Wait());
}

// ---- stopping

TEST(WorkerThread, CooperativeStopEndsABodyThatPollsTheFlag) {
    ProbeThread worker;
    ASSERT_TRUE(StartBody(worker, PollingBody(3)));
    EXPECT_FALSE(worker.IsStopRequested());
    EXPECT_TRUE(worker.Stop(true, GenerousWait));
    EXPECT_TRUE(worker.IsStopRequested());
    EXPECT_FALSE(worker.IsRunning());
    EXPECT_EQ(worker.Handle(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(worker.endCalls.load(), 1);
    EXPECT_EQ(WaitForThreadEnd(worker.thread.Get()), 3u);
}

// A body that never looks at the flag ends by termination, whatever the time-out; the result is
// the termination's success, and a terminated thread runs no end hook.
TEST(WorkerThread, BodyThatIgnoresTheStopIsTerminated) {
    const struct {
        const char* name;
        std::function<bool(ProbeThread&)> stop;
        bool stopRequested;
        DWORD exitCode;
    } rows[] = {
        {"stop with a time-out asks, then terminates", [](ProbeThread& w) { return w.Stop(true, 300); }, true, 0},
        {"stop without wait terminates at once without asking", [](ProbeThread& w) { return w.Stop(false); }, false, 0},
        {"terminate ends with the given code and sets the flag", [](ProbeThread& w) { return w.Terminate(5); }, true, 5},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ProbeThread worker;
        TestEvent neverSet;
        ASSERT_TRUE(StartBody(worker, WaitingBody(neverSet)));
        EXPECT_TRUE(row.stop(worker));
        EXPECT_EQ(worker.IsStopRequested(), row.stopRequested);
        EXPECT_FALSE(worker.IsRunning());
        EXPECT_EQ(worker.Handle(), INVALID_HANDLE_VALUE);
        EXPECT_EQ(WaitForThreadEnd(worker.thread.Get()), row.exitCode);
        EXPECT_EQ(worker.endCalls.load(), 0);
        EXPECT_FALSE(worker.Terminate(6));  // nothing left to terminate
    }
}

TEST(WorkerThread, StopOfAnIdleObjectSucceeds) {
    ProbeThread worker;
    EXPECT_TRUE(worker.Stop(true, 10));
    EXPECT_TRUE(worker.Stop(false));
}

TEST(WorkerThread, StopCalledByTheBodyOnItselfOnlyAsks) {
    ProbeThread worker;
    bool stopResult = false;
    bool requestedAfter = false;
    ASSERT_TRUE(StartBody(worker, [&](ProbeThread& self, void*) -> DWORD {
        stopResult = self.Stop(true, 5000);
        requestedAfter = self.IsStopRequested();
        return 6;
    }));
    // Had it waited on itself it would have terminated itself: no end hook, exit code 0.
    EXPECT_EQ(WaitForThreadEnd(worker.thread.Get()), 6u);
    EXPECT_TRUE(stopResult);
    EXPECT_TRUE(requestedAfter);
    EXPECT_EQ(worker.endCalls.load(), 1);
}

TEST(WorkerThread, BodyMayDestroyItsOwnObject) {
    auto* worker = new ProbeThread;
    TestEvent go, afterDelete;
    worker->body = [&go, &afterDelete](ProbeThread& self, void*) -> DWORD {
        go.Wait();
        TestEvent* const done = &afterDelete;  // the captures die with the object
        delete &self;
        done->Set();  // reached only if the destructor did not wait on (or end) its own thread
        return 4;
    };
    ASSERT_TRUE(worker->Start(nullptr));
    UniqueKernelHandle thread(::OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, worker->ThreadId()));
    ASSERT_TRUE(thread);
    go.Set();
    EXPECT_TRUE(afterDelete.Wait());
    EXPECT_EQ(WaitForThreadEnd(thread.Get()), 4u);
}

// ---- the guard

// An access violation or an escaping C++ exception ends only that thread, with one trace line
// that names it (no number, no line end).
TEST(WorkerThreadCrash, FaultOrExceptionEndsOnlyThatThread) {
    const struct { const char* name; std::function<DWORD(ProbeThread&, void*)> body; } rows[] = {
        {"access violation", [](ProbeThread&, void*) -> DWORD { WriteThroughNull(); return 8; }},
        {"C++ exception", [](ProbeThread&, void*) -> DWORD { throw std::runtime_error("escaped"); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        DebugOutputCapture capture;
        ProbeThread worker;
        ASSERT_TRUE(StartBody(worker, row.body));
        EXPECT_EQ(WaitForThreadEnd(worker.thread.Get()), 0u);
        EXPECT_EQ(worker.endCalls.load(), 1);
        EXPECT_TRUE(worker.endCrashed);
        EXPECT_EQ(worker.endExitCode, 0u);
        EXPECT_FALSE(worker.IsRunning());
        EXPECT_EQ(capture.LinesStartingWith(L"Unhandled exception"), std::vector<std::wstring>{CrashLine(worker.workerId)});
    }
}

TEST(WorkerThreadCrash, EndHookMayChangeTheExitCodeOfACrashedThread) {
    ProbeThread worker;
    worker.exitOverride = 77;
    ASSERT_TRUE(StartBody(worker, [](ProbeThread&, void*) -> DWORD { WriteThroughNull(); return 1; }));
    EXPECT_EQ(WaitForThreadEnd(worker.thread.Get()), 77u);
    EXPECT_TRUE(worker.endCrashed);
}

TEST(WorkerThreadCrash, FaultTheSystemHandlesIsNoCrash) {
    // A stale object on a released page: IsRunning must read it as not running, on a guarded
    // worker too, where the page probe faults under the system's own handler.
    void* page = ::VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    ASSERT_NE(page, nullptr);
    auto* stale = new (page) WorkerThread;
    stale->~WorkerThread();
    ASSERT_TRUE(::VirtualFree(page, 0, MEM_RELEASE));
    bool running = true, valid = true;
    DebugOutputCapture capture;
    ProbeThread worker;
    ASSERT_TRUE(StartBody(worker, [&](ProbeThread&, void*) -> DWORD {
        running = stale->IsRunning();
        valid = stale->IsValid();
        return 11;
    }));
    EXPECT_EQ(WaitForThreadEnd(worker.thread.Get()), 11u);
    EXPECT_FALSE(worker.endCrashed);
    EXPECT_FALSE(running);
    EXPECT_FALSE(valid);
    EXPECT_TRUE(capture.LinesStartingWith(L"Unhandled exception").empty());
}

TEST(WorkerThreadCrash, FaultsOnSeveralThreadsAtOnceEachReportTheirOwnThread) {
    DebugOutputCapture capture;
    constexpr int kWorkers = 4;
    std::vector<std::unique_ptr<ProbeThread>> workers;
    TestEvent go;
    for (int i = 0; i < kWorkers; ++i) {
        workers.push_back(std::make_unique<ProbeThread>());
        ASSERT_TRUE(StartBody(*workers.back(), [&go](ProbeThread&, void*) -> DWORD {
            go.Wait();
            WriteThroughNull();
            return 1;
        }));
    }
    go.Set();
    std::vector<std::wstring> expected;
    for (auto& worker : workers) {
        EXPECT_EQ(WaitForThreadEnd(worker->thread.Get()), 0u);
        EXPECT_TRUE(worker->endCrashed);
        expected.push_back(CrashLine(worker->workerId));
    }
    auto lines = capture.LinesStartingWith(L"Unhandled exception");
    std::sort(lines.begin(), lines.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(lines, expected);
}

// ---- queries on dead objects

TEST(WorkerThread, QueriesOnADestroyedObjectReportNotRunning) {
    alignas(WorkerThread) unsigned char storage[sizeof(WorkerThread)];
    auto* object = new (storage) WorkerThread;
    EXPECT_TRUE(object->IsValid());
    object->~WorkerThread();
    EXPECT_FALSE(object->IsValid());
    EXPECT_FALSE(object->IsRunning());
}

TEST(WorkerThread, DestructionStopsARunningThread) {
    UniqueKernelHandle thread;
    {
        ProbeThread worker;
        ASSERT_TRUE(StartBody(worker, PollingBody(12)));
        thread.Reset(worker.thread.Detach());
    }
    EXPECT_EQ(WaitForThreadEnd(thread.Get(), 0), 12u);  // already ended when the destructor returned
}

}  // namespace
