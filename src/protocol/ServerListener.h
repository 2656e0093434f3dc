// CServerListener: the TCP listening socket on the TCPPort setting, through which peers ask for
// this host's clipboard. Until connections are served, each accepted connection is closed at once
// and traced ("CServerListener: Closed connection from IP: a.b.c.d Port: n (not served)").
//
// Threads: OnAccept runs on the listener's own event thread. Each accepted connection is closed
// on that thread before the handler returns; it has sent nothing, so its close never waits on
// unsent data (stream sockets linger). Open and close run on the main thread; closing waits for
// a running OnAccept.
#pragma once

#include "runtime/EventSocket.h"

class CServerListener : public EventSocket {
public:
    ~CServerListener() override;

protected:
    // Accepts every connection waiting in the queue (one event may stand for several).
    void OnAccept(int error) override;
};
