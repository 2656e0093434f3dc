// A call from which nothing escapes: neither a C++ exception nor a processor fault (access
// violation, division by zero, illegal instruction, ...). Worker threads run their bodies through
// it so that a fault ends the thread and not the process.
//
// g++ for Windows has no __try/__except and its catch (...) does not see processor faults, so
// faults are taken in two places and both jump back (longjmp) to the guarded call on the thread
// that faulted:
//  - a vectored handler, for faults in this program's own code, where no handler of ours can be
//    waiting (it runs first, before any frame-based handler);
//  - the process's last-chance filter, for faults in system code that the system itself did
//    not handle (a bad pointer handed to the C library, say). Faults that system code expects
//    and handles itself (IsBadReadPtr probing memory) pass through untouched.
// Both are installed once, at the first guarded call, and stay for the life of the process.
#pragma once

#include <windows.h>

#include <type_traits>

enum class GuardOutcome {
    Completed,     // the body returned
    CppException,  // a C++ exception left the body
    Fault,         // a processor fault or another unhandled system exception ended the body
};

// Calls body(context) on the calling thread under the guard. Guards nest. After a fault the
// body's frames are abandoned: what the body held (locks, memory) stays as it was.
// FaultCode receives the system exception code of a fault (0 otherwise) when given.
GuardOutcome RunGuarded(void (*body)(void*), void* context, DWORD* faultCode = nullptr) noexcept;

// The same for any callable.
template <typename Function>
GuardOutcome RunGuarded(Function&& function, DWORD* faultCode = nullptr) noexcept {
    auto call = [](void* context) { (*static_cast<std::remove_reference_t<Function>*>(context))(); };
    return RunGuarded(+call, &function, faultCode);
}
