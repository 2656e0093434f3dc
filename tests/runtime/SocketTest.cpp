// EventSocket over 127.0.0.1 in the test sandbox: what a peer sees of a connection and of its close, and
// a handle that Attach cannot use. Handlers run on each socket's event thread; no test waits on time.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "runtime/EventSocket.h"
#include "support/TestHelpers.h"

namespace {

// A connection that records the bytes its handlers read (at most 1000 a call) and how many it had
// read at the close. Once it holds 24 bytes, its next read waits for `hold`.
class CRecordingSocket : public EventSocket {
public:
    TestEvent hold, closed;
    size_t bytesAtClose = 0;
    std::atomic<DWORD> handlerThread{0};

    ~CRecordingSocket() override { Close(true); }
    std::vector<char> Received() { std::lock_guard<std::mutex> lock(m_mutex); return m_received; }
    bool WaitForBytes(size_t size) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::milliseconds(GenerousWait), [&] { return m_received.size() >= size; });
    }

protected:
    void OnReceive(int, u_long available) override {
        handlerThread = ::GetCurrentThreadId();
        if (Received().size() == 24) hold.Wait();
        std::vector<char> buffer(std::min<size_t>(std::max<u_long>(available, 1), 1000));
        const int received = std::max(Receive(buffer.data(), static_cast<int>(buffer.size())), 0);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_received.insert(m_received.end(), buffer.begin(), buffer.begin() + received);
        m_changed.notify_all();
    }
    void OnClose(int) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        bytesAtClose = m_received.size();
        closed.Set();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<char> m_received;
};

// A listener on 127.0.0.1 whose accept hands the connection to `server`, and the test's client.
// The port's two bytes differ, so that a port sent in the wrong byte order misses it.
class SocketConnection : public ::testing::Test, public EventSocket {
protected:
    void SetUp() override {
        ASSERT_TRUE(Create(SOCK_STREAM) && Listen(23456, L"127.0.0.1", 5));
        ASSERT_TRUE(client.Create(SOCK_STREAM, AllNetworkEvents, true));
        ASSERT_TRUE(client.Connect(INADDR_LOOPBACK, 23456));
        ASSERT_TRUE(accepted.Wait() && acceptResult);
    }
    void TearDown() override { Close(true); }
    void OnAccept(int) override {
        acceptThread = ::GetCurrentThreadId(), acceptResult = Accept(server);
        accepted.Set();
    }
    CRecordingSocket server;
    TestEvent accepted;
    bool acceptResult = false;
    DWORD acceptThread = 0;
    EventSocket client;
};

// A header in two pieces, each sent once the one before was read, then a body; the peer closes while
// the handler is held. Wine reports a peer's close only once its bytes are read, unless both halves
// are shut: with our sending half shut the close comes while bytes still wait, as Windows may.
TEST_F(SocketConnection, BytesArriveInOrderOnTheConnectionsOwnThreadAndTheCloseAfterTheLast) {
    ASSERT_EQ(::shutdown(server.Handle(), SD_SEND), 0);
    std::vector<char> bytes(20000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 131 + i / 251) & 0xFF);  // no two pieces alike
    for (size_t sent = 0; size_t cut : {size_t(10), size_t(24), bytes.size()}) {
        ASSERT_EQ(client.Send(bytes.data() + sent, int(cut - sent)), int(cut - sent));  // blocks until sent
        ASSERT_TRUE(cut == bytes.size() || server.WaitForBytes(sent = cut)) << "after " << cut << " bytes";
    }
    ASSERT_TRUE(client.Close(true));
    server.hold.Set();
    ASSERT_TRUE(server.closed.Wait());
    EXPECT_EQ(server.bytesAtClose, bytes.size());
    EXPECT_EQ(server.Received(), bytes);
    EXPECT_TRUE(server.handlerThread != ::GetCurrentThreadId() && server.handlerThread != acceptThread);
}

// Attach takes the handle over: one it cannot use (here: blocking asked of a socket that has
// events selected) it closes itself, so its caller never closes it a second time.
TEST(SocketAttach, AHandleItCannotUseIsClosedByIt) {
    const SOCKET handle = ::socket(AF_INET, SOCK_STREAM, 0);
    const WSAEVENT event = ::WSACreateEvent();
    ASSERT_EQ(0, ::WSAEventSelect(handle, event, FD_READ));
    EventSocket socket;
    EXPECT_FALSE(socket.Attach(handle, EventSocket::AllNetworkEvents, true));
    EXPECT_EQ(INVALID_SOCKET, socket.Handle());
    EXPECT_EQ(SOCKET_ERROR, ::closesocket(handle));
    EXPECT_EQ(WSAENOTSOCK, ::WSAGetLastError());
    ::WSACloseEvent(event);
}

}  // namespace
