// The TCP listener's accept handler (see ServerListener.h for threads).
#include "protocol/ServerListener.h"

#include "protocol/DataSock.h"
#include "runtime/Trace.h"

namespace {
// Bounds one handler run: the queue holds at most the backlog, and a flood must not keep the
// handler (and a close that waits for it) busy for long. The rest waits for the next event.
constexpr int kAcceptsPerEvent = 16;
}  // namespace

CServerListener::~CServerListener() {
    Close(true);
}

void CServerListener::OnAccept(int error) {
    if (error != 0) {
        ExTrace(L"CServerListener: OnAccept error %d", error);
        return;
    }
    for (int i = 0; i < kAcceptsPerEvent; ++i) {
        if (!CDataSock::AcceptFrom(*this, m_server)) return;   // the queue is empty (or broken)
    }
}
