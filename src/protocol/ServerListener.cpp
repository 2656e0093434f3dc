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
        CConnectionSlot slot = m_connections.TryTake();
        const bool accepted = slot ? CDataSock::AcceptFrom(*this, m_side, std::move(slot)) : RefuseOne();
        // A failed accept (traced with its error) costs that connection, not the ones behind it.
        if (!accepted && ::WSAGetLastError() == WSAEWOULDBLOCK) return;
    }
}

bool CServerListener::RefuseOne() {
    sockaddr_in peer{};
    int peerLength = sizeof peer;
    const SOCKET accepted = ::accept(Handle(), reinterpret_cast<sockaddr*>(&peer), &peerLength);
    const std::wstring from = DottedAddress(::ntohl(peer.sin_addr.s_addr));
    if (accepted == INVALID_SOCKET) {
        const int reason = ::WSAGetLastError();
        if (reason != WSAEWOULDBLOCK)
            ExTrace(L"Server: Failed to accept connection from IP: %s (%d)", from.c_str(), reason);
        ::WSASetLastError(reason);
        return false;
    }
    // Abortive: the peer learns at once, and nothing of it stays behind on this side.
    const linger abort{1, 0};
    ::setsockopt(accepted, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
    ::closesocket(accepted);
    ExTrace(L"Server: Connection refused from IP: %s (%d connections open)", from.c_str(), m_connections.Open());
    return true;
}
