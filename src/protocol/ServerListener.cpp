// The TCP listener's accept handler (see ServerListener.h for threads).
#include "protocol/ServerListener.h"

#include <string>

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
        EventSocket connection;
        sockaddr_in peer{};
        int peerLength = sizeof peer;
        if (!Accept(connection, reinterpret_cast<sockaddr*>(&peer), &peerLength)) {
            const int reason = ::WSAGetLastError();
            if (reason != WSAEWOULDBLOCK) ExTrace(L"CServerListener: Accept failed with %d", reason);
            return;   // the queue is empty (or broken): wait for the next event
        }
        std::wstring from;
        FormatAddress(::ntohl(peer.sin_addr.s_addr), ::ntohs(peer.sin_port), from);
        // Nothing was sent and nothing will be: no lingering, so the close never waits on a peer
        // that has gone quiet (the system still ends the connection gracefully).
        const linger noLinger{0, 0};
        ::setsockopt(connection.Handle(), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&noLinger),
                     sizeof noLinger);
        connection.Close(true);
        ExTrace(L"CServerListener: Closed connection from %s (not served)", from.c_str());
    }
}
