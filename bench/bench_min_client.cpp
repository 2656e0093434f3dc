// The client's yardstick in the transfer benchmark: a minimal Win32 client that asks HOST:PORT for
// one format with cmd_GetData, as the program's client does, and receives the reply with plain
// blocking recv() of the socket's receive buffer size straight into one block, then checks its
// checksum. With "trace" it writes the client's trace line for each receive through the
// program's trace. Prints the time from the connect to the checked last byte.
//   bench_min_client HOST PORT NAME [trace]     prints "RESULT bytes seconds ok|bad"
#include <winsock2.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchClock.h"
#include "protocol/Checksum.h"
#include "protocol/TransferMessages.h"
#include "runtime/Trace.h"

namespace {
const CChecksum kChecksum;

int ReceiveSome(SOCKET s, unsigned char* buffer, int length) {
    return ::recv(s, reinterpret_cast<char*>(buffer), length, 0);
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: bench_min_client HOST PORT NAME [trace]\n");
        return 2;
    }
    const bool trace = argc == 5;
    WSADATA wsa;
    if (::WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return 3;
    const double start = NowSeconds();
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr.s_addr = ::inet_addr(argv[1]);
    peer.sin_port = ::htons(static_cast<u_short>(std::atoi(argv[2])));
    if (::connect(s, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0) return 4;
    const BOOL noDelay = TRUE;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    const std::string name8(argv[3]);
    CMessage request;
    const std::vector<uint8_t> payload = PrepareGetData(request, std::u16string(name8.begin(), name8.end()));
    const auto header = request.Encode();
    if (::send(s, reinterpret_cast<const char*>(header.data()), 24, 0) != 24 ||
        ::send(s, reinterpret_cast<const char*>(payload.data()), static_cast<int>(payload.size()), 0) != static_cast<int>(payload.size()))
        return 5;
    unsigned char replyBytes[24];
    for (int got = 0; got < 24;) {
        const int n = ReceiveSome(s, replyBytes + got, 24 - got);
        if (n <= 0) return 6;
        got += n;
    }
    CMessage reply;
    reply.Decode(replyBytes, 24);
    if (!reply.IsReplyTo(request) || reply.error != 0) return 7;
    int chunk = 0, size = sizeof chunk;
    if (::getsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char*>(&chunk), &size) != 0 || chunk <= 0) chunk = 1460;
    std::vector<unsigned char> data(reply.length);
    uint32_t received = 0;
    while (received < reply.length) {
        const int wanted = static_cast<int>(reply.length - received < static_cast<uint32_t>(chunk) ? reply.length - received : chunk);
        const int n = ReceiveSome(s, data.data() + received, wanted);
        if (n <= 0) break;
        received += static_cast<uint32_t>(n);
        if (trace)
            ExTrace(L"CTalker::ReadBuffer rcv %d :  %d of %d", n, static_cast<int>(received), static_cast<int>(reply.length));
    }
    const bool ok = received == reply.length && kChecksum.Compute(data.data(), received) == reply.checksum;
    const double end = NowSeconds();
    ::closesocket(s);
    std::printf("RESULT %u %.6f %s\n", received, end - start, ok ? "ok" : "bad");
    std::fflush(stdout);
    ::WSACleanup();
    return ok ? 0 : 1;
}
