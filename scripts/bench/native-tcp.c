/* The native yardstick of scripts/bench-sockets.sh: one TCP stream with plain Linux calls.
 *   native-tcp recv PORT BYTES              prints "LISTENING", then "RESULT bytes seconds"
 *   native-tcp send HOST PORT BYTES PIECE   sends BYTES in PIECE-byte pieces                 */
#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

static double now_seconds(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

static int receive(int port, long long total) {
    int listener = socket(AF_INET, SOCK_STREAM, 0), on = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    struct sockaddr_in local = {.sin_family = AF_INET, .sin_port = htons(port)};
    if (bind(listener, (struct sockaddr*)&local, sizeof local) || listen(listener, 5)) return 4;
    printf("LISTENING\n");
    fflush(stdout);
    int connection = accept(listener, NULL, NULL);
    if (connection < 0) return 5;
    double start = now_seconds();
    static char buffer[65536];
    long long received = 0;
    while (received < total) {
        ssize_t n = recv(connection, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        received += n;
    }
    printf("RESULT %lld %.6f\n", received, now_seconds() - start);
    close(connection);
    close(listener);
    return 0;
}

static int send_stream(const char* host, int port, long long total, int piece) {
    int handle = socket(AF_INET, SOCK_STREAM, 0);
    struct sockaddr_in peer = {.sin_family = AF_INET, .sin_port = htons(port)};
    inet_pton(AF_INET, host, &peer.sin_addr);
    if (connect(handle, (struct sockaddr*)&peer, sizeof peer)) return 4;
    char* buffer = calloc(1, piece);
    for (long long sent = 0; sent < total;) {
        ssize_t n = send(handle, buffer, total - sent < piece ? total - sent : piece, 0);
        if (n <= 0) return 5;
        sent += n;
    }
    close(handle);
    printf("SENT\n");
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 4 && !strcmp(argv[1], "recv")) return receive(atoi(argv[2]), atoll(argv[3]));
    if (argc == 6 && !strcmp(argv[1], "send")) return send_stream(argv[2], atoi(argv[3]), atoll(argv[4]), atoi(argv[5]));
    fprintf(stderr, "usage: native-tcp recv PORT BYTES | send HOST PORT BYTES PIECE\n");
    return 2;
}
