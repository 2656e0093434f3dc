// EventSocket over TCP on 127.0.0.1: accepting, requests in pieces, a peer that sends and closes
// at once, closing from a handler and from another thread, resuming a send on FD_WRITE, connect
// events, and breaking a blocked call by closing.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "SocketTestSupport.h"

namespace {

// Every byte came before the one OnClose: after it, only reads that found nothing.
void ExpectEveryByteBeforeTheClose(const std::vector<std::string>& events) {
    const auto close = std::find(events.begin(), events.end(), "close 0");
    ASSERT_NE(close, events.end());
    EXPECT_EQ(std::count(events.begin(), events.end(), "close 0"), 1);
    EXPECT_GE(std::count(events.begin(), close, "receive"), 1);
    for (auto after = close + 1; after != events.end(); ++after) EXPECT_EQ(*after, "receive nothing");
}

// A listener plus one accepted connection of the test's choosing.
class SocketConnection : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(listener.Open()); }
    // Connects `client` (blocking) and waits until the listener accepted into `target`.
    void ConnectInto(EventSocket& target) {
        listener.target = &target;
        ASSERT_TRUE(ConnectBlocking(client, listener.Port()));
        ASSERT_TRUE(listener.accepted.Wait());
        ASSERT_TRUE(listener.acceptResult);
    }
    CTestListener listener;
    EventSocket client;
};

TEST_F(SocketConnection, AcceptedConnectionGetsItsOwnEventThread) {
    CRecordingSocket server;
    ConnectInto(server);
    EXPECT_EQ(listener.addressLength, 16);
    EXPECT_EQ(::ntohl(listener.peer.sin_addr.s_addr), kLoopback);
    EXPECT_EQ(::ntohs(listener.peer.sin_port), LocalPort(client.Handle()));
    EXPECT_TRUE(server.HasEventThread());
    EXPECT_EQ(server.Type(), SOCK_STREAM);

    const auto bytes = Pattern(10);
    ASSERT_TRUE(SendAll(client, bytes.data(), bytes.size()));
    ASSERT_TRUE(server.WaitForBytes(bytes.size()));
    const DWORD serverThread = server.HandlerThreadId();
    EXPECT_NE(serverThread, 0u);
    EXPECT_NE(serverThread, ::GetCurrentThreadId());
    EXPECT_NE(serverThread, listener.acceptThreadId);
    EXPECT_NE(listener.acceptThreadId, ::GetCurrentThreadId());
}

TEST_F(SocketConnection, AcceptedStreamLingersForTwoThousandSeconds) {
    CRecordingSocket server;
    ConnectInto(server);
    for (SOCKET handle : {server.Handle(), client.Handle()}) {
        linger lingering{};
        int length = sizeof lingering;
        ASSERT_EQ(::getsockopt(handle, SOL_SOCKET, SO_LINGER, reinterpret_cast<char*>(&lingering), &length), 0);
        EXPECT_EQ(lingering.l_onoff, 1);
        EXPECT_EQ(lingering.l_linger, 2000);
    }
}

TEST_F(SocketConnection, RequestInSeveralPiecesArrivesInSeveralReads) {
    CRecordingSocket server;
    ConnectInto(server);
    // A 24-byte header in two pieces and a body, each sent only after the one before was read.
    const auto request = Pattern(24 + 1000, 5);
    const size_t cuts[] = {10, 24, request.size()};
    size_t sent = 0;
    for (size_t cut : cuts) {
        ASSERT_TRUE(SendAll(client, request.data() + sent, cut - sent));
        ASSERT_TRUE(server.WaitForBytes(cut)) << "after " << cut << " bytes";
        sent = cut;
    }
    EXPECT_EQ(server.Received(), request);
    const auto events = server.Events();
    EXPECT_GE(std::count(events.begin(), events.end(), "receive"), 3);
    EXPECT_EQ(std::count(events.begin(), events.end(), "close 0"), 0);
}

TEST_F(SocketConnection, PeerThatSendsAndClosesAtOnceDeliversEveryByteBeforeTheClose) {
    CRecordingSocket server;
    server.readLimit = 1000;  // leaves bytes queued when the close arrives
    ConnectInto(server);
    const auto bytes = Pattern(256 * 1024, 9);
    ASSERT_TRUE(SendAll(client, bytes.data(), bytes.size()));
    ASSERT_TRUE(client.Close(true));
    ASSERT_TRUE(server.closed.Wait());
    EXPECT_EQ(server.Received(), bytes);
    ExpectEveryByteBeforeTheClose(server.Events());
}

TEST_F(SocketConnection, BytesStillQueuedAtTheCloseAreDrainedBeforeOnClose) {
    // Wine reports a peer's close only once its bytes are read, unless both halves are shut:
    // shutting our sending half first makes the close come while bytes still wait, which is
    // what Windows may do at any time.
    CRecordingSocket server;
    TestEvent peerClosed;
    server.blockInReceive = &peerClosed;  // the first read waits until the peer has closed
    server.readLimit = 1000;
    ConnectInto(server);
    ASSERT_EQ(::shutdown(server.Handle(), SD_SEND), 0);
    const auto bytes = Pattern(20000, 4);
    ASSERT_TRUE(SendAll(client, bytes.data(), bytes.size()));
    ASSERT_TRUE(client.Close(true));
    peerClosed.Set();
    ASSERT_TRUE(server.closed.Wait());
    EXPECT_EQ(server.Received(), bytes);
    ExpectEveryByteBeforeTheClose(server.Events());
}

