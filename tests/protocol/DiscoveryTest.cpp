// Discovery and serving on 127.0.0.1 in the test sandbox with hand-made datagrams and requests: what
// the Ear does with each kind of cmd_Who datagram, and the server coordinator's start, shutdown and
// answer to every request shape. Fixed ports: the "discovery" lock runs these tests one at a time.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <thread>

#include "clipboard/LocalClipboard.h"
#include "protocol/Checksum.h"
#include "protocol/Ear.h"
#include "protocol/Server.h"
#include "protocol/TransferProgress.h"
#include "resource.h"
#include "settings/Settings.h"
#include "support/ClipboardContents.h"
#include "support/DebugOutputCapture.h"
#include "support/TestHelpers.h"

namespace {

using testutil::LocalPort;
constexpr ULONG kLoopback = INADDR_LOOPBACK;   // 127.0.0.1, host order

// A cmd_Who datagram written field by field (not with the program's encoder): signature, command,
// error, length, checksum, sequence, 16 UTF-16LE units of nickname. An expected one takes the
// sequence of the received bytes: every message has a fresh number.
std::vector<uint8_t> WhoDatagram(uint32_t command, const std::u16string& nick, uint32_t length = 16,
                                 uint32_t signature = MessageSignature, const std::vector<uint8_t>* got = nullptr) {
    std::vector<uint8_t> bytes(56, 0);
    const uint32_t fields[] = {signature, command, 0, length, 0, got ? *reinterpret_cast<const uint32_t*>(&(*got)[20]) : 7};
    for (size_t i = 0; i < 24 + 2 * std::min<size_t>(nick.size(), 16); ++i)
        bytes[i] = static_cast<uint8_t>(i < 24 ? fields[i / 4] >> (8 * (i % 4)) : nick[i / 2 - 12] >> (8 * (i % 2)));
    return bytes;
}

// A blocking datagram socket of the test; it receives only what is already queued.
struct CTestDatagramSocket : EventSocket {
    bool Open(USHORT port, const wchar_t* address = L"127.0.0.1") {
        return Create(SOCK_DGRAM, AllNetworkEvents, true) && Bind(port, address);
    }
    bool SendBytes(USHORT port, const std::vector<uint8_t>& bytes) {
        return SendTo(kLoopback, port, bytes.data(), static_cast<int>(bytes.size())) == static_cast<int>(bytes.size());
    }
    std::vector<uint8_t> ReceiveOne(USHORT* fromPort) {
        std::vector<uint8_t> bytes(2048);
        ULONG address = 0;
        bytes.resize(static_cast<size_t>(std::max(0, ReceiveFrom(bytes.data(), 2048, address, *fromPort))));
        return bytes;
    }
    bool Pending() {
        u_long count = 0;
        return IoCtl(FIONREAD, &count) && count > 0;
    }
};

size_t Count(const std::vector<std::wstring>& lines, const std::wstring& prefix) {
    return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [&](auto& m) { return !m.rfind(prefix, 0); }));
}

// The discovery's own trace messages ("Ear:", "Hosts:", "CServer"), once `count` of them start
// with the prefix (or after 30 s).
std::vector<std::wstring> WaitForMessages(DebugOutputCapture& capture, const std::wstring& prefix = L"", size_t count = 0) {
    for (const ULONGLONG end = ::GetTickCount64() + 30000;; ::Sleep(5)) {
        std::vector<std::wstring> found;
        for (const auto& m : capture.Messages())
            if (!m.rfind(L"Ear:", 0) || !m.rfind(L"Hosts:", 0) || !m.rfind(L"CServer", 0) || !m.rfind(L"Server:", 0))
                found.push_back(m);
        if (Count(found, prefix) >= count || ::GetTickCount64() > end) return found;
    }
}

std::wstring ReceiveLine(USHORT port, int result, int error = 0, const wchar_t* address = L"127.0.0.1") {
    return std::wstring(L"Ear: ReceiveFrom IP: ") + address + L" Port: " + std::to_wstring(port) + L";  res=" +
           std::to_wstring(result) + L"; err=" + std::to_wstring(error) + L";";
}

