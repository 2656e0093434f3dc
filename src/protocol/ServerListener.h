// CServerListener: the TCP listening socket on the TCPPort setting, through which peers ask for
// this host's clipboard. Every accepted connection becomes a serving connection (CDataSock) with
// its own event thread; nothing about the peer is checked at accept time.
//
// A host must never stop serving because one notification was missed or one accept failed:
// each run accepts until the queue is empty, goes on after a failed accept, and runs on a timer
// as well as on FD_ACCEPT (under Wine a queued connection now and then signals nothing). At most
// MaxConnections connections are served at once, since each holds a thread; beyond that a new
// connection is closed as soon as it is accepted.
//
// Threads: OnAccept and OnIdle run on the listener's own event thread and never wait on a
// connection. Open and close run on the main thread; closing waits for a running accept run.
// The connection count is shared with the connections' threads (ConnectionCount.h).
#pragma once

#include "protocol/ConnectionCount.h"
#include "protocol/ServingSide.h"
#include "runtime/EventSocket.h"

class CServerListener : public EventSocket {
public:
    // Each open connection costs a thread (about 1 MB resident under Wine): 64 of them bound the
    // cost near 64 MB and leave room for a LAN of dozens of hosts asking at once.
    static constexpr int MaxConnections = 64;
    // The queue the system keeps before accept: a burst of connects waits there instead of
    // being dropped, and every run empties it.
    static constexpr int Backlog = 128;
    // How long a queued connection may wait when its notification never comes.
    static constexpr DWORD RetryInterval = 500;

    // Each connection serves for `side`, which outlives every connection.
    explicit CServerListener(IServingSide& side) noexcept : m_side(side) {}
    ~CServerListener() override;

    // Serving connections open now (for tests and diagnostics).
    [[nodiscard]] int OpenConnections() const noexcept { return m_connections.Open(); }

protected:
    void OnAccept(int error) override;
    [[nodiscard]] DWORD IdleInterval() const noexcept override { return RetryInterval; }
    void OnIdle() override;

private:
    // Accepts what waits in the queue, until it is empty or a run's share is done.
    void AcceptWaiting();
    // Accepts the next queued connection: its socket and the peer's address (host order), or
    // INVALID_SOCKET with the Winsock error as the thread's last (traced unless the queue is empty).
    SOCKET AcceptNext(ULONG& peer);
    // Closes an accepted connection at once: no slot was left for it.
    void Refuse(SOCKET accepted, ULONG peer);

    IServingSide& m_side;
    CConnectionCount m_connections{MaxConnections};
};
