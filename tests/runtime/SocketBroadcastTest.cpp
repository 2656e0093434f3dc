// Broadcast on 127.0.0.1 inside the test sandbox (the network namespace has nothing but `lo`,
// so nothing leaves it): what Broadcast refuses, and a datagram that reaches a listener.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <cstring>

#include "SocketTestSupport.h"

namespace {

// A discovery-like listener: a non-blocking datagram socket on any address at a port.
class CDatagramListener : public EventSocket {
public:
    struct Datagram {
        std::vector<char> bytes;
        ULONG address = 0;
        USHORT port = 0;
        int error = 0;
        u_long available = 0;
    };
    ~CDatagramListener() override { Close(true); }
    std::vector<Datagram> Received() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_datagrams;
    }
    TestEvent arrived;

protected:
    void OnReceive(int error, u_long available) override {
        Datagram datagram;
        datagram.error = error;
        datagram.available = available;
        datagram.bytes.resize(2048);
        const int received = ReceiveFrom(datagram.bytes.data(), 2048, datagram.address, datagram.port);
        if (received < 0) return;
        datagram.bytes.resize(static_cast<size_t>(received));
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_datagrams.push_back(std::move(datagram));
        }
        arrived.Set();
    }

private:
    std::mutex m_mutex;
    std::vector<Datagram> m_datagrams;
};

class SocketBroadcast : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(listener.Create(SOCK_DGRAM));
        ASSERT_TRUE(listener.Bind(0, nullptr));
        port = LocalPort(listener.Handle());
        // Bound to the loopback address, a sender's limited broadcast goes out on `lo`.
        ASSERT_TRUE(sender.Create(SOCK_DGRAM, EventSocket::AllNetworkEvents, true));
        ASSERT_TRUE(sender.Bind(0, L"127.0.0.1"));
    }
    CDatagramListener listener;
    EventSocket sender;
    USHORT port = 0;
};

TEST_F(SocketBroadcast, DatagramReachesTheListenerWithTheSendersAddress) {
    ASSERT_TRUE(sender.SetBroadcast(true));
    const auto message = Pattern(56, 2);
    ASSERT_TRUE(sender.Broadcast(port, message.data(), 56));
    ASSERT_TRUE(listener.arrived.Wait());
    const auto datagrams = listener.Received();
    ASSERT_EQ(datagrams.size(), 1u);
    EXPECT_EQ(datagrams[0].bytes, message);
    EXPECT_EQ(datagrams[0].address, kLoopback);
    EXPECT_EQ(datagrams[0].port, LocalPort(sender.Handle()));
    EXPECT_EQ(datagrams[0].error, 0);
    EXPECT_GE(datagrams[0].available, 56u);
}

TEST_F(SocketBroadcast, RefusedBroadcastsSendNothing) {
    ASSERT_TRUE(sender.SetBroadcast(true));
    // Too long for one datagram: refused before Winsock sees it.
    const int limit = sender.GetMaxMessageSize();
    ASSERT_GT(limit, 0);
    std::vector<char> tooLong(static_cast<size_t>(limit) + 1, 'L');
    EXPECT_FALSE(sender.Broadcast(port, tooLong.data(), static_cast<int>(tooLong.size())));
    // Not a datagram socket.
    EventSocket stream;
    ASSERT_TRUE(stream.Create(SOCK_STREAM, EventSocket::AllNetworkEvents, true));
    const char one = '1';
    EXPECT_FALSE(stream.Broadcast(port, &one, 1));
    // The next datagram that does go out is the first the listener sees.
    const auto message = Pattern(56, 6);
    ASSERT_TRUE(sender.Broadcast(port, message.data(), 56));
    ASSERT_TRUE(listener.arrived.Wait());
    const auto datagrams = listener.Received();
    ASSERT_GE(datagrams.size(), 1u);
    EXPECT_EQ(datagrams[0].bytes, message);
}

TEST_F(SocketBroadcast, BroadcastNeedsTheBroadcastOption) {
    const auto message = Pattern(56, 8);
    EXPECT_FALSE(sender.Broadcast(port, message.data(), 56));
    EXPECT_EQ(::WSAGetLastError(), WSAEACCES);
}

TEST_F(SocketBroadcast, DatagramToOneAddressArrivesToo) {
    const auto message = Pattern(56, 1);
    ASSERT_EQ(sender.SendTo(kLoopback, port, message.data(), 56), 56);
    ASSERT_TRUE(listener.arrived.Wait());
    const auto datagrams = listener.Received();
    ASSERT_EQ(datagrams.size(), 1u);
    EXPECT_EQ(datagrams[0].bytes, message);
}

}  // namespace
