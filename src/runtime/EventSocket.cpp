// Opening, closing and the plain operations of EventSocket. The dispatch loop is in
// SocketDispatch.cpp, the address helpers in SocketAddress.cpp.
#include "runtime/EventSocket.h"

#include "runtime/Winsock.h"

namespace {
// SO_LINGER of every stream socket: linger on, 2000 seconds.
constexpr u_short kLingerSeconds = 2000;
}  // namespace

EventSocket::EventSocket() noexcept = default;

EventSocket::~EventSocket() {
    // Stops the event thread before the subclass's members go: the thread calls its handlers.
    // (The subclass part is already destroyed here; its destructor closes first when its
    // handlers use its own members.)
    Close(true);
}

bool EventSocket::Create(int type, long eventMask, bool blocking, int protocol) {
    if (!SocketsStarted() || m_socket.load() != INVALID_SOCKET) return false;
    const SOCKET handle = ::socket(AF_INET, type, protocol);
    if (handle == INVALID_SOCKET) return false;
    return Attach(handle, eventMask, blocking);
}

bool EventSocket::Attach(SOCKET handle, long /*eventMask*/, bool blocking) {
    if (m_socket.load() != INVALID_SOCKET || handle == INVALID_SOCKET) return false;
    m_socket = handle;

    // From here the handle is ours: every failure below closes it, and the caller must not.
    int type = 0;
    int typeLength = sizeof type;
    bool ok = ::getsockopt(handle, SOL_SOCKET, SO_TYPE, reinterpret_cast<char*>(&type), &typeLength) == 0;
    m_type = type;

    u_long nonBlocking = blocking ? 0 : 1;
    ok = ok && ::ioctlsocket(handle, FIONBIO, &nonBlocking) == 0;
    if (ok && type == SOCK_STREAM) {
        const linger lingering{1, kLingerSeconds};
        ok = ::setsockopt(handle, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&lingering),
                          sizeof lingering) == 0 && ok;
        // Requests and replies are a header and its payload written one after the other; with
        // Nagle's rule the second write waits for the peer's delayed acknowledgement of the first.
        // A failure here costs only that wait.
        const BOOL noDelay = TRUE;
        ::setsockopt(handle, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    }
    if (ok && !blocking) {
        if (!m_event) {
            m_event.Reset(::WSACreateEvent());
            ok = m_event.IsValid();
        }
        // Whatever was asked for: the dispatch loop needs every event (FD_CLOSE above all).
        ok = ok && ::WSAEventSelect(handle, m_event.Get(), AllNetworkEvents) == 0;
        // A thread still running here is ending: its handler closed the socket a moment ago.
        // From another thread, let it finish and start a new one; on that thread itself there is
        // nothing to do (a handler must not reopen its own socket).
        if (ok && !m_thread.IsCurrentThread() && m_thread.IsRunning() && m_thread.IsStopRequested())
            m_thread.Stop(true, CloseTimeout);
        ok = ok && (m_thread.IsRunning() || m_thread.Start(this));
    }
    if (!ok) {
        m_lastError = ::WSAGetLastError();
        Close(true);
        return false;
    }
    return true;
}

bool EventSocket::Close(bool graceful) {
    const SOCKET handle = m_socket.load();
    // Its result does not count: a listener or a datagram socket has no sending half to shut.
    if (handle != INVALID_SOCKET && graceful) ::shutdown(handle, SD_SEND);
    return CloseFully();
}

bool EventSocket::CloseFully() {
    bool ok = true;
    if (m_event) {
        if (m_thread.IsRunning()) {
            m_thread.RequestStop();
            ::WSASetEvent(m_event.Get());  // wakes the loop, which then sees the stop
        }
        if (m_thread.IsCurrentThread()) {
            // Called by one of our own handlers: the loop ends as soon as it returns, without
            // touching this object again (which the handler may be about to free).
            if (m_dispatch != nullptr) m_dispatch->closed = true;
            m_dispatch = nullptr;
        } else {
            ok = m_thread.Stop(true, CloseTimeout) && ok;
            m_dispatch = nullptr;
        }
        ok = ::WSACloseEvent(m_event.Detach()) != FALSE && ok;
    }
    const SOCKET handle = m_socket.exchange(INVALID_SOCKET);
    if (handle != INVALID_SOCKET) ok = ::closesocket(handle) == 0 && ok;
    return ok;
}