// --- the Ear. It listens on a port of its own here, so that its answers (which go to the UDPPort
// setting) reach the test's receiver and not the Ear itself.

constexpr USHORT kUdpPortSetting = 24510, kEarPort = 24511;
constexpr wchar_t kNoUsable[] = L"Ear: No usable nickname, host not added";

class EarTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings.UDPPort = kUdpPortSetting;
        settings.LocalName = L"EARHOST";
        ASSERT_TRUE(answers.Open(kUdpPortSetting) && sender.Open(0) && ear.Create() && ear.Bind(kEarPort));
    }
    void TearDown() override { ear.Close(); }

    DebugOutputCapture capture;
    CSettings settings;
    Hosts hosts;
    Ear ear{hosts, settings};
    CTestDatagramSocket answers, sender;
};

TEST_F(EarTest, EveryKindOfDatagram) {
    const std::wstring from = ReceiveLine(LocalPort(sender.Handle()), 56), invalid = L"Ear: Invalid command",
                       unterminated = L"Ear: Provided nickname IsBadStringPtr";
    auto headerOnly = [](uint32_t length) { auto b = WhoDatagram(cmd_WhoQuery, u"", length); b.resize(24); return b; };
    const std::u16string sixteen = u"HOTELHOTELHOTELH";   // no room for a terminator
    // The sender's record before (if any), the datagram, its trace lines, whether it is answered,
    // and the sender's name in the table after it (if listed).
    const struct { const char* what; const wchar_t* before; std::vector<uint8_t> bytes; std::vector<std::wstring> traced;
                   bool answered; const wchar_t* after; } rows[] = {
        {"query", nullptr, WhoDatagram(cmd_WhoQuery, u"ALPHA"), {from, L"Hosts: AddHost [ALPHA]"}, true, L"ALPHA"},
        {"answer", nullptr, WhoDatagram(cmd_WhoAnswer, u"BRAVO"), {from, L"Hosts: AddHost [BRAVO]"}, false, L"BRAVO"},
        {"leave", L"CHARLIE", WhoDatagram(cmd_WhoLeave, u"OTHER"), {from, L"Ear: Host [CHARLIE] left"}, false, nullptr},
        {"leave, no name", L"CHARLIE", WhoDatagram(cmd_WhoLeave, u"", 0), {from, L"Ear: Host [CHARLIE] left"}, false, nullptr},
        {"leave, not listed", nullptr, WhoDatagram(cmd_WhoLeave, u"CHARLIE"), {from}, false, nullptr},
        {"zero bytes", nullptr, {}, {ReceiveLine(LocalPort(sender.Handle()), 0), invalid}, false, nullptr},
        {"header, length 16", nullptr, headerOnly(16), {ReceiveLine(LocalPort(sender.Handle()), 24), L"Hosts: AddHost []"}, true, L""},
        {"header, length 0", nullptr, headerOnly(0), {ReceiveLine(LocalPort(sender.Handle()), 24), kNoUsable}, true, nullptr},
        {"answer, length 10", nullptr, WhoDatagram(cmd_WhoAnswer, u"DELTA", 10), {from, kNoUsable}, false, nullptr},
        {"57 bytes", nullptr, std::vector<uint8_t>(57, 0), {ReceiveLine(0, -1, WSAEMSGSIZE, L"0.0.0.0"), L"Ear: ReceiveFrom failed with 10040"}, false, nullptr},
        {"bad signature", nullptr, WhoDatagram(cmd_WhoQuery, u"FOX", 16, 0x12345679), {from, L"Ear: Invalid message signature"}, false, nullptr},
        {"command 0", nullptr, WhoDatagram(0, u"GOLF"), {from, invalid}, false, nullptr},
        {"command 0x10002", nullptr, WhoDatagram(0x10002, u"GOLF"), {from, invalid}, false, nullptr},
        {"query, unterminated", nullptr, WhoDatagram(cmd_WhoQuery, sixteen), {from, unterminated, kNoUsable}, true, nullptr},
        {"answer, unterminated", nullptr, WhoDatagram(cmd_WhoAnswer, sixteen), {from, unterminated, kNoUsable}, false, nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        hosts.RemoveAll();
        ASSERT_TRUE(!row.before || hosts.AddHost(kLoopback, row.before));
        capture.Clear();
        // A last query without a name is handled after the row's datagram: once it is traced, the
        // row is done and each answer is queued at the receiver.
        ASSERT_TRUE(sender.SendBytes(kEarPort, row.bytes) && sender.SendBytes(kEarPort, headerOnly(0)));
        auto traced = WaitForMessages(capture, kNoUsable, Count(row.traced, kNoUsable) + 1);
        ASSERT_EQ(traced.size(), row.traced.size() + 2);
        EXPECT_EQ(std::vector<std::wstring>(traced.begin(), traced.end() - 2), row.traced);
        std::vector<std::vector<uint8_t>> got;
        USHORT answerPort = 0;
        while (answers.Pending()) got.push_back(answers.ReceiveOne(&answerPort));
        ASSERT_EQ(got.size(), row.answered ? 2u : 1u);
        EXPECT_EQ(answerPort, LocalPort(ear.AnswerHandle()));   // the answer socket, not the listening port
        if (row.answered) { EXPECT_EQ(got[0], WhoDatagram(cmd_WhoAnswer, u"EARHOST", 16, MessageSignature, &got[0])); }
        HostInfo host;
        EXPECT_EQ(hosts.Count(), row.after ? 1u : 0u);
        if (row.after) { EXPECT_TRUE(hosts.GetHost(kLoopback, host) && host.Name == row.after); }
    }
}

// Close while the Ear's thread is about to answer a query: the answer still goes out, since its
// socket closes only after the thread has ended.
TEST_F(EarTest, CloseLetsAnAnswerInProgressGoOut) {
    capture.Hold(L"Ear: ReceiveFrom");
    ASSERT_TRUE(sender.SendBytes(kEarPort, WhoDatagram(cmd_WhoQuery, u"ALPHA")));
    ASSERT_TRUE(capture.WaitHeld());   // the query is read, the answer not yet sent
    std::thread closing([&] { ear.Close(); });
    for (int i = 0; i < 30 && ear.AnswerHandle() != INVALID_SOCKET; ++i) ::Sleep(10);   // a wrong order shows
    capture.Release();
    closing.join();
    EXPECT_TRUE(answers.Pending());
    EXPECT_EQ(0u, Count(capture.Messages(), L"Ear: SendTo failed"));
}

// --- the server coordinator

constexpr USHORT kUdpPort = 24520, kTcpPort = 24521;

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings.UDPPort = kUdpPort;
        settings.TCPPort = kTcpPort;
        settings.LocalName = testutil::ComputerName();   // a host does not list itself
    }
    void TearDown() override { server.Shutdown(); }
    void ExpectEverythingClosed() {
        EXPECT_FALSE(server.IsInitialized());
        EXPECT_EQ(0u, server.HostTable().Count());
        CTestDatagramSocket udp;
        EventSocket tcp;
        EXPECT_TRUE(udp.Open(kUdpPort, nullptr) && tcp.Create(SOCK_STREAM, EventSocket::AllNetworkEvents, true) &&
                    tcp.Listen(kTcpPort, nullptr, 1));   // both ports free again
    }
    bool Connect(EventSocket& client) {   // a client of a broken server fails instead of hanging
        const DWORD wait = 10000;
        return client.Create(SOCK_STREAM, EventSocket::AllNetworkEvents, true) && client.Connect(kLoopback, kTcpPort) &&
               !::setsockopt(client.Handle(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&wait), sizeof wait);
    }

    DebugOutputCapture capture;
    CSettings settings;
    CLocalClipboard clipboard;
    CServer server{settings, clipboard};
};

