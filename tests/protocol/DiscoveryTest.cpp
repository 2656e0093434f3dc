// Discovery and serving on 127.0.0.1 with hand-made datagrams and requests: what the Ear does with each
// kind of cmd_Who datagram, and the server coordinator's start and shutdown, accept runs, bound on
// connections and whom it serves (every datagram and request shape is fed to the parsers natively
// in MessagesTest and MachinesTest). Fixed ports: the "discovery" lock runs these one at a time.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "clipboard/LocalClipboard.h"
#include "protocol/Server.h"
#include "protocol/TransferProgress.h"
#include "settings/Settings.h"
#include "support/ClipboardContents.h"
#include "support/DebugOutputCapture.h"
#include "support/TestHelpers.h"

namespace {

using testutil::WideTextOf;
constexpr ULONG kLoopback = INADDR_LOOPBACK;   // 127.0.0.1, host order
constexpr USHORT kEarAnswerPort = 24510, kEarPort = 24511, kUdpPort = 24520, kTcpPort = 24521;

// Header fields (signature, command, error, length, checksum, sequence) written byte by byte, not
// with the program's encoder, then UTF-16LE text, then zero bytes up to `size`.
std::vector<uint8_t> Bytes(std::initializer_list<uint32_t> fields, std::u16string_view text = {}, size_t size = 0) {
    std::vector<uint8_t> bytes;
    for (uint32_t f : fields) bytes.insert(bytes.end(), {uint8_t(f), uint8_t(f >> 8), uint8_t(f >> 16), uint8_t(f >> 24)});
    for (char16_t unit : text) bytes.insert(bytes.end(), {uint8_t(unit), uint8_t(unit >> 8)});
    bytes.resize(std::max(size, bytes.size()));
    return bytes;
}
std::vector<uint8_t> Who(uint32_t command, std::u16string_view nick, uint32_t length = 16, uint32_t sign = MessageSignature) {
    return Bytes({sign, command, 0, length, 0, 7}, nick, 56);
}
std::vector<uint8_t> Request(uint32_t command, uint32_t length, std::u16string_view name = {}, size_t zeros = 2) {
    return Bytes({MessageSignature, command, 0, length, 0, 0xABCD0000u + command}, name, 24 + 2 * name.size() + zeros);
}

// A blocking socket of the test (a datagram one on 127.0.0.1 at `port`) whose receives wait at most
// `wait` ms: a test of a broken program fails instead of hanging.
bool Open(EventSocket& socket, int type, USHORT port = 0, DWORD wait = 10000) {
    return socket.Create(type, EventSocket::AllNetworkEvents, true) && (type == SOCK_STREAM || socket.Bind(port, L"127.0.0.1")) &&
           !::setsockopt(socket.Handle(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&wait), sizeof wait);
}
// The peer ended the stream, abortively or not (under Wine a reset may read as an end).
bool Ended(EventSocket& client, char byte = 0) { return client.Receive(&byte, 1) == 0 || ::WSAGetLastError() == WSAECONNRESET; }

// The Ear listens on a port of its own, so that its answers (to the UDPPort setting) reach the test.
TEST(EarTest, EveryKindOfDatagramAndACloseWhileAnswering) {
    CSettings settings;
    settings.UDPPort = kEarAnswerPort, settings.LocalName = L"EARHOST";
    Hosts hosts;
    Ear ear{hosts, settings};
    EventSocket answers, sender;
    ASSERT_TRUE(Open(answers, SOCK_DGRAM, kEarAnswerPort) && Open(sender, SOCK_DGRAM) && ear.Create() && ear.Bind(kEarPort));
    const auto send = [&](const auto& b) { return sender.SendTo(kLoopback, kEarPort, b.data(), int(b.size())) == int(b.size()); };
    USHORT from = 0;
    auto receive = [&, address = ULONG{}, b = std::vector<uint8_t>(2048)]() mutable {
        return std::vector<uint8_t>(b.begin(), b.begin() + std::max(0, answers.ReceiveFrom(b.data(), 2048, address, from)));
    };
    const auto headerOnly = [](uint32_t length) { auto b = Who(cmd_WhoQuery, u"", length); b.resize(24); return b; };
    // The sender's record before (if any), the datagram, whether it is answered, its name listed after.
    const struct {
        const char* what; const wchar_t* before; std::vector<uint8_t> bytes; bool answered; const wchar_t* after;
    } rows[] = {
        {"query", nullptr, Who(cmd_WhoQuery, u"ALPHA"), true, L"ALPHA"},
        {"answer", nullptr, Who(cmd_WhoAnswer, u"BRAVO"), false, L"BRAVO"},
        {"leave", L"CHARLIE", Who(cmd_WhoLeave, u"OTHER"), false, nullptr},
        {"leave, no name", L"CHARLIE", Who(cmd_WhoLeave, u"", 0), false, nullptr},
        {"header, length 16", nullptr, headerOnly(16), true, L""},
        {"header, length 0", nullptr, headerOnly(0), true, nullptr},
        {"57 bytes", nullptr, std::vector<uint8_t>(57, 0), false, nullptr},
        {"bad signature", nullptr, Who(cmd_WhoQuery, u"FOX", 16, 0x12345679), false, nullptr},
        {"query, unterminated", nullptr, Who(cmd_WhoQuery, u"HOTELHOTELHOTELH"), true, nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        hosts.RemoveAll();
        ASSERT_TRUE(!row.before || hosts.AddHost(kLoopback, row.before));
        // A query without a name follows; its answer comes after the row's, once the row is done.
        ASSERT_TRUE(send(row.bytes) && send(headerOnly(0)));
        const auto got = receive(), last = row.answered ? receive() : got;
        u_long more = 0;
        ASSERT_TRUE(last.size() == 56 && answers.IoCtl(FIONREAD, &more) && more == 0);
        EXPECT_EQ(from, testutil::LocalPort(ear.AnswerHandle()));   // the answer socket, not the listening port
        auto expected = Bytes({MessageSignature, cmd_WhoAnswer, 0, 16, 0, 0}, u"EARHOST", 56);
        if (got.size() == 56) std::copy(got.begin() + 20, got.begin() + 24, expected.begin() + 20);   // a fresh number
        EXPECT_EQ(got, expected);
        HostInfo host;
        EXPECT_EQ(row.after ? 1u : 0u, hosts.Count());
        if (row.after) { EXPECT_TRUE(hosts.GetHost(kLoopback, host) && host.Name == row.after); }
    }
    // Closed while its thread is about to answer, the answer still goes out (its socket closes after the thread).
    DebugOutputCapture capture;
    capture.Hold(L"Ear: ReceiveFrom");
    ASSERT_TRUE(send(Who(cmd_WhoQuery, u"ALPHA")));
    ASSERT_TRUE(capture.WaitHeld());   // the query is read, the answer not yet sent
    std::thread closing([&] { ear.Close(); });
    for (int i = 0; i < 30 && ear.AnswerHandle() != INVALID_SOCKET; ++i) ::Sleep(10);   // a wrong order shows
    capture.Release();
    closing.join();
    EXPECT_EQ(56u, receive().size());
}

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings.UDPPort = kUdpPort, settings.TCPPort = kTcpPort;
        settings.LocalName = testutil::ComputerName();   // a host does not list itself
    }
    void TearDown() override { server.Shutdown(); }
    bool Connect(EventSocket& c, DWORD wait = 10000) { return Open(c, SOCK_STREAM, 0, wait) && c.Connect(kLoopback, kTcpPort); }
    CSettings settings;
    CLocalClipboard clipboard;
    CServer server{settings, clipboard};
};

