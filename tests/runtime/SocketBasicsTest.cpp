// EventSocket without a peer: what it does without a handle, opening and attaching, binding
// without name look-up, address resolution and formatting, and the code page conversions.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <cstring>

#include "SocketTestSupport.h"

namespace {

TEST(SocketWithoutHandle, EveryOperationFailsWithoutCallingWinsock) {
    EventSocket socket;
    EXPECT_EQ(socket.Handle(), INVALID_SOCKET);
    EXPECT_EQ(socket.Type(), 0);
    EXPECT_EQ(socket.LastError(), 0);
    EXPECT_FALSE(socket.HasEventThread());

    // Winsock keeps the last error of the calling thread: nothing may overwrite this one.
    ::WSASetLastError(4242);
    char buffer[8] = {};
    ULONG address = 99;
    USHORT port = 99;
    u_long argument = 0;
    EventSocket target;
    EXPECT_FALSE(socket.Bind(4000));
    EXPECT_FALSE(socket.Listen(4000));
    EXPECT_FALSE(socket.Accept(target));
    EXPECT_FALSE(socket.Connect(kLoopback, 4000));
    EXPECT_EQ(socket.Receive(buffer, 8), -1);
    EXPECT_EQ(socket.ReceiveFrom(buffer, 8, address, port), -1);
    EXPECT_EQ(address, 0u);
    EXPECT_EQ(port, 0u);
    EXPECT_EQ(socket.Send(buffer, 8), -1);
    EXPECT_EQ(socket.SendTo(kLoopback, 4000, buffer, 8), -1);
    EXPECT_FALSE(socket.SetBroadcast(true));
    EXPECT_FALSE(socket.Broadcast(4000, buffer, 8));
    EXPECT_FALSE(socket.IoCtl(FIONREAD, &argument));
    EXPECT_EQ(socket.GetReceiveBufferSize(), -1);
    EXPECT_EQ(socket.GetMaxMessageSize(), -1);
    EXPECT_TRUE(socket.Close(true));  // nothing to do is no failure
    EXPECT_EQ(::WSAGetLastError(), 4242);
}

TEST(SocketOpen, BlockingStreamHasNoEventThreadAndLingers) {
    EventSocket socket;
    ASSERT_TRUE(socket.Create(SOCK_STREAM, EventSocket::AllNetworkEvents, true));
    EXPECT_NE(socket.Handle(), INVALID_SOCKET);
    EXPECT_EQ(socket.Type(), SOCK_STREAM);
    EXPECT_FALSE(socket.HasEventThread());
    linger lingering{};
    int length = sizeof lingering;
    ASSERT_EQ(::getsockopt(socket.Handle(), SOL_SOCKET, SO_LINGER, reinterpret_cast<char*>(&lingering), &length), 0);
    EXPECT_EQ(lingering.l_onoff, 1);
    EXPECT_EQ(lingering.l_linger, 2000);
    EXPECT_FALSE(socket.Create(SOCK_STREAM));  // already open
    EXPECT_TRUE(socket.Close(true));
    EXPECT_EQ(socket.Handle(), INVALID_SOCKET);
}

TEST(SocketOpen, NonBlockingDatagramRunsAnEventThreadUntilClosed) {
    EventSocket socket;
    ASSERT_TRUE(socket.Create(SOCK_DGRAM, 0 /* the mask asked for does not matter */));
    EXPECT_EQ(socket.Type(), SOCK_DGRAM);
    EXPECT_TRUE(socket.HasEventThread());
    EXPECT_TRUE(socket.Close(true));
    EXPECT_FALSE(socket.HasEventThread());
    EXPECT_EQ(socket.Handle(), INVALID_SOCKET);
    // A closed object opens again, with a new event thread.
    ASSERT_TRUE(socket.Create(SOCK_STREAM));
    EXPECT_EQ(socket.Type(), SOCK_STREAM);
    EXPECT_TRUE(socket.HasEventThread());
}

TEST(SocketOpen, AttachRefusesNoHandleAndASecondHandle) {
    EventSocket socket;
    EXPECT_FALSE(socket.Attach(INVALID_SOCKET));
    ASSERT_TRUE(socket.Create(SOCK_DGRAM, EventSocket::AllNetworkEvents, true));
    const SOCKET other = ::socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_NE(other, INVALID_SOCKET);
    EXPECT_FALSE(socket.Attach(other));
    ::closesocket(other);
}

TEST(SocketOpen, AttachOfSomethingElseKeepsNothingAndRecordsTheError) {
    EventSocket socket;
    UniqueKernelHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    EXPECT_FALSE(socket.Attach(reinterpret_cast<SOCKET>(event.Get())));
    EXPECT_EQ(socket.Handle(), INVALID_SOCKET);
    EXPECT_EQ(socket.LastError(), WSAENOTSOCK);
    EXPECT_FALSE(socket.HasEventThread());
}

TEST(SocketOpen, BufferAndMessageSizesAreReported) {
    EventSocket datagram;
    ASSERT_TRUE(datagram.Create(SOCK_DGRAM, EventSocket::AllNetworkEvents, true));
    EXPECT_GT(datagram.GetReceiveBufferSize(), 0);
    EXPECT_GE(datagram.GetMaxMessageSize(), 56);
    u_long queued = 99;
    EXPECT_TRUE(datagram.IoCtl(FIONREAD, &queued));
    EXPECT_EQ(queued, 0u);
}

// ---- binding and addresses

TEST(SocketBind, EmptyOrNoHostBindsToEveryLocalAddress) {
    for (const wchar_t* host : {static_cast<const wchar_t*>(nullptr), L""}) {
        EventSocket socket;
        ASSERT_TRUE(socket.Create(SOCK_DGRAM, EventSocket::AllNetworkEvents, true));
        ASSERT_TRUE(socket.Bind(0, host));
        EXPECT_EQ(LocalAddress(socket.Handle()), INADDR_ANY);
        EXPECT_NE(LocalPort(socket.Handle()), 0);
    }
}

// Only dotted addresses are bound: a name would need a look-up, and the limited broadcast
// address is no address of this computer.
TEST(SocketBind, DottedAddressIsBoundNamesAndBroadcastAreRefused) {
    const struct { const wchar_t* host; int type; bool bound; } rows[] = {
        {L"127.0.0.1", SOCK_STREAM, true}, {L"localhost", SOCK_STREAM, false}, {L"255.255.255.255", SOCK_DGRAM, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.host)));
        EventSocket socket;
        ASSERT_TRUE(socket.Create(row.type, EventSocket::AllNetworkEvents, true));
        ::WSASetLastError(0);
        EXPECT_EQ(socket.Bind(0, row.host), row.bound);
        if (row.bound) EXPECT_EQ(LocalAddress(socket.Handle()), kLoopback);
        else EXPECT_EQ(::WSAGetLastError(), WSAEINVAL);
    }
}

