// The server coordinator's start and shutdown on 127.0.0.1: the ports it takes and gives back,
// a start that fails on a taken port and leaves nothing open, starting again, the query it
// broadcasts at start (which it hears and answers itself without listing itself), the bytes of
// its broadcasts, the serving connections' answers to every request shape and to locked and
// friends-only hosts, and a shutdown that empties the
// host table without hanging.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "DiscoveryTestSupport.h"
#include "framework/Handles.h"
#include "protocol/Checksum.h"
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

namespace {
// A request as raw bytes: a header (signature, command, error, length, checksum, sequence) and
// the payload, sent in one piece or split after the header.
std::vector<uint8_t> Request(uint32_t signature, uint32_t command, uint32_t length, std::u16string_view name = {},
                             bool terminate = true) {
    std::vector<uint8_t> bytes;
    for (uint32_t field : {signature, command, 0u, length, 0u, 0xABCD0000u + command})
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(field >> (8 * i)));
    for (char16_t unit : name) { bytes.push_back(static_cast<uint8_t>(unit)); bytes.push_back(static_cast<uint8_t>(unit >> 8)); }
    if (terminate && !name.empty()) { bytes.push_back(0); bytes.push_back(0); }
    return bytes;
}
uint32_t NameBytes(std::u16string_view name) { return static_cast<uint32_t>(name.size() * 2 + 2); }
// A name of 255 units with its terminator, and one byte more: 513 bytes of payload.
std::vector<uint8_t> Request513() {
    auto bytes = Request(MessageSignature, cmd_GetData, 513, std::u16string(255, u'B'));
    bytes.push_back(0);
    return bytes;
}

void PutTextOnClipboard(const wchar_t* text) {
    for (int i = 0; i < 100 && !::OpenClipboard(nullptr); ++i) ::Sleep(10);
    ::EmptyClipboard();
    const size_t bytes = (std::wcslen(text) + 1) * sizeof(wchar_t);
    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, bytes);
    std::memcpy(::GlobalLock(block), text, bytes);
    ::GlobalUnlock(block);
    ::SetClipboardData(CF_UNICODETEXT, block);
    ::CloseClipboard();
}
}  // namespace

