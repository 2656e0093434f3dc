// What the client tells the user about a long transfer: the progress window's thread implements
// it (ui/Progressor.h); tests give their own. Init and Update are called on the client's worker
// thread, Close on the main thread; implementations never block either of them.
#pragma once

#include <windows.h>

class CTransferProgress {
public:
    virtual ~CTransferProgress() = default;
    // Shows the window for a new transfer (and forgets an earlier cancel).
    virtual void InitProgress() = 0;
    // Reports progress; FALSE once the user has cancelled. TRUE while nothing is shown.
    virtual BOOL UpdateProgress(DWORD done, DWORD total) = 0;
    virtual void CloseProgress() = 0;
};