// A failed accept (a connection reset while queued; Wine: 10057) costs that connection only: the run
// goes on to those behind it (called here on a listener without an event thread, so no later run
// makes up for a stop). Behind them, two requests that the program's client never sends: a name
// without its terminator is refused with the request's number; half a request ends after its time.
TEST_F(ServerTest, AFailedAcceptCostsOnlyItsConnection) {
    struct COneRun : CServerListener { using CServerListener::CServerListener, CServerListener::OnIdle; };
    COneRun listener{server.Serving()};
    u_long nonBlocking = 1;
    ASSERT_TRUE(listener.Create(SOCK_STREAM, 0, true) && listener.IoCtl(FIONBIO, &nonBlocking) &&
                listener.Listen(kTcpPort, nullptr, CServerListener::Backlog));
    for (int i = 0; i < 5; ++i) {
        EventSocket dropped;
        const linger reset{1, 0};
        ASSERT_TRUE(Connect(dropped));
        ASSERT_EQ(0, ::setsockopt(dropped.Handle(), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset), sizeof reset));
        dropped.Close(false);
    }
    EventSocket unterminated, half;   // the half request waits longer than the server's 10 s for it
    ASSERT_TRUE(Connect(unterminated) && Connect(half, 30000));
    DebugOutputCapture capture;
    listener.OnIdle();
    const auto lines = capture.Messages();
    ASSERT_TRUE(std::any_of(lines.begin(), lines.end(), [](auto& m) { return !m.rfind(L"Server: Failed to accept", 0); }));
    const auto request = Request(cmd_GetData, 510, std::u16string(255, u'B'), 0);
    ASSERT_TRUE(unterminated.Send(request.data(), 534) == 534 && half.Send(request.data(), 30) == 30);
    uint8_t head[24] = {};
    CMessage reply;
    ASSERT_TRUE(unterminated.Receive(head, 24) == 24 && reply.Decode(head, 24));
    EXPECT_TRUE(reply.command == cmd_GetData && reply.error == SrvErr_Protocol && reply.sequence == 0xABCD0000u + cmd_GetData);
    EXPECT_TRUE(Ended(half));
    unterminated.Close(false);
    for (int i = 0; i < 3000 && listener.OpenConnections() > 0; ++i) ::Sleep(10);
    EXPECT_EQ(0, listener.OpenConnections());
}