// Every request shape a peer can send, answered by a real serving connection on 127.0.0.1: the
// reply header, the sequence copied or not, the payload, and whether the connection then ends.
TEST_F(ServerTest, ServingConnectionsAnswerEveryRequestShape) {
    PutTextOnClipboard(L"abc");
    ASSERT_TRUE(server.Init());
    const std::u16string longName(255, u'A');
    struct Row {
        const char* what;
        std::vector<uint8_t> request;
        size_t split;            // bytes of the first piece (0: one piece)
        uint32_t command, error;
        bool sequenceCopied, ends;
        std::string payload;     // expected payload bytes (cmd_SendInfo: a part of the list)
    } rows[] = {
        {"format list", Request(MessageSignature, cmd_GetInfo, 0), 0, cmd_SendInfo, 0, true, false, "C\0F\0_\0U\0N\0I\0"},
        {"data in pieces", Request(MessageSignature, cmd_GetData, NameBytes(u"CF_UNICODETEXT"), u"CF_UNICODETEXT"), 24,
         cmd_SendData, 0, true, true, std::string("a\0b\0c\0\0\0", 8)},
        {"bad signature", Request(0x12345679, cmd_GetInfo, 0), 0, 0, SrvErr_Protocol, false, true, ""},
        {"length 552", Request(MessageSignature, cmd_GetData, 552), 0, 0, SrvErr_Protocol, false, true, ""},
        {"length 513", Request513(), 0, cmd_GetData,
         SrvErr_Protocol, true, false, ""},
        {"no terminator", Request(MessageSignature, cmd_GetData, 510, longName, false), 0, cmd_GetData,
         SrvErr_Protocol, true, false, ""},
        {"unknown command", Request(MessageSignature, cmd_SendInfo, 0), 0, cmd_SendInfo, SrvErr_BadCommand, true, false, ""},
        {"missing format", Request(MessageSignature, cmd_GetData, NameBytes(u"Pelko No Such"), u"Pelko No Such"), 0,
         cmd_SendData, SrvErr_NoData, true, false, ""},
        {"too much data", std::vector<uint8_t>(560, 0x41), 0, 0, SrvErr_Protocol, false, true, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EventSocket client;
        ASSERT_TRUE(client.Create(SOCK_STREAM, EventSocket::AllNetworkEvents, true));
        ASSERT_TRUE(client.Connect(kLoopback, kTcpPort));
        const size_t first = row.split ? row.split : row.request.size();
        ASSERT_EQ(static_cast<int>(first), client.Send(row.request.data(), static_cast<int>(first)));
        if (row.split) {
            ::Sleep(50);   // lets the header arrive alone; either way the request is served once
            client.Send(row.request.data() + first, static_cast<int>(row.request.size() - first));
        }
        uint8_t header[24] = {};
        int got = 0;
        while (got < 24) {
            const int n = client.Receive(header + got, 24 - got);
            ASSERT_GT(n, 0);
            got += n;
        }
        CMessage reply;
        reply.Decode(header, 24);
        EXPECT_TRUE(reply.HasSignature());
        EXPECT_EQ(row.command, reply.command);
        EXPECT_EQ(row.error, reply.error);
        if (row.sequenceCopied) EXPECT_EQ(0xABCD0000u + row.request[4], reply.sequence);
        else EXPECT_NE(0xABCD0000u + row.request[4], reply.sequence);
        std::string payload(reply.error ? 0 : reply.length, '\0');
        for (size_t done = 0; done < payload.size();) {
            const int n = client.Receive(payload.data() + done, static_cast<int>(payload.size() - done));
            ASSERT_GT(n, 0);
            done += static_cast<size_t>(n);
        }
        EXPECT_NE(std::string::npos, payload.find(row.payload));
        if (reply.command == cmd_SendData && reply.error == 0) {
            EXPECT_EQ(theChecksum.Compute(payload.data(), static_cast<uint32_t>(payload.size())), reply.checksum);
        }
        if (row.ends) {
            char last = 0;
            EXPECT_EQ(0, client.Receive(&last, 1));   // the server ended the stream
        }
    }
}

// Locked: everyone is refused; friends only: a stranger is refused and asked to announce itself.
TEST_F(ServerTest, LockedAndFriendsOnlyHostsRefuseAndAStrangerIsQueried) {
    ASSERT_TRUE(server.Init());
    for (int mode = 0; mode < 2; ++mode) {
        settings.Locked = mode == 0;
        settings.AcceptFriendsOnly = mode == 1;
        const size_t queries = WaitForMessages(capture, L"Ear: ReceiveFrom", 0).size();
        for (uint32_t command : {cmd_GetInfo, cmd_GetData}) {
            EventSocket client;
            ASSERT_TRUE(client.Create(SOCK_STREAM, EventSocket::AllNetworkEvents, true));
            ASSERT_TRUE(client.Connect(kLoopback, kTcpPort));
            const auto request = command == cmd_GetInfo ? Request(MessageSignature, command, 0)
                                                         : Request(MessageSignature, command, NameBytes(u"X"), u"X");
            client.Send(request.data(), static_cast<int>(request.size()));
            uint8_t header[24] = {};
            ASSERT_EQ(24, client.Receive(header, 24));
            CMessage reply;
            reply.Decode(header, 24);
            EXPECT_EQ(SrvErr_Rejected, reply.error);
        }
        // 127.0.0.1 is no host of the table: each refusal broadcast a query, which the server heard.
        EXPECT_LE(queries + 2, WaitForMessages(capture, L"Ear: ReceiveFrom", queries + 2).size());
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
