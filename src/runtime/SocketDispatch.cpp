// The event thread of a non-blocking EventSocket: waits on the socket's event and calls one
// handler per network event, in a fixed order within one wake-up: close (after draining the
// bytes still queued) first, then accept, connect, out-of-band, read, write.
//
// A socket with an idle interval also has OnIdle called when no event came for that long.
//
// Everything here runs on the event thread. The loop reads the stop flag of the thread object
// (set by a close from any thread) at its head and after the close handling. A handler that
// closes its own socket marks the loop's record on this thread's stack; after every handler the
// loop looks at that record first and, if marked, returns without touching the object.
#include <cstring>

#include "runtime/EventSocket.h"

DWORD EventSocket::CEventThread::Run(void* parameter) {
    return static_cast<EventSocket*>(parameter)->DispatchEvents();
}

DWORD EventSocket::DispatchEvents() {
    DispatchRecord record;
    m_dispatch = &record;
    u_long lastCount = 0;  // the byte count last known, passed on when it cannot be taken

    if (!WaitForEvent(record)) return record.closed ? DispatchEnded : EndDispatch(DispatchWaitFailed);
    while (!m_thread.IsStopRequested()) {
        WSANETWORKEVENTS events;
        std::memset(&events, 0, sizeof events);
        if (::WSAEnumNetworkEvents(m_socket.load(), m_event.Get(), &events) == SOCKET_ERROR) {
            // Nothing to dispatch; the event would stay signalled and the wait below return at
            // once for ever, so reset it and wait for the next event or the close.
            m_lastError = ::WSAGetLastError();
            ::WSAResetEvent(m_event.Get());
        }
        const long bits = events.lNetworkEvents;

        if (bits & FD_CLOSE) {
            if (!DrainBeforeClose(record, lastCount)) return DispatchEnded;
            OnClose(events.iErrorCode[FD_CLOSE_BIT]);
            if (record.closed) return DispatchEnded;
        }
        if (m_thread.IsStopRequested()) break;
        if (bits & FD_ACCEPT) {
            OnAccept(events.iErrorCode[FD_ACCEPT_BIT]);
            if (record.closed) return DispatchEnded;
        }
        if (bits & FD_CONNECT) {
            OnConnect(events.iErrorCode[FD_CONNECT_BIT]);
            if (record.closed) return DispatchEnded;
        }
        if (bits & FD_OOB) {
            OnOutOfBand(events.iErrorCode[FD_OOB_BIT]);
            if (record.closed) return DispatchEnded;
        }
        if (bits & FD_READ) {
            u_long count = 0;
            if (IoCtl(FIONREAD, &count)) {
                lastCount = count;
            } else {
                m_lastError = ::WSAGetLastError();
            }
            OnReceive(events.iErrorCode[FD_READ_BIT], lastCount);
            if (record.closed) return DispatchEnded;
        }
        if (bits & FD_WRITE) {
            OnSend(events.iErrorCode[FD_WRITE_BIT]);
            if (record.closed) return DispatchEnded;
        }
        if (!WaitForEvent(record)) return record.closed ? DispatchEnded : EndDispatch(DispatchWaitFailed);
    }
    return EndDispatch(DispatchEnded);
}

// The peer closed: what it sent before goes to OnReceive first, as long as the handler takes
// some of it each time (one that takes nothing would be called for ever with the same bytes).
// False when a handler closed the socket.
bool EventSocket::DrainBeforeClose(const DispatchRecord& record, u_long& lastCount) {
    u_long count = 0;
    u_long previous = ULONG_MAX;
    while (IoCtl(FIONREAD, &count) && count > 0 && count < previous) {
        lastCount = count;
        previous = count;
        OnReceive(0, count);
        if (record.closed) return false;
    }
    return true;
}

// Waits for the next network event, running OnIdle each time the socket's idle interval passes
// without one. False when waiting failed or OnIdle closed the socket (record marked).
bool EventSocket::WaitForEvent(const DispatchRecord& record) {
    for (;;) {
        const WSAEVENT event = m_event.Get();
        const DWORD result = ::WSAWaitForMultipleEvents(1, &event, FALSE, IdleInterval(), FALSE);
        if (result != WSA_WAIT_TIMEOUT) return result == WSA_WAIT_EVENT_0;
        if (m_thread.IsStopRequested()) return true;   // the loop head sees the stop
        OnIdle();
        if (record.closed) return false;
    }
}

DWORD EventSocket::EndDispatch(DWORD exitCode) noexcept {
    m_dispatch = nullptr;
    return exitCode;
}
