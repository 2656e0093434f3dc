// The TCP listener's accept runs (see ServerListener.h for the rules and threads).
#include "protocol/ServerListener.h"

#include <string>

#include "protocol/DataSock.h"
#include "runtime/Trace.h"

namespace {
// Bounds one run, so that a flood cannot keep the handler (and a close that waits for it) busy
// for long; what is left is taken by the next event or the retry timer.
constexpr int kAcceptsPerRun = 64;
}  // namespace

CServerListener::~CServerListener() {
    Close(true);
}

void CServerListener::OnAccept(int error) {
    // The queue may hold connections all the same: take them.
    if (error != 0) ExTrace(L"CServerListener: OnAccept error %d", error);
    AcceptWaiting();
}

void CServerListener::OnIdle() {
    AcceptWaiting();
}

void CServerListener::AcceptWaiting() {
    for (int i = 0; i < kAcceptsPerRun; ++i) {
        ULONG peer = 0;
        const SOCKET accepted = AcceptNext(peer);
        if (accepted == INVALID_SOCKET) {
            // A failed accept (traced with its error) costs that connection, not the ones behind it.
            if (::WSAGetLastError() == WSAEWOULDBLOCK) return;
            continue;
        }
        if (CConnectionSlot slot = m_connections.TryTake()) CDataSock::Serve(accepted, peer, m_side, std::move(slot));
        else Refuse(accepted, peer);
    }
}

SOCKET CServerListener::AcceptNext(ULONG& peer) {
    sockaddr_in address{};
    int addressLength = sizeof address;
    const SOCKET accepted = ::accept(Handle(), reinterpret_cast<sockaddr*>(&address), &addressLength);
    peer = ::ntohl(address.sin_addr.s_addr);
    if (accepted == INVALID_SOCKET) {
        const int reason = ::WSAGetLastError();
        if (reason != WSAEWOULDBLOCK)
            ExTrace(L"Server: Failed to accept connection from IP: %s (%d)", DottedAddress(peer).c_str(), reason);
        ::WSASetLastError(reason);
    }
    return accepted;
}

void CServerListener::Refuse(SOCKET accepted, ULONG peer) {
    // Abortive: the peer learns at once, and nothing of it stays behind on this side.
    const linger abort{1, 0};
    ::setsockopt(accepted, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
    ::closesocket(accepted);
    ExTrace(L"Server: Connection refused from IP: %s (%d connections open)", DottedAddress(peer).c_str(),
            m_connections.Open());
}