TEST_F(SocketConnection, HandlerMayCloseItsOwnSocket) {
    CRecordingSocket server;
    server.closeInReceive = true;
    ConnectInto(server);
    const auto bytes = Pattern(100);
    ASSERT_TRUE(SendAll(client, bytes.data(), bytes.size()));
    ASSERT_TRUE(server.closedByHandler.Wait());
    EXPECT_TRUE(server.closeResult);
    // The loop ends by itself once the handler returns, without a wait on its own thread.
    EXPECT_EQ(WaitForThreadEnd(server.eventThread.Get()), EventSocket::DispatchEnded);
    EXPECT_EQ(server.Handle(), INVALID_SOCKET);
    EXPECT_FALSE(server.HasEventThread());
    EXPECT_EQ(server.Events(), std::vector<std::string>{"receive"});
    EXPECT_EQ(server.Received(), bytes);
    // The peer sees the connection end.
    char byte = 0;
    EXPECT_EQ(client.Receive(&byte, 1), 0);
}

TEST_F(SocketConnection, SocketClosedByItsHandlerServesTheNextConnection) {
    CRecordingSocket server;
    server.closeInReceive = true;
    ConnectInto(server);
    const auto first = Pattern(100, 1);
    ASSERT_TRUE(SendAll(client, first.data(), first.size()));
    ASSERT_TRUE(server.closedByHandler.Wait());
    // At once, while its old event thread may still be ending, the object takes a new connection.
    listener.accepted.Reset();
    EventSocket second;
    ASSERT_TRUE(ConnectBlocking(second, listener.Port()));
    ASSERT_TRUE(listener.accepted.Wait());
    ASSERT_TRUE(listener.acceptResult);
    EXPECT_TRUE(server.HasEventThread());
    const auto more = Pattern(50, 2);
    ASSERT_TRUE(SendAll(second, more.data(), more.size()));
    ASSERT_TRUE(server.WaitForBytes(first.size() + more.size()));
    auto expected = first;
    expected.insert(expected.end(), more.begin(), more.end());
    EXPECT_EQ(server.Received(), expected);
}

// Frees itself from its first OnReceive, as a serving connection does when it is done.
class CSelfDeletingSocket : public EventSocket {
public:
    struct Witness {
        UniqueKernelHandle thread;
        TestEvent afterDelete;
        std::atomic<int> calls{0};
    };
    explicit CSelfDeletingSocket(Witness& witness) : m_witness(witness) {}
    ~CSelfDeletingSocket() override { Close(true); }

protected:
    void OnReceive(int, u_long) override {
        Witness& witness = m_witness;  // the object is gone after the delete below
        ++witness.calls;
        witness.thread.Reset(OpenCurrentThread());
        Close(true);
        delete this;
        witness.afterDelete.Set();  // never reached if the delete waited on its own thread
    }
    void OnClose(int) override { ++m_witness.calls; }

private:
    Witness& m_witness;
};

TEST_F(SocketConnection, HandlerMayCloseAndFreeItsOwnSocket) {
    CSelfDeletingSocket::Witness witness;
    auto* server = new CSelfDeletingSocket(witness);
    ConnectInto(*server);
    const char byte = 'x';
    ASSERT_EQ(client.Send(&byte, 1), 1);
    ASSERT_TRUE(witness.afterDelete.Wait());
    EXPECT_EQ(WaitForThreadEnd(witness.thread.Get()), EventSocket::DispatchEnded);
    EXPECT_EQ(witness.calls.load(), 1);
    char answer = 0;
    EXPECT_EQ(client.Receive(&answer, 1), 0);
}

TEST_F(SocketConnection, CloseFromAnotherThreadWaitsForTheRunningHandler) {
    CRecordingSocket server;
    TestEvent release;
    server.blockInReceive = &release;
    ConnectInto(server);
    const auto bytes = Pattern(100, 3);
    ASSERT_TRUE(SendAll(client, bytes.data(), bytes.size()));
    ASSERT_TRUE(server.inReceive.Wait());

    TestEvent closeDone;
    bool closeResult = false;
    std::thread closer([&] {
        closeResult = server.Close(true);
        closeDone.Set();
    });
    // The handler is held: the close cannot have finished (it waits up to 5 s for the handler).
    EXPECT_FALSE(closeDone.Wait(300));
    release.Set();
    EXPECT_TRUE(closeDone.Wait());
    closer.join();
    EXPECT_TRUE(closeResult);
    // The handler could still read from its socket after the close had begun.
    EXPECT_EQ(server.Received(), bytes);
    EXPECT_EQ(WaitForThreadEnd(server.eventThread.Get(), 0), EventSocket::DispatchEnded);
    EXPECT_EQ(server.Handle(), INVALID_SOCKET);
    EXPECT_FALSE(server.HasEventThread());
}

