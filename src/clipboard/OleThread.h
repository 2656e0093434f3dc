// OLE for the calling thread, for one scope. The local clipboard is read through the OLE
// clipboard on the serving connections' event threads, which nothing else initialises (the
// program initialises OLE on its main thread only), and the OLE clipboard needs a thread in a
// single-threaded apartment with OLE initialised. OleInitialize nests: on a thread that already
// has it (the main thread) it only counts one more, and the matching OleUninitialize undoes only
// that; on a fresh event thread it sets OLE up for the call and takes it down afterwards.
#pragma once

#include <windows.h>
#include <ole2.h>

class COleThreadScope {
public:
    COleThreadScope() noexcept : m_result(::OleInitialize(nullptr)) {}
    COleThreadScope(const COleThreadScope&) = delete;
    COleThreadScope& operator=(const COleThreadScope&) = delete;
    // A thread already in the multithreaded apartment fails here (RPC_E_CHANGED_MODE): nothing
    // to undo then, and reading the clipboard simply fails on such a thread.
    ~COleThreadScope() { if (SUCCEEDED(m_result)) ::OleUninitialize(); }

private:
    HRESULT m_result;
};
