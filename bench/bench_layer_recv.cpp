// Receives one stream of BYTES on PORT through EventSocket (a listener and the accepted
// connection, each with its event thread) and prints the time from accept to the last byte.
//   bench_layer_recv PORT BYTES      prints "LISTENING", then "RESULT bytes seconds"
#include <winsock2.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "BenchClock.h"
#include "runtime/Handles.h"
#include "runtime/EventSocket.h"

namespace {

UniqueKernelHandle g_done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
double g_start = 0;  // written on the listener's thread before the connection's first event

class CBenchReceiver : public EventSocket {
public:
    explicit CBenchReceiver(long long total) : m_total(total), m_buffer(65536) {}
    ~CBenchReceiver() override { Close(true); }
    long long received = 0;  // event thread; read by main after g_done
    double end = 0;

protected:
    // Takes the bytes the event reported, without a last call that would only say WSAEWOULDBLOCK.
    void OnReceive(int, u_long available) override {
        while (available > 0) {
            const int want = static_cast<int>(available < m_buffer.size() ? available : m_buffer.size());
            const int got = Receive(m_buffer.data(), want);
            if (got <= 0) break;
            received += got;
            available -= static_cast<u_long>(got);
        }
        if (received >= m_total && end == 0) {
            end = NowSeconds();
            ::SetEvent(g_done.Get());
        }
    }
    void OnClose(int) override {
        if (end == 0) {
            end = NowSeconds();
            ::SetEvent(g_done.Get());
        }
    }

private:
    const long long m_total;
    std::vector<char> m_buffer;
};

class CBenchListener : public EventSocket {
public:
    explicit CBenchListener(CBenchReceiver& target) : m_target(target) {}
    ~CBenchListener() override { Close(true); }

protected:
    void OnAccept(int) override {
        g_start = NowSeconds();
        Accept(m_target);
    }

private:
    CBenchReceiver& m_target;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_layer_recv PORT BYTES\n");
        return 2;
    }
    CBenchReceiver receiver(std::atoll(argv[2]));
    CBenchListener listener(receiver);
    if (!listener.Create(SOCK_STREAM) || !listener.Listen(static_cast<USHORT>(std::atoi(argv[1])), nullptr, 5)) return 3;
    std::printf("LISTENING\n");
    std::fflush(stdout);
    if (::WaitForSingleObject(g_done.Get(), 120000) != WAIT_OBJECT_0) return 4;
    std::printf("RESULT %lld %.6f\n", receiver.received, receiver.end - g_start);
    std::fflush(stdout);
    return 0;
}