TEST_F(ServerTest, StartListsOthersBoundsItsConnectionsAndShutdownEndsPromptlyWhileClientsSend) {
    ASSERT_TRUE(server.Init());
    EXPECT_FALSE(server.Init());   // a second start fails and keeps the running one
    // It hears its own query and its own answer and lists neither; a peer's answer it lists.
    const auto heard = WaitForMessages(capture, L"Ear: ReceiveFrom", 2);   // the answer socket is bound by then
    EXPECT_EQ(1u, Count(heard, ReceiveLine(LocalPort(server.DiscoveryListener().AnswerHandle()), 56)));
    CTestDatagramSocket peer;
    ASSERT_TRUE(peer.Open(0) && peer.SendBytes(kUdpPort, WhoDatagram(cmd_WhoAnswer, u"NOVEMBER")));
    EXPECT_EQ(L"Hosts: AddHost [NOVEMBER]", WaitForMessages(capture, L"Hosts: AddHost", 1).back());
    EXPECT_EQ(1u, server.HostTable().Count());
    // More idle clients than are served at once: the one beyond is closed at once. Then eight
    // send a request-sized burst, some still queued or half-handled at shutdown, which runs on a
    // thread of its own so that a hang shows as a failure. The slots come back as they end.
    std::vector<std::unique_ptr<EventSocket>> clients(CServerListener::MaxConnections + 1);
    for (auto& client : clients) ASSERT_TRUE(Connect(*(client = std::make_unique<EventSocket>())));
    const std::wstring refused = L"Server: Connection refused from IP: 127.0.0.1 (64 connections open)";
    EXPECT_EQ(1u, Count(WaitForMessages(capture, refused, 1), refused));
    char byte = 0;
    EXPECT_TRUE(clients.back()->Receive(&byte, 1) == 0 || ::WSAGetLastError() == WSAECONNRESET);   // the last, at once
    for (char i = 0; i < 8; ++i) clients[i]->Send(std::string(4096, i).data(), 4096);
    TestEvent done;
    std::thread stopper([&] { server.Shutdown(), done.Set(); });
    EXPECT_TRUE(done.Wait());
    stopper.join();
    clients.clear();
    for (const ULONGLONG end = ::GetTickCount64() + 30000; server.OpenConnections() > 0 && ::GetTickCount64() < end;) ::Sleep(5);
    EXPECT_EQ(0, server.OpenConnections());
    ExpectEverythingClosed();
    EXPECT_EQ(0u, Count(WaitForMessages(capture), L"CServer: Failed"));   // the goodbye went out too
    // A start on a taken port fails and leaves nothing open; then it starts again.
    capture.Clear();
    EventSocket taken;
    ASSERT_TRUE(taken.Create(SOCK_STREAM, EventSocket::AllNetworkEvents, true) && taken.Listen(kTcpPort, nullptr, 1));
    EXPECT_FALSE(server.Init());
    EXPECT_EQ(WaitForMessages(capture), std::vector<std::wstring>{L"CServer: Failed to listen on TCP port 24521 (10048)"});
    taken.Close(false);
    ExpectEverythingClosed();
    capture.Clear();
    settings.TCPPort = 70000;   // typed on the options page: no port, not port 4464
    EXPECT_FALSE(server.Init());
    EXPECT_EQ(WaitForMessages(capture), std::vector<std::wstring>{L"CServer: Failed to listen on TCP port 70000 (10022)"});
    settings.TCPPort = kTcpPort;
    EXPECT_TRUE(server.Init());
}

