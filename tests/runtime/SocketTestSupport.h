// What the socket tests share: loopback addresses, byte patterns, a connection that records what
// its handlers saw, and a listener that accepts into a socket the test chose.
//
// Handlers run on each socket's event thread; everything they record is guarded by the
// recording object's mutex, and the test waits on events or conditions, never on time.
#pragma once

#include <winsock2.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "TestEvent.h"
#include "runtime/EventSocket.h"

constexpr ULONG kLoopback = INADDR_LOOPBACK;  // 127.0.0.1 in host order

inline USHORT LocalPort(SOCKET handle) {
    sockaddr_in address{};
    int length = sizeof address;
    if (::getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
    return ::ntohs(address.sin_port);
}

inline ULONG LocalAddress(SOCKET handle) {
    sockaddr_in address{};
    int length = sizeof address;
    if (::getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length) != 0) return INADDR_NONE;
    return ::ntohl(address.sin_addr.s_addr);
}

// Bytes that differ from their neighbours, so a lost, doubled or reordered piece shows.
inline std::vector<char> Pattern(size_t size, unsigned seed = 0) {
    std::vector<char> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 251 + seed) & 0xFF);
    return bytes;
}

// A blocking client connected to 127.0.0.1 at the port.
inline bool ConnectBlocking(EventSocket& client, USHORT port) {
    return client.Create(SOCK_STREAM, EventSocket::AllNetworkEvents, true) && client.Connect(kLoopback, port);
}

// Sends all bytes on a blocking socket.
inline bool SendAll(EventSocket& socket, const char* data, size_t size) {
    while (size > 0) {
        const int sent = socket.Send(data, static_cast<int>(std::min<size_t>(size, 65536)));
        if (sent <= 0) return false;
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

// Receives exactly `size` bytes on a blocking socket (fewer if the peer closes or fails).
inline std::vector<char> ReceiveAll(EventSocket& socket, size_t size) {
    std::vector<char> bytes;
    std::vector<char> buffer(65536);
    while (bytes.size() < size) {
        const int received = socket.Receive(buffer.data(), static_cast<int>(std::min(buffer.size(), size - bytes.size())));
        if (received <= 0) break;
        bytes.insert(bytes.end(), buffer.begin(), buffer.begin() + received);
    }
    return bytes;
}

// A connection that records its handler calls ("receive", "receive nothing", "close 0", ...) and
// the bytes it read.
// What a handler does beyond reading is chosen by the test before the connection exists.
class CRecordingSocket : public EventSocket {
public:
    // Set before the socket is attached; read on the event thread.
    size_t readLimit = SIZE_MAX;         // bytes taken per OnReceive
    bool closeInReceive = false;         // Close() from the first OnReceive
    TestEvent* blockInReceive = nullptr; // the first OnReceive waits for this event before reading
    TestEvent inReceive;                 // set when the first OnReceive begins
    TestEvent closed;                    // set by OnClose
    TestEvent closedByHandler;           // set after Close() from OnReceive
    bool closeResult = false;
    UniqueKernelHandle eventThread;      // the event thread, opened by its first handler

    ~CRecordingSocket() override { Close(true); }

    std::vector<std::string> Events() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_events;
    }
    std::vector<char> Received() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_received;
    }
    DWORD HandlerThreadId() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_handlerThreadId;
    }
    // True once at least `size` bytes were read.
    bool WaitForBytes(size_t size, DWORD timeout = GenerousWait) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::milliseconds(timeout), [&] { return m_received.size() >= size; });
    }

protected:
    void OnReceive(int error, u_long available) override {
        NoteHandler();
        const bool first = !inReceive.IsSet();
        inReceive.Set();
        if (first && blockInReceive) blockInReceive->Wait();
        std::vector<char> buffer(std::min<size_t>(std::max<u_long>(available, 1), readLimit));
        const int received = Receive(buffer.data(), static_cast<int>(buffer.size()));
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            // An FD_READ in the same wake-up as the close comes after OnClose, with nothing left.
            m_events.push_back(received > 0 ? "receive" : "receive nothing");
            if (error != 0) m_events.push_back("receive error " + std::to_string(error));
            if (received > 0) m_received.insert(m_received.end(), buffer.begin(), buffer.begin() + received);
        }
        m_changed.notify_all();
        if (first && closeInReceive) {
            closeResult = Close(true);
            closedByHandler.Set();
        }
    }
    void OnClose(int error) override {
        NoteHandler();
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_events.push_back("close " + std::to_string(error));
        }
        closed.Set();
    }
    void OnSend(int) override { NoteHandler(); }

private:
    void NoteHandler() {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_handlerThreadId == 0) {
            m_handlerThreadId = ::GetCurrentThreadId();
            eventThread.Reset(OpenCurrentThread());
        }
    }
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_events;
    std::vector<char> m_received;
    DWORD m_handlerThreadId = 0;
};

// A listener on 127.0.0.1 that accepts the next connection into `target`.
class CTestListener : public EventSocket {
public:
    EventSocket* target = nullptr;  // set by the test before the peer connects
    TestEvent accepted;
    bool acceptResult = false;
    int addressLength = 0;
    sockaddr_in peer{};
    DWORD acceptThreadId = 0;

    ~CTestListener() override { Close(true); }

    bool Open() { return Create(SOCK_STREAM) && Listen(0, L"127.0.0.1", 5); }
    USHORT Port() const { return LocalPort(Handle()); }

protected:
    void OnAccept(int) override {
        acceptThreadId = ::GetCurrentThreadId();
        acceptResult = target != nullptr && Accept(*target, reinterpret_cast<sockaddr*>(&peer), &addressLength);
        accepted.Set();
    }
};
