// Receives one stream of BYTES on PORT with plain blocking Winsock calls and prints the time
// from accept to the last byte.
//   bench_plain_recv PORT BYTES      prints "LISTENING", then "RESULT bytes seconds"
#include <winsock2.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "BenchClock.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_plain_recv PORT BYTES\n");
        return 2;
    }
    WSADATA data;
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return 3;
    const long long total = std::atoll(argv[2]);
    SOCKET listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = ::htons(static_cast<u_short>(std::atoi(argv[1])));
    if (::bind(listener, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 || ::listen(listener, 5) != 0) return 4;
    std::printf("LISTENING\n");
    std::fflush(stdout);
    SOCKET connection = ::accept(listener, nullptr, nullptr);
    if (connection == INVALID_SOCKET) return 5;
    const double start = NowSeconds();
    std::vector<char> buffer(65536);
    long long received = 0;
    while (received < total) {
        const int n = ::recv(connection, buffer.data(), static_cast<int>(buffer.size()), 0);
        if (n <= 0) break;
        received += n;
    }
    const double end = NowSeconds();
    std::printf("RESULT %lld %.6f\n", received, end - start);
    std::fflush(stdout);
    ::closesocket(connection);
    ::closesocket(listener);
    ::WSACleanup();
    return 0;
}