// A paste whose worker is held inside a call (here the progress report) when the time-out comes:
// the paste ends, the worker is not ended from outside (it might hold a lock), the client is busy
// until the worker has finished its pass by itself, and then serves the next request.
TEST_F(ServerTest, ATimedOutWorkerFinishesItsPassItselfAndTheClientIsBusyUntilThen) {
    struct CHeldProgress : CTransferProgress {
        TestEvent release, returned;
        void InitProgress() override {}
        BOOL UpdateProgress(DWORD, DWORD) override { return returned.Wait(0) || (release.Wait(), returned.Set(), TRUE); }
        void CloseProgress() override {}
    } progress;
    CClipboardContents contents({{CF_UNICODETEXT, CClipboardContents::Text(std::wstring(4000, L'p').c_str())}});
    server.SetProgress(&progress);
    ASSERT_TRUE(contents.filled && server.Init());
    EXPECT_EQ(nullptr, server.GetRemoteClipData(kLoopback, CF_UNICODETEXT));
    EXPECT_EQ(StatusId(IDS_TIMEOUT), server.Status());
    std::wstring list;
    EXPECT_FALSE(progress.returned.Wait(0) || server.GetRemoteClipInfo(kLoopback, list));   // the worker is still held
    EXPECT_EQ(StatusId(IDS_PREVIOUS_REQUEST), server.Status());
    progress.release.Set();
    EXPECT_TRUE(progress.returned.Wait());
    for (int i = 0; i < 300 && !server.GetRemoteClipInfo(kLoopback, list); ++i) ::Sleep(100);
    EXPECT_EQ(L"CF_UNICODETEXT", list.substr(0, 14));
    server.SetProgress(nullptr);
}

