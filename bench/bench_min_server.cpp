// The yardstick of the transfer benchmark: a minimal Win32 server that answers each cmd_GetData
// with SIZE pattern bytes, checksummed for each request and sent from one buffer in 2920-byte
// pieces with plain blocking send(), none of the program's layers. With "trace" it writes the
// serving connection's trace line for each piece through the program's trace. One connection
// at a time.
//   bench_min_server PORT SIZE [trace]
#include <winsock2.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "Pattern.h"
#include "protocol/Checksum.h"
#include "protocol/Message.h"
#include "runtime/Trace.h"

namespace {
const CChecksum kChecksum;

bool ReceiveAll(SOCKET s, unsigned char* buffer, int length) {
    for (int got = 0; got < length;) {
        const int n = ::recv(s, reinterpret_cast<char*>(buffer) + got, length - got, 0);
        if (n <= 0) return false;
        got += n;
    }
    return true;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: bench_min_server PORT SIZE [trace]\n");
        return 2;
    }
    WSADATA wsa;
    if (::WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return 3;
    const auto size = static_cast<uint32_t>(std::atoll(argv[2]));
    const bool trace = argc == 4;
    std::vector<unsigned char> data(size);
    for (uint32_t i = 0; i < size; ++i) data[i] = PatternByte(i);

    SOCKET listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = ::htons(static_cast<u_short>(std::atoi(argv[1])));
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 5) != 0) return 4;
    std::printf("LISTENING\n");
    std::fflush(stdout);
    for (;;) {
        SOCKET peer = ::accept(listener, nullptr, nullptr);
        if (peer == INVALID_SOCKET) return 5;
        unsigned char request[552];
        CMessage header;
        if (ReceiveAll(peer, request, 24) && header.Decode(request, 24) && header.length < 528 &&
            ReceiveAll(peer, request + 24, static_cast<int>(header.length))) {
            header.command = cmd_SendData;
            header.length = size;
            header.checksum = kChecksum.Compute(data.data(), size);
            unsigned char reply[24];
            header.Encode(reply);
            bool ok = ::send(peer, reinterpret_cast<const char*>(reply), 24, 0) == 24;
            for (uint32_t sent = 0; ok && sent < size;) {
                const int piece = static_cast<int>(size - sent < 2920 ? size - sent : 2920);
                const int n = ::send(peer, reinterpret_cast<const char*>(data.data()) + sent, piece, 0);
                ok = n > 0;
                if (ok) sent += static_cast<uint32_t>(n);
                if (ok && trace)
                    ExTrace(L"DataSock : cmd_SendData %d of %d;  err=%d", static_cast<int>(sent), static_cast<int>(size),
                            ::WSAGetLastError());
            }
            ::shutdown(peer, SD_SEND);
            while (ReceiveAll(peer, request, 1)) {}   // until the client closes
        }
        ::closesocket(peer);
    }
}