TEST(SocketAddress, ResolveFillsAFullIpv4AddressInNetworkOrder) {
    sockaddr_in address;
    std::memset(&address, 0xCC, sizeof address);
    ASSERT_TRUE(EventSocket::ResolveAddress(address, false, 4001, L"10.1.2.3"));
    EXPECT_EQ(address.sin_family, AF_INET);
    const auto* port = reinterpret_cast<const unsigned char*>(&address.sin_port);
    EXPECT_EQ(port[0], 0x0F);  // 4001 = 0x0FA1, high byte first
    EXPECT_EQ(port[1], 0xA1);
    const auto* ip = reinterpret_cast<const unsigned char*>(&address.sin_addr);
    EXPECT_EQ(ip[0], 10);
    EXPECT_EQ(ip[1], 1);
    EXPECT_EQ(ip[2], 2);
    EXPECT_EQ(ip[3], 3);
    for (char zero : address.sin_zero) EXPECT_EQ(zero, 0);
}

TEST(SocketAddress, ResolveTakesNamesOnlyWhenLookUpIsAllowed) {
    const struct { const wchar_t* host; bool lookUp; ULONG expected; } rows[] = {
        {nullptr, true, INADDR_ANY}, {L"", true, INADDR_ANY},
        {L"localhost", true, kLoopback},  // the sandbox's hosts file
        {L"localhost", false, INADDR_NONE}, {L"255.255.255.255", true, INADDR_NONE},
        {L"1.2.3.4.5", true, INADDR_NONE}, {L"no-such-host.invalid", true, INADDR_NONE},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.host ? row.host : L"(null)")) + (row.lookUp ? " look-up" : ""));
        sockaddr_in address{};
        ::WSASetLastError(0);
        const bool resolved = EventSocket::ResolveAddress(address, row.lookUp, 80, row.host);
        EXPECT_EQ(resolved, row.expected != INADDR_NONE);
        if (resolved) EXPECT_EQ(::ntohl(address.sin_addr.s_addr), row.expected);
        else EXPECT_EQ(::WSAGetLastError(), WSAEINVAL);
    }
}

TEST(SocketAddress, FormatGivesDottedAddressAndPort) {
    const struct { ULONG address; USHORT port; const wchar_t* text; } rows[] = {
        {0x7F000001, 4001, L"IP: 127.0.0.1 Port: 4001"}, {0xC0A80102, 65535, L"IP: 192.168.1.2 Port: 65535"},
        {0, 0, L"IP: 0.0.0.0 Port: 0"}};
    for (const auto& row : rows) {
        std::wstring text;
        EXPECT_STREQ(EventSocket::FormatAddress(row.address, row.port, text), row.text);
        EXPECT_EQ(text, row.text);
    }
}

// ---- code page conversions

// The count includes the terminating null when the whole text fits; a limit (0: none) caps the
// characters.
TEST(SocketText, WideToMultiByteCountsTheTerminatingNullAndHonoursTheLimit) {
    const struct { const wchar_t* wide; int limit; int count; std::string text; } rows[] = {
        {L"Pelko", 0, 6, "Pelko"}, {L"", 0, 1, ""}, {L"Pelko", 3, 3, "Pel"}, {L"Pelko", 6, 6, "Pelko"},
        {L"Pelko", 50, 6, "Pelko"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.limit);
        std::string text = "left over";
        EXPECT_EQ(EventSocket::WideToMultiByte(row.wide, text, row.limit), row.count);
        EXPECT_EQ(text, row.text);
    }
    std::string text;
    EXPECT_EQ(EventSocket::WideToMultiByte(nullptr, text), 0);
    std::wstring wide;
    EXPECT_EQ(EventSocket::MultiByteToWide(wide, "Pelko", 2), 2);
    EXPECT_EQ(wide, L"Pe");
}

TEST(SocketText, AnsiCodePageCarriesWesternLetters) {
    ASSERT_EQ(::GetACP(), 1252u) << "the test expects the Western code page";
    std::string text;
    EXPECT_EQ(EventSocket::WideToMultiByte(L"K\u00e4rpp\u00e4", text), 7);
    EXPECT_EQ(text, "K\xe4rpp\xe4");
    std::wstring wide;
    EXPECT_EQ(EventSocket::MultiByteToWide(wide, "Caf\xe9"), 5);
    EXPECT_EQ(wide, L"Caf\u00e9");
}

}  // namespace
