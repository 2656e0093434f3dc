// Sends BYTES to HOST:PORT in PIECE-byte pieces with plain blocking Winsock calls: the yardstick
// for the socket layer's sender under Wine.
//   bench_plain_send HOST PORT BYTES PIECE
#include <winsock2.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: bench_plain_send HOST PORT BYTES PIECE\n");
        return 2;
    }
    WSADATA data;
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return 3;
    const long long total = std::atoll(argv[3]);
    const int piece = std::atoi(argv[4]);
    SOCKET handle = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr.s_addr = ::inet_addr(argv[1]);
    peer.sin_port = ::htons(static_cast<u_short>(std::atoi(argv[2])));
    if (::connect(handle, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0) return 4;
    std::vector<char> buffer(static_cast<size_t>(piece), 'p');
    for (long long sent = 0; sent < total;) {
        const int length = static_cast<int>(total - sent < piece ? total - sent : piece);
        const int n = ::send(handle, buffer.data(), length, 0);
        if (n <= 0) return 5;
        sent += n;
    }
    ::shutdown(handle, SD_SEND);
    ::closesocket(handle);
    ::WSACleanup();
    std::printf("SENT\n");
    return 0;
}
