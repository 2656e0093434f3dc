// Sends BYTES to HOST:PORT in PIECE-byte pieces through a non-blocking EventSocket: the pieces
// go out from the event thread's OnSend, which resumes on FD_WRITE after WSAEWOULDBLOCK, as a
// serving connection sends a reply.
//   bench_layer_send HOST PORT BYTES PIECE
#include <winsock2.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "runtime/Handles.h"
#include "runtime/EventSocket.h"

namespace {

class CBenchSender : public EventSocket {
public:
    CBenchSender(long long total, int piece)
        : m_total(total), m_piece(piece), m_buffer(static_cast<size_t>(piece), 'p'),
          m_done(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~CBenchSender() override { Close(true); }
    bool WaitDone(DWORD timeout) { return ::WaitForSingleObject(m_done.Get(), timeout) == WAIT_OBJECT_0; }
    std::atomic<int> failure{0};
    std::atomic<long long> wouldBlocks{0};
    std::atomic<long long> sendEvents{0};

protected:
    // Both on the event thread; m_sent is touched nowhere else.
    void OnConnect(int error) override {
        if (error != 0) Finish(error);
    }
    void OnSend(int error) override {
        ++sendEvents;
        if (error != 0) return Finish(error);
        while (m_sent < m_total) {
            const int length = static_cast<int>(m_total - m_sent < m_piece ? m_total - m_sent : m_piece);
            const int sent = Send(m_buffer.data(), length);
            if (sent == SOCKET_ERROR) {
                const int lastError = ::WSAGetLastError();
                if (lastError == WSAEWOULDBLOCK) {
                    ++wouldBlocks;
                    return;  // resumed by the next FD_WRITE
                }
                return Finish(lastError);
            }
            m_sent += sent;
        }
        Finish(0);
    }

private:
    void Finish(int error) {
        failure = error;
        ::SetEvent(m_done.Get());
    }
    const long long m_total;
    const int m_piece;
    std::vector<char> m_buffer;
    long long m_sent = 0;
    UniqueKernelHandle m_done;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: bench_layer_send HOST PORT BYTES PIECE\n");
        return 2;
    }
    std::wstring host;
    EventSocket::MultiByteToWide(host, argv[1]);
    sockaddr_in address;
    if (!EventSocket::ResolveAddress(address, false, 0, host.c_str())) return 2;
    const auto port = static_cast<USHORT>(std::atoi(argv[2]));
    CBenchSender sender(std::atoll(argv[3]), std::atoi(argv[4]));
    if (!sender.Create(SOCK_STREAM)) return 3;
    if (!sender.Connect(::ntohl(address.sin_addr.s_addr), port) && ::WSAGetLastError() != WSAEWOULDBLOCK) return 4;
    if (!sender.WaitDone(120000) || sender.failure != 0) {
        std::printf("FAILED %d\n", sender.failure.load());
        return 5;
    }
    std::printf("SENT wouldblock=%lld fdwrite=%lld\n", sender.wouldBlocks.load(), sender.sendEvents.load());
    std::fflush(stdout);
    return sender.Close(true) ? 0 : 6;
}
