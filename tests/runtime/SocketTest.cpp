// EventSocket over 127.0.0.1 inside the test sandbox (its network has nothing but `lo`): what a
// peer sees of a connection and of its close, and a handle that Attach cannot use (broadcasts are
// tested where discovery sends them: the server's start hears its own query). Handlers run on
// each socket's event thread; the test waits on events or conditions, never on time.
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

// Bytes that differ from their neighbours, so a lost, doubled or reordered piece shows.
std::vector<char> Pattern(size_t size, unsigned seed) {
    std::vector<char> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 251 + seed) & 0xFF);
    return bytes;
}

// A connection that records the bytes its handlers read, and how many it had read at the close.
class CRecordingSocket : public EventSocket {
public:
    size_t readLimit = 65536;               // bytes taken per OnReceive
    TestEvent* holdFirstReceive = nullptr;  // the first OnReceive waits for it before reading
    TestEvent closed;
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
        if (handlerThread.exchange(::GetCurrentThreadId()) == 0 && holdFirstReceive) holdFirstReceive->Wait();
        std::vector<char> buffer(std::min<size_t>(std::max<u_long>(available, 1), readLimit));
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

// A listener on 127.0.0.1 that accepts the next connection into `target`, and the test's client.
class SocketConnection : public ::testing::Test, public EventSocket {
protected:
    void SetUp() override { ASSERT_TRUE(Create(SOCK_STREAM) && Listen(0, L"127.0.0.1", 5)); }
    void TearDown() override { Close(true); }
    void ConnectInto(EventSocket& server) {
        target = &server;
        ASSERT_TRUE(client.Create(SOCK_STREAM, AllNetworkEvents, true));
        ASSERT_TRUE(client.Connect(INADDR_LOOPBACK, testutil::LocalPort(Handle())));
        ASSERT_TRUE(accepted.Wait() && acceptResult);
    }
    void OnAccept(int) override {
        acceptThread = ::GetCurrentThreadId(), acceptResult = Accept(*target);
        accepted.Set();
    }
    EventSocket* target = nullptr;
    TestEvent accepted;
    bool acceptResult = false;
    DWORD acceptThread = 0;
    EventSocket client;
};

TEST_F(SocketConnection, BytesSentInPiecesArriveInOrderOnTheConnectionsOwnThread) {
    CRecordingSocket server;
    ConnectInto(server);
    // A 24-byte header in two pieces and a body, each sent once the one before was read.
    const auto request = Pattern(24 + 1000, 5);
    size_t sent = 0;
    for (size_t cut : {size_t(10), size_t(24), request.size()}) {
        ASSERT_EQ(client.Send(request.data() + sent, int(cut - sent)), int(cut - sent));  // blocks until sent
        ASSERT_TRUE(server.WaitForBytes(cut)) << "after " << cut << " bytes";
        sent = cut;
    }
    EXPECT_EQ(server.Received(), request);
    EXPECT_NE(server.handlerThread.load(), ::GetCurrentThreadId());
    EXPECT_NE(server.handlerThread.load(), acceptThread);
}

TEST_F(SocketConnection, PeerThatSendsAndVanishesIsReportedAfterItsLastByte) {
    // Wine reports a peer's close only once its bytes are read, unless both halves are shut:
    // shutting our sending half makes the close come while bytes still wait, as Windows may.
    CRecordingSocket server;
    TestEvent peerGone;
    server.holdFirstReceive = &peerGone;
    server.readLimit = 1000;
    ConnectInto(server);
    ASSERT_EQ(::shutdown(server.Handle(), SD_SEND), 0);
    const auto bytes = Pattern(20000, 4);
    ASSERT_EQ(client.Send(bytes.data(), int(bytes.size())), int(bytes.size()));
    ASSERT_TRUE(client.Close(true));
    peerGone.Set();
    ASSERT_TRUE(server.closed.Wait());
    EXPECT_EQ(server.bytesAtClose, bytes.size());
    EXPECT_EQ(server.Received(), bytes);
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
