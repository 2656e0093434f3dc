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

// ---- start and end

TEST(WorkerThread, BodyThatReturnsAtOnceEndsAndForgetsItsHandleItself) {
    ProbeThread worker;
    int marker = 0;
    worker.body = [](ProbeThread&, void*) -> DWORD { return 7; };
    worker.exitOverride = 9;
    ASSERT_TRUE(worker.Start(&marker));
    ASSERT_TRUE(worker.started.Wait());
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
    worker.body = [&](ProbeThread&, void* parameter) -> DWORD {
        seenByBody = parameter;
        release.Wait();
        return 0;
    };
    ASSERT_TRUE(worker.Start(&first));
    ASSERT_TRUE(worker.started.Wait());
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
    worker.body = [&](ProbeThread&, void*) -> DWORD { release.Wait(); return 0; };
    EXPECT_FALSE(worker.SetPriority(THREAD_PRIORITY_TIME_CRITICAL));  // no thread yet
    ASSERT_TRUE(worker.Start(nullptr));
    ASSERT_TRUE(worker.started.Wait());
    EXPECT_TRUE(worker.SetPriority(THREAD_PRIORITY_TIME_CRITICAL));
    EXPECT_EQ(::GetThreadPriority(worker.thread.Get()), THREAD_PRIORITY_TIME_CRITICAL);
    release.Set();
    ASSERT_TRUE(worker.ended.Wait());
}

// ---- stopping

