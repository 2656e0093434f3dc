// The server coordinator's start and shutdown on 127.0.0.1: the ports it takes and gives back,
// a start that fails on a taken port and leaves nothing open, starting again, the query it
// broadcasts at start (which it hears and answers itself without listing itself), the bytes of
// its broadcasts, the listener that closes what it accepts, and a shutdown that empties the
// host table without hanging.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <thread>

#include "DiscoveryTestSupport.h"
#include "framework/Handles.h"
#include "protocol/Server.h"
#include "settings/Settings.h"
#include "support/DebugOutputCapture.h"

using namespace discoverytest;

namespace {

constexpr USHORT kUdpPort = 24520;
constexpr USHORT kTcpPort = 24521;

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings.UDPPort = kUdpPort;
        settings.TCPPort = kTcpPort;
        settings.LocalName = ComputerName();
    }
    void TearDown() override { server.Shutdown(); }

    // Whether the test could take the port itself (and then gives it back).
    static bool UdpPortIsFree(USHORT port) {
        CTestDatagramSocket probe;
        return probe.Open(port, nullptr);
    }
    static bool TcpPortIsFree(USHORT port) {
        EventSocket probe;
        return probe.Create(SOCK_STREAM, EventSocket::AllNetworkEvents, true) && probe.Listen(port, nullptr, 1);
    }
    void ExpectEverythingClosed() {
        EXPECT_FALSE(server.IsInitialized());
        EXPECT_EQ(INVALID_SOCKET, server.ListenerHandle());
        EXPECT_EQ(INVALID_SOCKET, server.DiscoveryListener().ListeningHandle());
        EXPECT_EQ(INVALID_SOCKET, server.DiscoveryListener().AnswerHandle());
    }
    std::vector<HostInfo> Table() {
        std::vector<HostInfo> list;
        EXPECT_TRUE(server.ForEachHost(
            [](const HostInfo& host, void* context) { static_cast<std::vector<HostInfo>*>(context)->push_back(host); },
            &list));
        return list;
    }

    DebugOutputCapture capture;
    CSettings settings;
    CServer server{settings};
};

}  // namespace

TEST_F(ServerTest, InitTakesBothPortsAndShutdownGivesThemBack) {
    ASSERT_TRUE(server.Init());
    EXPECT_TRUE(server.IsInitialized());
    EXPECT_FALSE(UdpPortIsFree(kUdpPort));
    EXPECT_FALSE(TcpPortIsFree(kTcpPort));
    server.Shutdown();
    ExpectEverythingClosed();
    EXPECT_TRUE(UdpPortIsFree(kUdpPort));
    EXPECT_TRUE(TcpPortIsFree(kTcpPort));
    // And once more: a stopped coordinator starts again.
    ASSERT_TRUE(server.Init());
    EXPECT_FALSE(UdpPortIsFree(kUdpPort));
    server.Shutdown();
    EXPECT_TRUE(UdpPortIsFree(kUdpPort));
}

TEST_F(ServerTest, ASecondInitFailsAndKeepsTheRunningOne) {
    ASSERT_TRUE(server.Init());
    EXPECT_FALSE(server.Init());
    EXPECT_TRUE(server.IsInitialized());
    EXPECT_FALSE(TcpPortIsFree(kTcpPort));
    server.Shutdown();
    server.Shutdown();   // nothing left to do
    ExpectEverythingClosed();
}

TEST_F(ServerTest, InitFailsWhenTheUdpPortIsTakenAndLeavesNothingOpen) {
    {
        CTestDatagramSocket taken;
        ASSERT_TRUE(taken.Open(kUdpPort, nullptr));
        EXPECT_FALSE(server.Init());
        ExpectEverythingClosed();
        EXPECT_TRUE(TcpPortIsFree(kTcpPort));
        const auto messages = DiscoveryMessages(capture);
        ASSERT_EQ(1u, messages.size());
        EXPECT_EQ(L"CServer: Failed to bind UDP port 24520 (10048)", messages[0]);
    }
    ASSERT_TRUE(server.Init());
}

TEST_F(ServerTest, InitFailsWhenTheTcpPortIsTakenAndLeavesNothingOpen) {
    {
        EventSocket taken;
        ASSERT_TRUE(taken.Create(SOCK_STREAM, EventSocket::AllNetworkEvents, true));
        ASSERT_TRUE(taken.Listen(kTcpPort, nullptr, 1));
        EXPECT_FALSE(server.Init());
        ExpectEverythingClosed();
        EXPECT_TRUE(UdpPortIsFree(kUdpPort));
        const auto messages = DiscoveryMessages(capture);
        ASSERT_EQ(1u, messages.size());
        EXPECT_EQ(L"CServer: Failed to listen on TCP port 24521 (10048)", messages[0]);
        // Nothing was broadcast: the start stopped before it.
    }
    ASSERT_TRUE(server.Init());
}

TEST_F(ServerTest, InitAsksWhoIsThereAndTheHostAnswersItselfWithoutListingItself) {
    ASSERT_TRUE(server.Init());
    // Its own query comes in (from the broadcast's socket), then its own answer (from the answer
    // socket, to the UDP port): two datagrams of 56 bytes from 127.0.0.1.
    const auto received = WaitForMessages(capture, L"Ear: ReceiveFrom", 2);
    ASSERT_EQ(2u, received.size());
    const USHORT answerPort = LocalPort(server.DiscoveryListener().AnswerHandle());
    ASSERT_NE(0, answerPort);
    EXPECT_EQ(ReceiveLine(L"127.0.0.1", answerPort, 56, 0), received[1]);
    EXPECT_NE(received[0], received[1]);
    EXPECT_EQ(0u, server.HostTable().Count());
    EXPECT_TRUE(WaitForMessages(capture, L"Hosts: AddHost", 0).empty());
    EXPECT_TRUE(WaitForMessages(capture, L"CServer: Failed", 0).empty());
}

