// The guard around thread bodies: C++ exceptions and real processor faults (raised here on
// purpose) come back to the guarded call; faults that system code handles itself do not.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>

#include "runtime/FaultGuard.h"

namespace {

// Volatile pointers and noipa keep the compiler from seeing (and dropping) the faults.
__attribute__((noipa)) void WriteThroughNull() {
    volatile int* volatile target = nullptr;
    *target = 1;
}

__attribute__((noipa)) int ReadFromWildAddress() {
    volatile int* volatile source = reinterpret_cast<int*>(0x10);
    return *source;
}

__attribute__((noipa)) int DivideByZero() {
    volatile int zero = 0;
    return 10 / zero;
}

// A fault inside the C library rather than in this program's own code.
__attribute__((noipa)) size_t LengthOfWildString() {
    using Length = size_t(__cdecl*)(const char*);
    auto length = reinterpret_cast<Length>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"msvcrt.dll"), "strlen")));
    return length(reinterpret_cast<const char*>(0x20));
}

TEST(FaultGuard, BodyThatReturnsIsCompleted) {
    int calls = 0;
    DWORD code = 1234;
    EXPECT_EQ(RunGuarded([&] { ++calls; }, &code), GuardOutcome::Completed);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(code, 0u);
}

TEST(FaultGuard, CppExceptionComesBackAsException) {
    DWORD code = 1234;
    EXPECT_EQ(RunGuarded([] { throw std::runtime_error("lost"); }, &code), GuardOutcome::CppException);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(RunGuarded([] { throw 42; }), GuardOutcome::CppException);
}

TEST(FaultGuard, AccessViolationsComeBackToTheGuard) {
    DWORD code = 0;
    bool after = false;
    EXPECT_EQ(RunGuarded([&] { WriteThroughNull(); after = true; }, &code), GuardOutcome::Fault);
    EXPECT_EQ(code, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
    EXPECT_FALSE(after);
    EXPECT_EQ(RunGuarded([] { ReadFromWildAddress(); }, &code), GuardOutcome::Fault);
    EXPECT_EQ(code, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
}

TEST(FaultGuard, DivisionByZeroIsAFault) {
    DWORD code = 0;
    EXPECT_EQ(RunGuarded([] { DivideByZero(); }, &code), GuardOutcome::Fault);
    EXPECT_EQ(code, static_cast<DWORD>(EXCEPTION_INT_DIVIDE_BY_ZERO));
}

TEST(FaultGuard, FaultInTheCLibraryIsAFault) {
    DWORD code = 0;
    EXPECT_EQ(RunGuarded([] { LengthOfWildString(); }, &code), GuardOutcome::Fault);
    EXPECT_EQ(code, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
}

TEST(FaultGuard, FaultTheSystemHandlesItselfIsNotTaken) {
    // IsBadReadPtr probes the page under its own handler; the guard must leave that alone.
    void* page = ::VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(::VirtualFree(page, 0, MEM_RELEASE));
    BOOL bad = FALSE;
    EXPECT_EQ(RunGuarded([&] { bad = ::IsBadReadPtr(page, 16); }), GuardOutcome::Completed);
    EXPECT_TRUE(bad);
}

TEST(FaultGuard, CatchAllInsideTheBodyDoesNotHideAFault) {
    bool caught = false;
    EXPECT_EQ(RunGuarded([&] {
                  try {
                      WriteThroughNull();
                  } catch (...) {
                      caught = true;
                  }
              }),
              GuardOutcome::Fault);
    EXPECT_FALSE(caught);
}

TEST(FaultGuard, GuardsNestAndStayUsable) {
    GuardOutcome inner = GuardOutcome::Completed;
    bool outerGoesOn = false;
    EXPECT_EQ(RunGuarded([&] {
                  inner = RunGuarded([] { WriteThroughNull(); });
                  outerGoesOn = true;
              }),
              GuardOutcome::Completed);
    EXPECT_EQ(inner, GuardOutcome::Fault);
    EXPECT_TRUE(outerGoesOn);
    // After a fault the outer guard is the current one again: a second fault ends it.
    EXPECT_EQ(RunGuarded([] { RunGuarded([] {}); WriteThroughNull(); }), GuardOutcome::Fault);
    for (int i = 0; i < 20; ++i) ASSERT_EQ(RunGuarded([] { ReadFromWildAddress(); }), GuardOutcome::Fault);
}

}  // namespace
