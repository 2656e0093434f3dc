// CServerListener: the TCP listening socket on the TCPPort setting, through which peers ask for
// this host's clipboard. Every accepted connection becomes a serving connection (CDataSock) with
// its own event thread; nothing is checked at accept time.
//
// Threads: OnAccept runs on the listener's own event thread and never waits on a connection.
// Open and close run on the main thread; closing waits for a running OnAccept.
#pragma once

#include "runtime/EventSocket.h"

class CServer;

class CServerListener : public EventSocket {
public:
    explicit CServerListener(CServer& server) noexcept : m_server(server) {}
    ~CServerListener() override;

protected:
    // Accepts every connection waiting in the queue (one event may stand for several).
    void OnAccept(int error) override;

private:
    CServer& m_server;
};