TEST(WorkerThread, CooperativeStopEndsABodyThatPollsTheFlag) {
    ProbeThread worker;
    TestEvent neverSet;
    worker.body = [&](ProbeThread& self, void*) -> DWORD {
        while (!self.IsStopRequested()) neverSet.Wait(10);  // the body's own polling interval
        return 3;
    };
    ASSERT_TRUE(worker.Start(nullptr));
    ASSERT_TRUE(worker.started.Wait());
    EXPECT_FALSE(worker.IsStopRequested());
    EXPECT_TRUE(worker.Stop(true, GenerousWait));
    EXPECT_TRUE(worker.IsStopRequested());
    EXPECT_FALSE(worker.IsRunning());
    EXPECT_EQ(worker.Handle(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(worker.endCalls.load(), 1);
    EXPECT_EQ(WaitForThreadEnd(worker.thread.Get()), 3u);
}

TEST(WorkerThread, BodyThatIgnoresTheStopIsTerminatedAfterTheTimeOut) {
    ProbeThread worker;
    TestEvent neverSet;
    worker.body = [&](ProbeThread&, void*) -> DWORD {
        neverSet.Wait(INFINITE);
        return 1;
    };
    ASSERT_TRUE(worker.Start(nullptr));
    ASSERT_TRUE(worker.started.Wait());
    // The body never looks at the flag: whatever the time-out, the thread ends by termination,
    // and the result is the termination's success.
    EXPECT_TRUE(worker.Stop(true, 300));
    EXPECT_FALSE(worker.IsRunning());
    EXPECT_EQ(worker.Handle(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(WaitForThreadEnd(worker.thread.Get()), 0u);
    EXPECT_EQ(worker.endCalls.load(), 0);  // a terminated thread runs no end hook
}

TEST(WorkerThread, StopWithoutWaitTerminatesAtOnceWithoutAsking) {
    ProbeThread worker;
    TestEvent neverSet;
    worker.body = [&](ProbeThread&, void*) -> DWORD { neverSet.Wait(INFINITE); return 1; };
    ASSERT_TRUE(worker.Start(nullptr));
    ASSERT_TRUE(worker.started.Wait());
    EXPECT_TRUE(worker.Stop(false));
    EXPECT_FALSE(worker.IsStopRequested());
    EXPECT_FALSE(worker.IsRunning());
    EXPECT_EQ(WaitForThreadEnd(worker.thread.Get()), 0u);
    EXPECT_EQ(worker.endCalls.load(), 0);
}

TEST(WorkerThread, StopOfAnIdleObjectSucceeds) {
    ProbeThread worker;
    EXPECT_TRUE(worker.Stop(true, 10));
    EXPECT_TRUE(worker.Stop(false));
}

TEST(WorkerThread, TerminateEndsWithTheGivenCodeAndSetsTheStopFlag) {
    ProbeThread worker;
    TestEvent neverSet;
    worker.body = [&](ProbeThread&, void*) -> DWORD { neverSet.Wait(INFINITE); return 1; };
    ASSERT_TRUE(worker.Start(nullptr));
    ASSERT_TRUE(worker.started.Wait());
    EXPECT_TRUE(worker.Terminate(5));
    EXPECT_TRUE(worker.IsStopRequested());
    EXPECT_FALSE(worker.IsRunning());
    EXPECT_EQ(worker.Handle(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(WaitForThreadEnd(worker.thread.Get()), 5u);
    EXPECT_FALSE(worker.Terminate(6));  // nothing left to terminate
}

TEST(WorkerThread, StopCalledByTheBodyOnItselfOnlyAsks) {
    ProbeThread worker;
    bool stopResult = false;
    bool requestedAfter = false;
    worker.body = [&](ProbeThread& self, void*) -> DWORD {
        stopResult = self.Stop(true, 5000);
        requestedAfter = self.IsStopRequested();
        return 6;
    };
    ASSERT_TRUE(worker.Start(nullptr));
    ASSERT_TRUE(worker.started.Wait());
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

class WorkerCrash : public ::testing::Test {
protected:
    // Runs the body on a fresh worker and waits for its end.
    void RunToEnd(std::function<DWORD(ProbeThread&, void*)> body) {
        worker.body = std::move(body);
        worker.exitOverride = kNoOverride;
        ASSERT_TRUE(worker.Start(nullptr));
        ASSERT_TRUE(worker.started.Wait());
        exitCode = WaitForThreadEnd(worker.thread.Get());
    }
    DebugOutputCapture capture;
    ProbeThread worker;
    DWORD exitCode = STILL_ACTIVE;
};

TEST_F(WorkerCrash, AccessViolationEndsOnlyThatThread) {
    RunToEnd([](ProbeThread&, void*) -> DWORD {
        WriteThroughNull();
        return 8;
    });
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(worker.endCalls.load(), 1);
    EXPECT_TRUE(worker.endCrashed);
    EXPECT_EQ(worker.endExitCode, 0u);
    EXPECT_FALSE(worker.IsRunning());
    const auto lines = capture.LinesStartingWith(L"Unhandled exception");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], CrashLine(worker.workerId));  // no number, no line end
}

TEST_F(WorkerCrash, CppExceptionEndsOnlyThatThread) {
    RunToEnd([](ProbeThread&, void*) -> DWORD { throw std::runtime_error("escaped"); });
    EXPECT_EQ(exitCode, 0u);
    EXPECT_TRUE(worker.endCrashed);
    const auto lines = capture.LinesStartingWith(L"Unhandled exception");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], CrashLine(worker.workerId));
}

TEST_F(WorkerCrash, EndHookMayChangeTheExitCodeOfACrashedThread) {
    worker.body = [](ProbeThread&, void*) -> DWORD { WriteThroughNull(); return 1; };
    worker.exitOverride = 77;
    ASSERT_TRUE(worker.Start(nullptr));
    ASSERT_TRUE(worker.started.Wait());
    EXPECT_EQ(WaitForThreadEnd(worker.thread.Get()), 77u);
    EXPECT_TRUE(worker.endCrashed);
}

TEST_F(WorkerCrash, FaultTheSystemHandlesIsNoCrash) {
    // A stale object on a released page: IsRunning must read it as not running, on a guarded
    // worker too, where the page probe faults under the system's own handler.
    void* page = ::VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    ASSERT_NE(page, nullptr);
    auto* stale = new (page) WorkerThread;
    stale->~WorkerThread();
    ASSERT_TRUE(::VirtualFree(page, 0, MEM_RELEASE));
    bool running = true, valid = true;
    RunToEnd([&](ProbeThread&, void*) -> DWORD {
        running = stale->IsRunning();
        valid = stale->IsValid();
        return 11;
    });
    EXPECT_EQ(exitCode, 11u);
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
        workers.back()->body = [&go](ProbeThread&, void*) -> DWORD {
            go.Wait();
            WriteThroughNull();
            return 1;
        };
        ASSERT_TRUE(workers.back()->Start(nullptr));
        ASSERT_TRUE(workers.back()->started.Wait());
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
    TestEvent neverSet;
    UniqueKernelHandle thread;
    {
        ProbeThread worker;
        worker.body = [&](ProbeThread& self, void*) -> DWORD {
            while (!self.IsStopRequested()) neverSet.Wait(10);
            return 12;
        };
        ASSERT_TRUE(worker.Start(nullptr));
        ASSERT_TRUE(worker.started.Wait());
        thread.Reset(worker.thread.Detach());
    }
    EXPECT_EQ(WaitForThreadEnd(thread.Get(), 0), 12u);  // already ended when the destructor returned
}

}  // namespace