// Sends a block in pieces from its handlers, resuming on FD_WRITE after WSAEWOULDBLOCK, as a
// serving connection sends a large reply. Runs entirely on its event thread.
class CPieceSender : public EventSocket {
public:
    CPieceSender(std::vector<char> data, int piece) : m_data(std::move(data)), m_piece(piece) {}
    ~CPieceSender() override { Close(true); }
    std::atomic<int> sendEvents{0};
    std::atomic<int> wouldBlocks{0};
    std::atomic<int> failure{0};
    TestEvent firstWouldBlock;
    TestEvent done;

protected:
    void OnSend(int error) override {
        ++sendEvents;
        if (error != 0) {
            failure = error;
            done.Set();
            return;
        }
        SendPending();
    }

private:
    void SendPending() {
        while (m_sent < m_data.size()) {
            const int length = static_cast<int>(std::min<size_t>(m_piece, m_data.size() - m_sent));
            const int sent = Send(m_data.data() + m_sent, length);
            if (sent == SOCKET_ERROR) {
                const int error = ::WSAGetLastError();
                if (error == WSAEWOULDBLOCK) {
                    ++wouldBlocks;
                    firstWouldBlock.Set();
                    return;  // FD_WRITE brings us back
                }
                failure = error;
                done.Set();
                return;
            }
            m_sent += static_cast<size_t>(sent);
        }
        done.Set();
    }
    std::vector<char> m_data;
    const int m_piece;
    size_t m_sent = 0;  // event thread only
};

TEST_F(SocketConnection, SenderResumesOnFdWriteWhenTheReceiverFallsBehind) {
    // The client does not read until the sender met WSAEWOULDBLOCK: the buffers fill up.
    const auto bytes = Pattern(8 * 1024 * 1024, 11);
    CPieceSender server(bytes, 2920);
    ConnectInto(server);
    ASSERT_TRUE(server.firstWouldBlock.Wait()) << "the sender never had to wait";
    EXPECT_FALSE(server.done.IsSet());
    const auto received = ReceiveAll(client, bytes.size());
    ASSERT_TRUE(server.done.Wait());
    EXPECT_EQ(server.failure.load(), 0);
    EXPECT_GE(server.wouldBlocks.load(), 1);
    EXPECT_GE(server.sendEvents.load(), 2);  // the first FD_WRITE and at least one resumption
    EXPECT_TRUE(received == bytes);
}

// Reports the outcome of a non-blocking connect.
class CConnectProbe : public EventSocket {
public:
    ~CConnectProbe() override { Close(false); }
    TestEvent connected;
    std::atomic<int> error{-1};

protected:
    void OnConnect(int connectError) override {
        error = connectError;
        connected.Set();
    }
};

TEST_F(SocketConnection, NonBlockingConnectEndsInOnConnect) {
    CRecordingSocket server;
    listener.target = &server;
    CConnectProbe probe;
    ASSERT_TRUE(probe.Create(SOCK_STREAM));
    const bool immediate = probe.Connect(kLoopback, listener.Port());
    if (!immediate) {
        EXPECT_EQ(::WSAGetLastError(), WSAEWOULDBLOCK);
    }
    ASSERT_TRUE(probe.connected.Wait());
    EXPECT_EQ(probe.error.load(), 0);
    EXPECT_TRUE(listener.accepted.Wait());
}

TEST(SocketConnect, RefusedConnectIsReportedToOnConnect) {
    // A port that was just free: nobody listens there.
    EventSocket placeholder;
    ASSERT_TRUE(placeholder.Create(SOCK_STREAM, EventSocket::AllNetworkEvents, true));
    ASSERT_TRUE(placeholder.Bind(0, L"127.0.0.1"));
    const USHORT port = LocalPort(placeholder.Handle());
    ASSERT_TRUE(placeholder.Close(false));

    CConnectProbe probe;
    ASSERT_TRUE(probe.Create(SOCK_STREAM));
    EXPECT_FALSE(probe.Connect(kLoopback, port));
    ASSERT_TRUE(probe.connected.Wait());
    EXPECT_EQ(probe.error.load(), WSAECONNREFUSED);
}

TEST_F(SocketConnection, CloseFromAnotherThreadBreaksABlockedReceive) {
    CRecordingSocket server;  // never sends
    ConnectInto(server);
    TestEvent aboutToReceive, returned;
    int result = 0;
    std::thread reader([&] {
        char byte = 0;
        aboutToReceive.Set();
        result = client.Receive(&byte, 1);
        returned.Set();
    });
    ASSERT_TRUE(aboutToReceive.Wait());
    EXPECT_FALSE(returned.Wait(300));  // nothing was sent: the call blocks
    EXPECT_TRUE(client.Close(false));
    EXPECT_TRUE(returned.Wait());
    reader.join();
    EXPECT_EQ(result, -1);
}

}  // namespace
