// The program's socket: one IPv4 Winsock socket, either blocking (used directly by the thread
// that made it) or non-blocking with an event object and an event thread of its own, which
// waits on the event and turns each network event into a call of a virtual handler.
// Subclasses override the handlers they need (the discovery socket, the TCP listener, the
// serving connection); blocking users call Send and Receive themselves.
//
// Threads and shared state:
//  - Every handler of a non-blocking socket runs on that socket's event thread, never on the
//    thread that opened it. Handlers of different sockets run at the same time; a subclass
//    guards what its handlers share with other threads itself.
//  - Open, close and the other operations are called by one thread at a time: the owner, or
//    one of the socket's own handlers. Close from another thread waits (up to 5000 ms, then the
//    thread is terminated) until the running handler has returned, and only then closes the
//    handle, so a handler never sees its handle closed under it by someone else.
//  - A handler may close its own socket and may destroy it (delete this): nothing then waits
//    for the event thread, and the dispatch loop touches the object no more once the handler
//    returns. A handler must not reopen its own socket after closing it.
//  - A blocking socket may be closed from another thread to break a call blocked in it (the
//    handle field is atomic for that case); the blocked call then returns with an error.
//
// Addresses and ports cross this interface in host byte order; host names are wide strings.
// Every operation on an object without a handle fails (false or -1) without calling Winsock.
#pragma once

#include <winsock2.h>

#include <atomic>
#include <string>

#include "runtime/WorkerThread.h"

class EventSocket {
public:
    // A non-blocking socket is registered for all of them, whatever mask is asked for.
    static constexpr long AllNetworkEvents = FD_READ | FD_WRITE | FD_OOB | FD_ACCEPT | FD_CONNECT | FD_CLOSE;
    // How long a close from another thread waits for the event thread.
    static constexpr DWORD CloseTimeout = 5000;
    // Exit codes of the event thread.
    static constexpr DWORD DispatchEnded = 0;
    static constexpr DWORD DispatchWaitFailed = 2;

    EventSocket() noexcept;
    EventSocket(const EventSocket&) = delete;
    EventSocket& operator=(const EventSocket&) = delete;
    virtual ~EventSocket();

    // Opening and closing.
    bool Create(int type = SOCK_STREAM, long eventMask = AllNetworkEvents, bool blocking = false, int protocol = 0);
    // Takes the handle over. Refused at once (the handle stays the caller's) while this object
    // has one or for INVALID_SOCKET; any later failure closes the handle: the caller never does.
    bool Attach(SOCKET handle, long eventMask = AllNetworkEvents, bool blocking = false);
    bool Close(bool graceful = true);

    // Addresses and connections.
    bool Bind(USHORT port, const wchar_t* host = nullptr);
    bool Listen(USHORT port, const wchar_t* host = nullptr, int backlog = SOMAXCONN);
    bool Accept(EventSocket& target, sockaddr* peerAddress = nullptr, int* addressLength = nullptr);
    bool Connect(ULONG address, USHORT port);

    // Data.
    int Receive(void* buffer, int length, int flags = 0);
    int ReceiveFrom(void* buffer, int length, ULONG& address, USHORT& port, int flags = 0);
    int Send(const void* buffer, int length, int flags = 0);
    int SendTo(ULONG address, USHORT port, const void* buffer, int length, int flags = 0);
    bool SetBroadcast(bool on);
    // To 255.255.255.255 at the port; datagram sockets only, within the maximum message size.
    bool Broadcast(USHORT port, const void* buffer, int length, int flags = 0);

    // Options.
    bool IoCtl(long command, u_long* argument);
    int GetReceiveBufferSize();
    int GetMaxMessageSize();

    // State.
    [[nodiscard]] SOCKET Handle() const noexcept { return m_socket.load(); }
    // The Winsock error of the last failed Attach or byte count of a read event.
    [[nodiscard]] int LastError() const noexcept { return m_lastError.load(); }
    // SOCK_STREAM or SOCK_DGRAM once a handle is attached, 0 before.
    [[nodiscard]] int Type() const noexcept { return m_type; }
    [[nodiscard]] bool HasEventThread() const noexcept { return m_thread.IsRunning(); }

    // Address helpers. ResolveAddress looks a name up only when allowed; an empty or null host is
    // INADDR_ANY; a failure sets the Winsock error WSAEINVAL.
    static bool ResolveAddress(sockaddr_in& address, bool allowLookup, USHORT port, const wchar_t* host);
    // "a.b.c.d" of an address in host byte order.
    static std::wstring DottedAddress(ULONG address);
    // "IP: a.b.c.d Port: n"; returns text.c_str().
    static const wchar_t* FormatAddress(ULONG address, USHORT port, std::wstring& text);
    // Conversions in the ANSI code page. The terminating null is converted too (and counted) but
    // not kept in the string; a limit of 0 converts the whole text, another caps the count of
    // characters converted. Returns the count written, 0 on failure.
    static int WideToMultiByte(const wchar_t* text, std::string& converted, int limit = 0);
    static int MultiByteToWide(std::wstring& converted, const char* text, int limit = 0);

protected:
    // Network event handlers, on the event thread; error is the event's Winsock error (0: none).
    virtual void OnAccept(int error);
    virtual void OnClose(int error);
    virtual void OnConnect(int error);
    virtual void OnOutOfBand(int error);
    // For FD_READ, and before OnClose for the bytes still queued when the peer closed.
    virtual void OnReceive(int error, u_long bytesAvailable);
    virtual void OnSend(int error);
    // A socket that must not rely on its notifications alone (the TCP listener: Wine now and
    // then loses one), or that has a time of its own (a serving connection's request), gives an
    // interval in ms, asked again before each wait; OnIdle then runs on the event thread whenever
    // that long has passed without a network event. WSA_INFINITE (the default): never.
    [[nodiscard]] virtual DWORD IdleInterval() const noexcept { return WSA_INFINITE; }
    virtual void OnIdle() {}

private:
    // The event thread: its body is the dispatch loop, its parameter the socket.
    class CEventThread : public WorkerThread {
    protected:
        DWORD Run(void* parameter) override;
    };
    // On the event thread's stack while the loop runs; a close from a handler marks it.
    struct DispatchRecord {
        bool closed = false;
    };

    bool CloseFully();
    DWORD DispatchEvents();
    bool DrainBeforeClose(const DispatchRecord& record, u_long& lastCount);
    bool WaitForEvent(const DispatchRecord& record);
    DWORD EndDispatch(DWORD exitCode) noexcept;

    // The socket's state, then the loop's record.
    std::atomic<SOCKET> m_socket{INVALID_SOCKET};
    std::atomic<int> m_lastError{0};
    UniqueWsaEvent m_event;             // set before the thread starts, cleared after it ended
    CEventThread m_thread;
    int m_type = 0;
    DispatchRecord* m_dispatch = nullptr;  // event thread only
};
