#include "runtime/FaultGuard.h"

#include <setjmp.h>

namespace {

// One guarded call in progress on a thread; the innermost one is in the thread's TLS slot.
struct GuardFrame {
    jmp_buf jump;
    GuardFrame* outer;
    DWORD faultCode;
};

// Set once by InstallHandlers (INIT_ONCE orders it before any guarded call reads it).
DWORD g_slot = TLS_OUT_OF_INDEXES;
ULONG_PTR g_imageStart = 0;
ULONG_PTR g_imageEnd = 0;
LPTOP_LEVEL_EXCEPTION_FILTER g_previousFilter = nullptr;
INIT_ONCE g_installOnce = INIT_ONCE_STATIC_INIT;

GuardFrame* CurrentFrame() noexcept {
    // TlsGetValue clears the last error; the code that faulted may still want its own.
    const DWORD lastError = ::GetLastError();
    auto* frame = static_cast<GuardFrame*>(::TlsGetValue(g_slot));
    ::SetLastError(lastError);
    return frame;
}

bool IsProcessorFault(DWORD code) noexcept {
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_STACK_CHECK:
    case EXCEPTION_FLT_UNDERFLOW:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_PRIV_INSTRUCTION:
        return true;
    default:
        // Not a stack overflow: there is no stack left to unwind on.
        return false;
    }
}

[[noreturn]] void ReturnToGuard(GuardFrame* frame, DWORD code) noexcept {
    frame->faultCode = code;
    longjmp(frame->jump, 1);
}

// First chance, before any frame-based handler. Only faults in this program's own image are
// taken here: nothing in it can handle them (no __try in g++ code), whereas system code may be
// probing memory under a handler of its own and must see its fault.
LONG CALLBACK OnFirstChance(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    if (!IsProcessorFault(record->ExceptionCode)) return EXCEPTION_CONTINUE_SEARCH;
    const auto address = reinterpret_cast<ULONG_PTR>(record->ExceptionAddress);
    if (address < g_imageStart || address >= g_imageEnd) return EXCEPTION_CONTINUE_SEARCH;
    GuardFrame* frame = CurrentFrame();
    if (!frame) return EXCEPTION_CONTINUE_SEARCH;
    ReturnToGuard(frame, record->ExceptionCode);
}

// Last chance: nothing handled the exception. On a thread inside a guarded call it ends the
// call; elsewhere it goes to whoever had the filter before.
LONG WINAPI OnLastChance(EXCEPTION_POINTERS* info) {
    if (GuardFrame* frame = CurrentFrame()) ReturnToGuard(frame, info->ExceptionRecord->ExceptionCode);
    return g_previousFilter ? g_previousFilter(info) : EXCEPTION_CONTINUE_SEARCH;
}

BOOL CALLBACK InstallHandlers(INIT_ONCE*, void*, void**) {
    g_slot = ::TlsAlloc();
    if (g_slot == TLS_OUT_OF_INDEXES) return FALSE;
    HMODULE image = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&OnFirstChance), &image);
    if (image) {
        const auto base = reinterpret_cast<ULONG_PTR>(image);
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
        g_imageStart = base;
        g_imageEnd = base + nt->OptionalHeader.SizeOfImage;
    }
    ::AddVectoredExceptionHandler(1, &OnFirstChance);
    g_previousFilter = ::SetUnhandledExceptionFilter(&OnLastChance);
    return TRUE;
}

bool CallCatchingExceptions(void (*body)(void*), void* context) noexcept {
    try {
        body(context);
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace

GuardOutcome RunGuarded(void (*body)(void*), void* context, DWORD* faultCode) noexcept {
    if (faultCode) *faultCode = 0;
    if (!::InitOnceExecuteOnce(&g_installOnce, &InstallHandlers, nullptr, nullptr)) {
        // Without a slot only C++ exceptions can be caught.
        return CallCatchingExceptions(body, context) ? GuardOutcome::Completed : GuardOutcome::CppException;
    }
    GuardFrame frame;
    frame.outer = CurrentFrame();
    frame.faultCode = 0;
    if (setjmp(frame.jump) != 0) {
        // Back from a fault: the body's frames are gone.
        ::TlsSetValue(g_slot, frame.outer);
        if (faultCode) *faultCode = frame.faultCode;
        return GuardOutcome::Fault;
    }
    ::TlsSetValue(g_slot, &frame);
    const bool returned = CallCatchingExceptions(body, context);
    ::TlsSetValue(g_slot, frame.outer);
    if (returned) return GuardOutcome::Completed;
    // The jump back unwinds the body's frames; should a catch (...) on the way take it over,
    // the fault is still a fault.
    if (faultCode) *faultCode = frame.faultCode;
    return frame.faultCode ? GuardOutcome::Fault : GuardOutcome::CppException;
}