bool EventSocket::Bind(USHORT port, const wchar_t* host) {
    const SOCKET handle = m_socket.load();
    if (handle == INVALID_SOCKET) return false;
    sockaddr_in address;
    if (!ResolveAddress(address, false, port, host)) return false;
    return ::bind(handle, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

bool EventSocket::Listen(USHORT port, const wchar_t* host, int backlog) {
    return Bind(port, host) && ::listen(m_socket.load(), backlog) == 0;
}

bool EventSocket::Accept(EventSocket& target, sockaddr* peerAddress, int* addressLength) {
    const SOCKET handle = m_socket.load();
    if (handle == INVALID_SOCKET) return false;
    int localLength = 0;
    if (peerAddress != nullptr && addressLength == nullptr) addressLength = &localLength;
    if (addressLength != nullptr) *addressLength = sizeof(sockaddr_in);
    const SOCKET accepted = ::accept(handle, peerAddress, addressLength);
    if (accepted == INVALID_SOCKET) return false;
    if (!target.Close(true)) {
        ::closesocket(accepted);
        return false;
    }
    // Its own event thread: the accepted connection's handlers never run on the listener's.
    return target.Attach(accepted, AllNetworkEvents, false);
}

bool EventSocket::Connect(ULONG address, USHORT port) {
    const SOCKET handle = m_socket.load();
    if (handle == INVALID_SOCKET) return false;
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr.s_addr = ::htonl(address);
    peer.sin_port = ::htons(port);
    return ::connect(handle, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != SOCKET_ERROR;
}

int EventSocket::Receive(void* buffer, int length, int flags) {
    const SOCKET handle = m_socket.load();
    if (handle == INVALID_SOCKET) return -1;
    return ::recv(handle, static_cast<char*>(buffer), length, flags);
}

int EventSocket::ReceiveFrom(void* buffer, int length, ULONG& address, USHORT& port, int flags) {
    address = 0;
    port = 0;
    const SOCKET handle = m_socket.load();
    if (handle == INVALID_SOCKET) return -1;
    sockaddr_in sender{};
    int senderLength = sizeof sender;
    const int received = ::recvfrom(handle, static_cast<char*>(buffer), length, flags,
                                    reinterpret_cast<sockaddr*>(&sender), &senderLength);
    if (received == SOCKET_ERROR) return -1;
    address = ::ntohl(sender.sin_addr.s_addr);
    port = ::ntohs(sender.sin_port);
    return received;
}

int EventSocket::Send(const void* buffer, int length, int flags) {
    const SOCKET handle = m_socket.load();
    if (handle == INVALID_SOCKET) return -1;
    return ::send(handle, static_cast<const char*>(buffer), length, flags);
}

int EventSocket::SendTo(ULONG address, USHORT port, const void* buffer, int length, int flags) {
    const SOCKET handle = m_socket.load();
    if (handle == INVALID_SOCKET) return -1;
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr.s_addr = ::htonl(address);
    peer.sin_port = ::htons(port);
    return ::sendto(handle, static_cast<const char*>(buffer), length, flags,
                    reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
}

bool EventSocket::SetBroadcast(bool on) {
    const SOCKET handle = m_socket.load();
    if (handle == INVALID_SOCKET) return false;
    const BOOL value = on ? TRUE : FALSE;
    return ::setsockopt(handle, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&value), sizeof value) == 0;
}

bool EventSocket::Broadcast(USHORT port, const void* buffer, int length, int flags) {
    if (m_socket.load() == INVALID_SOCKET) return false;
    const int limit = GetMaxMessageSize();  // -1: no limit known
    if (limit != -1 && length > limit) return false;
    if (m_type != SOCK_DGRAM) return false;
    return SendTo(INADDR_BROADCAST, port, buffer, length, flags) != SOCKET_ERROR;
}

bool EventSocket::IoCtl(long command, u_long* argument) {
    const SOCKET handle = m_socket.load();
    if (handle == INVALID_SOCKET) return false;
    return ::ioctlsocket(handle, command, argument) == 0;
}

int EventSocket::GetReceiveBufferSize() {
    const SOCKET handle = m_socket.load();
    if (handle == INVALID_SOCKET) return -1;
    int size = 0;
    int sizeLength = sizeof size;
    if (::getsockopt(handle, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char*>(&size), &sizeLength) == SOCKET_ERROR) return -1;
    return size;
}

int EventSocket::GetMaxMessageSize() {
    const SOCKET handle = m_socket.load();
    if (handle == INVALID_SOCKET) return -1;
    unsigned size = 0;
    int sizeLength = sizeof size;
    if (::getsockopt(handle, SOL_SOCKET, SO_MAX_MSG_SIZE, reinterpret_cast<char*>(&size), &sizeLength) == SOCKET_ERROR) return -1;
    return static_cast<int>(size);
}

void EventSocket::OnAccept(int) {}
void EventSocket::OnClose(int) {}
void EventSocket::OnConnect(int) {}
void EventSocket::OnOutOfBand(int) {}
void EventSocket::OnReceive(int, u_long) {}
void EventSocket::OnSend(int) {}