TEST_F(ServerTest, BroadcastsCarryTheLocalNameAndTheirCommand) {
    // The broadcasts use no socket of the coordinator: it need not be started.
    settings.LocalName = L"Broadcaster";
    CTestDatagramSocket receiver;
    ASSERT_TRUE(receiver.Open(kUdpPort, nullptr));
    ASSERT_TRUE(server.BroadcastQuery());
    ASSERT_TRUE(server.BroadcastLeave());
    ASSERT_TRUE(server.BroadcastWho(cmd_WhoAnswer));
    for (uint32_t command : {cmd_WhoQuery, cmd_WhoLeave, cmd_WhoAnswer}) {
        bool ok = false;
        ULONG from = 0;
        const auto bytes = receiver.ReceiveOne(ok, &from);
        ASSERT_TRUE(ok);
        ASSERT_EQ(56u, bytes.size());
        EXPECT_EQ(ExpectedWho(command, u"Broadcaster", GetLE32(bytes, 20)), bytes);
        EXPECT_EQ(kLoopback, from);
    }
    EXPECT_TRUE(WaitForMessages(capture, L"CServer: Failed", 0).empty());
}

TEST_F(ServerTest, ALongLocalNameIsCutToFifteenUnits) {
    settings.LocalName = L"ABCDEFGHIJKLMNOPQRS";
    CTestDatagramSocket receiver;
    ASSERT_TRUE(receiver.Open(kUdpPort, nullptr));
    ASSERT_TRUE(server.BroadcastQuery());
    bool ok = false;
    const auto bytes = receiver.ReceiveOne(ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(56u, bytes.size());
    EXPECT_EQ(ExpectedWho(cmd_WhoQuery, u"ABCDEFGHIJKLMNO", GetLE32(bytes, 20)), bytes);
}

TEST_F(ServerTest, ForEachHostWalksTheHostsHeardInOrderAndShutdownEmptiesTheTable) {
    ASSERT_TRUE(server.Init());
    // One host heard on the network (all of this test's sockets send from 127.0.0.1)...
    CTestDatagramSocket peer;
    ASSERT_TRUE(peer.Open(0, L"127.0.0.1"));
    ASSERT_TRUE(peer.SendBytes(kLoopback, kUdpPort, WhoDatagram(cmd_WhoAnswer, u"NOVEMBER")));
    ASSERT_EQ(1u, WaitForMessages(capture, L"Hosts: AddHost", 1).size());
    // ...and one more put into the table as discovery would.
    ASSERT_TRUE(server.HostTable().AddHost(0x0A000002, L"OSCAR"));
    const auto table = Table();
    ASSERT_EQ(2u, table.size());
    EXPECT_EQ(kLoopback, table[0].Address);
    EXPECT_EQ(L"NOVEMBER", table[0].Nick);
    EXPECT_EQ(0x0A000002u, table[1].Address);
    EXPECT_EQ(L"OSCAR", table[1].Nick);
    EXPECT_FALSE(server.ForEachHost(nullptr, nullptr));

    server.Shutdown();
    EXPECT_TRUE(Table().empty());
    EXPECT_TRUE(WaitForMessages(capture, L"CServer: Failed", 0).empty());   // the goodbye went out
}

TEST_F(ServerTest, TheListenerClosesEveryConnectionItAccepts) {
    ASSERT_TRUE(server.Init());
    for (int i = 0; i < 3; ++i) {
        EventSocket client;
        ASSERT_TRUE(client.Create(SOCK_STREAM, EventSocket::AllNetworkEvents, true));
        ASSERT_TRUE(client.Connect(kLoopback, kTcpPort));
        const USHORT clientPort = LocalPort(client.Handle());
        // The peer closes without a word: the client reads the end of the stream.
        char byte = 0;
        EXPECT_EQ(0, client.Receive(&byte, 1));
        const auto closed = WaitForMessages(capture, L"CServerListener:", static_cast<size_t>(i + 1));
        ASSERT_EQ(static_cast<size_t>(i + 1), closed.size());
        EXPECT_EQ(L"CServerListener: Closed connection from IP: 127.0.0.1 Port: " + std::to_wstring(clientPort) +
                      L" (not served)",
                  closed.back());
    }
}

TEST_F(ServerTest, ShutdownEndsPromptlyWhileClientsConnectAndSend) {
    ASSERT_TRUE(server.Init());
    // Clients that connect and send a request-sized burst, some still in the listener's queue
    // or half-handled while the shutdown runs.
    std::vector<std::unique_ptr<EventSocket>> clients;
    for (int i = 0; i < 8; ++i) {
        auto client = std::make_unique<EventSocket>();
        ASSERT_TRUE(client->Create(SOCK_STREAM, EventSocket::AllNetworkEvents, true));
        ASSERT_TRUE(client->Connect(kLoopback, kTcpPort));
        std::vector<char> request(4096, static_cast<char>(i));
        client->Send(request.data(), static_cast<int>(request.size()));
        clients.push_back(std::move(client));
    }
    // The shutdown runs on a thread of its own, so that a hang shows as a failure here and not
    // as a test that never ends.
    UniqueKernelHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(done.IsValid());
    std::thread stopper([&] {
        server.Shutdown();
        ::SetEvent(done.Get());
    });
    const DWORD waited = ::WaitForSingleObject(done.Get(), kGenerousMs);
    stopper.join();
    EXPECT_EQ(WAIT_OBJECT_0, waited);
    ExpectEverythingClosed();
    EXPECT_TRUE(TcpPortIsFree(kTcpPort));
    for (auto& client : clients) client->Close(false);
}