// A request as raw bytes: the header's fields, then a format name and zero bytes.
std::vector<uint8_t> Request(uint32_t command, uint32_t length, std::u16string_view name = {}, size_t zeros = 2,
                             uint32_t signature = MessageSignature) {
    std::vector<uint8_t> bytes;
    for (uint32_t field : {signature, command, 0u, length, 0u, 0xABCD0000u + command})
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(field >> (8 * i)));
    for (char16_t unit : name) bytes.insert(bytes.end(), {static_cast<uint8_t>(unit), static_cast<uint8_t>(unit >> 8)});
    bytes.insert(bytes.end(), zeros, 0);
    return bytes;
}
std::vector<uint8_t> GetData(std::u16string_view name) { return Request(cmd_GetData, uint32_t(2 * name.size() + 2), name); }

// A failed accept (a connection reset while it waits in the queue; Wine: 10057) costs that
// connection only: the same run goes on to the one behind it. The run is called here on the
// test's thread, on a listener without an event thread, so no later run can make up for a stop.
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
    EventSocket client;
    ASSERT_TRUE(Connect(client));
    capture.Clear();
    listener.OnIdle();
    ASSERT_LE(1u, Count(capture.Messages(), L"Server: Failed to accept connection"));   // the case is there
    char reply[24];
    ASSERT_EQ(24, client.Send(Request(cmd_GetInfo, 0).data(), 24));
    EXPECT_EQ(24, client.Receive(reply, 24));   // served (an error reply: the server is not running)
    client.Close(false);
    for (int i = 0; i < 3000 && listener.OpenConnections() > 0; ++i) ::Sleep(10);
    EXPECT_EQ(0, listener.OpenConnections());
}