// The serving side as the program's own client sees it, through the policy and the clipboard; a paste
// whose worker is held in a call (the progress report) at the time-out: it ends, the worker is not
// ended from outside (it may hold a lock), the client is busy until it is done; the connection bound.
TEST_F(ServerTest, ServesThroughThePolicyBoundsItsConnectionsAndStartsAndStopsCleanly) {
    CClipboardContents contents({{CF_UNICODETEXT, CClipboardContents::Text(L"abc")}});
    ASSERT_TRUE(contents.filled && server.Init());
    EXPECT_FALSE(server.Init());   // a second start fails and keeps the running one
    // Connections reach the listener without a notification (as under Wine one now and then): its retry alone accepts them.
    const UniqueWsaEvent stolen(::WSACreateEvent());
    ASSERT_EQ(0, ::WSAEventSelect(server.ListenerHandle(), stolen.Get(), FD_ACCEPT));
    enum Peer { Stranger, Known, Friend };   // rows: the settings, the peer, the format (0: the list), the status
    const struct { const char* what; bool locked, friendsOnly; Peer peer; UINT format; StatusId status; } rows[] = {
        {"format list", false, false, Stranger, 0, kStatusNone},
        {"data", false, false, Stranger, CF_UNICODETEXT, kStatusNone},
        {"missing format", false, false, Stranger, ::RegisterClipboardFormatW(L"Pelko No Such"), IDS_RENDER_FAILED},
        {"locked, friend", true, false, Friend, 0, IDS_REJECTED},
        {"friends only, stranger", false, true, Stranger, CF_UNICODETEXT, IDS_REJECTED},
        {"friends only, known", false, true, Known, 0, IDS_REJECTED},
        {"friends only, friend", false, true, Friend, 0, kStatusNone},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        settings.Locked = row.locked, settings.AcceptFriendsOnly = row.friendsOnly;
        server.HostTable().SetFriend(kLoopback, FALSE), server.HostTable().RemoveAll();   // the row before's friend too
        ASSERT_TRUE(row.peer == Stranger || server.HostTable().AddHost(kLoopback, L"PEER"));
        ASSERT_TRUE(row.peer != Friend || server.HostTable().SetFriend(kLoopback, TRUE));
        std::wstring list;
        const UniqueGlobal data(row.format ? server.GetRemoteClipData(kLoopback, row.format) : nullptr);
        const bool ok = row.format ? data.IsValid() : server.GetRemoteClipInfo(kLoopback, list);
        ASSERT_EQ(row.status, server.Status());
        EXPECT_EQ(row.status == kStatusNone, ok);
        if (ok) { EXPECT_EQ(row.format ? L"abc" : L"CF_UNICODETEXT", row.format ? WideTextOf(data.Get()) : list.substr(0, 14)); }
    }
    struct CHeldProgress : CTransferProgress {
        TestEvent release, returned;
        void InitProgress() override {} void CloseProgress() override {}
        BOOL UpdateProgress(DWORD, DWORD) override { return returned.Wait(0) || (release.Wait(), returned.Set(), TRUE); }
    } progress;
    server.SetProgress(&progress);
    EXPECT_EQ(nullptr, server.GetRemoteClipData(kLoopback, CF_UNICODETEXT));
    EXPECT_EQ(StatusId(IDS_TIMEOUT), server.Status());
    std::wstring list;
    EXPECT_FALSE(progress.returned.Wait(0) || server.GetRemoteClipInfo(kLoopback, list));   // still held
    EXPECT_EQ(StatusId(IDS_PREVIOUS_REQUEST), server.Status());
    progress.release.Set();
    EXPECT_TRUE(progress.returned.Wait());
    for (int i = 0; i < 300 && !server.GetRemoteClipInfo(kLoopback, list); ++i) ::Sleep(100);
    EXPECT_EQ(L"CF_UNICODETEXT", list.substr(0, 14));
    server.SetProgress(nullptr);
    // More idle clients than are served at once: the one beyond is closed at once, unanswered. Then
    // eight send a burst, some queued or half-handled at shutdown. The slots come back as they end.
    std::vector<EventSocket> clients(CServerListener::MaxConnections + 1);
    for (auto& client : clients) ASSERT_TRUE(Connect(client));
    clients.back().Send(Request(cmd_GetInfo, 0).data(), 24);
    EXPECT_TRUE(Ended(clients.back()));
    for (char i = 0; i < 8; ++i) clients[i].Send(std::string(4096, i).data(), 4096);
    server.Shutdown();
    clients.clear();
    for (int i = 0; i < 3000 && server.OpenConnections() > 0; ++i) ::Sleep(10);
    EXPECT_EQ(0, server.OpenConnections());
    // A start on a taken port, or one beyond 65535 (no port, not 4464), fails and leaves nothing open.
    EventSocket taken, udp, tcp;
    ASSERT_TRUE(taken.Create(SOCK_STREAM, 0, true) && taken.Listen(kTcpPort, nullptr, 1));
    EXPECT_FALSE(server.Init());
    taken.Close(false);
    settings.TCPPort = 70000;
    EXPECT_FALSE(server.Init());
    EXPECT_TRUE(!server.IsInitialized() && server.HostTable().Count() == 0 && udp.Create(SOCK_DGRAM, 0, true) &&
                udp.Bind(kUdpPort) && tcp.Create(SOCK_STREAM, 0, true) && tcp.Listen(kTcpPort, nullptr, 1));
    udp.Close(false), tcp.Close(false);
    settings.TCPPort = kTcpPort;
    EXPECT_TRUE(server.Init());
}

}  // namespace