// A real serving connection's answers: each way through the coordinator and the clipboard, one
// refusal that ends the connection and one that does not, and a request that never becomes whole.
// (Every request shape, cut every way, is fed to the request machine in MachinesTest.)
TEST_F(ServerTest, ServingConnectionsAnswerEveryRequestShape) {
    CClipboardContents contents({{CF_UNICODETEXT, CClipboardContents::Text(L"abc")}});
    ASSERT_TRUE(contents.filled);
    ASSERT_TRUE(server.Init());
    // Every connection below reaches the listener without a notification (they go to an event of
    // the test's, as under Wine one now and then goes nowhere): its retry alone accepts them.
    const WSAEVENT stolen = ::WSACreateEvent();
    ASSERT_EQ(0, ::WSAEventSelect(server.ListenerHandle(), stolen, FD_ACCEPT));
    const std::u16string name255(255, u'B');
    std::vector<uint8_t> halfRequest = GetData(name255);
    halfRequest.resize(30);
    const std::string list = std::string("C\0F\0_\0U\0N\0I\0", 12), abc("a\0b\0c\0\0\0", 8);
    enum Peer { Stranger, Known, Friend };
    // The reply's command and error (both 0: no reply, the connection ends after its time), whether
    // it carries the request's number and ends the connection, a part of its payload; the settings
    // and the peer; bytes of a first piece sent alone.
    const struct { const char* what; std::vector<uint8_t> request; uint32_t command, error; bool sequenceCopied, ends;
                   std::string payload; bool locked = false, friendsOnly = false; Peer peer = Stranger; size_t split = 0; } rows[] = {
        {"format list", Request(cmd_GetInfo, 0), cmd_SendInfo, 0, true, false, list},
        {"data in pieces", GetData(u"CF_UNICODETEXT"), cmd_SendData, 0, true, true, abc, false, false, Stranger, 24},
        {"missing format", GetData(u"Pelko No Such"), cmd_SendData, SrvErr_NoData, true, false, ""},
        {"no terminator", Request(cmd_GetData, 510, name255, 0), cmd_GetData, SrvErr_Protocol, true, false, ""},
        {"bad signature", Request(cmd_GetInfo, 0, {}, 0, 0x12345679), 0, SrvErr_Protocol, false, true, ""},
        {"half a request", halfRequest, 0, 0, false, true, ""},
        {"locked, friend", Request(cmd_GetInfo, 0), cmd_GetInfo, SrvErr_Rejected, true, false, "", true, false, Friend},
        {"locked, data", GetData(u"CF_UNICODETEXT"), cmd_GetData, SrvErr_Rejected, true, false, "", true},
        {"friends only, stranger", GetData(u"CF_UNICODETEXT"), cmd_GetData, SrvErr_Rejected, true, false, "", false, true},
        {"friends only, known", Request(cmd_GetInfo, 0), cmd_GetInfo, SrvErr_Rejected, true, false, "", false, true, Known},
        {"friends only, friend", Request(cmd_GetInfo, 0), cmd_SendInfo, 0, true, false, list, false, true, Friend},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        settings.Locked = row.locked;
        settings.AcceptFriendsOnly = row.friendsOnly;
        server.HostTable().SetFriend(kLoopback, FALSE);   // the friend of the row before is forgotten
        server.HostTable().RemoveAll();
        ASSERT_TRUE(row.peer == Stranger || server.HostTable().AddHost(kLoopback, L"PEER"));
        ASSERT_TRUE(row.peer != Friend || server.HostTable().SetFriend(kLoopback, TRUE));
        EventSocket client;
        ASSERT_TRUE(Connect(client));
        const DWORD hang = 30000;   // longer than Connect's bound: a half request waits out the server's 10 s
        ::setsockopt(client.Handle(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&hang), sizeof hang);
        const int first = static_cast<int>(row.split ? row.split : row.request.size());
        ASSERT_EQ(first, client.Send(row.request.data(), first));
        if (row.split) {
            ::Sleep(50);   // lets the header arrive alone; either way the request is served once
            client.Send(row.request.data() + first, static_cast<int>(row.request.size()) - first);
        }
        int last = 1;   // the last receive's result
        auto receive = [&client, &last](size_t size) {
            std::string into(size, '\0');
            size_t done = 0;
            while (done < size && (last = client.Receive(into.data() + done, static_cast<int>(size - done))) > 0) done += last;
            return into.substr(0, done);
        };
        const std::string head = receive(24);
        if (row.command == 0 && row.error == 0) {   // ended abortively (under Wine a reset may read as an end)
            EXPECT_EQ("", head);
            EXPECT_TRUE(last == 0 || ::WSAGetLastError() == WSAECONNRESET) << ::WSAGetLastError();
            continue;
        }
        CMessage reply;
        ASSERT_TRUE(reply.Decode(reinterpret_cast<const uint8_t*>(head.data()), head.size()));
        EXPECT_TRUE(reply.HasSignature());
        EXPECT_EQ(row.command, reply.command);
        EXPECT_EQ(row.error, reply.error);
        EXPECT_EQ(row.sequenceCopied, 0xABCD0000u + row.request[4] == reply.sequence);
        const std::string payload = receive(reply.error ? 0 : reply.length);
        EXPECT_NE(std::string::npos, payload.find(row.payload));
        if (reply.command == cmd_SendData && reply.error == 0) {
            EXPECT_EQ(theChecksum.Compute(payload.data(), static_cast<uint32_t>(payload.size())), reply.checksum);
        }
        char more = 0;
        if (row.ends) { EXPECT_EQ(0, client.Receive(&more, 1)); }   // the server ended the stream
    }
    ::WSACloseEvent(stolen);
}

}  // namespace
