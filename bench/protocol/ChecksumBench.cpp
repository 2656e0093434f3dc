// Checksum throughput: our CChecksum next to the plain byte-at-a-time table form and zlib's
// crc32 (started so that it gives the same value), on one 64 MiB buffer in the same run.
// Built and run by scripts/bench-checksum.sh, natively and for Windows (run under Wine).
// The implementations take turns round by round, so that a busy machine slows all of them
// alike, and each reports its best round. Fails when they disagree.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <vector>

#include <zlib.h>

#include "protocol/Checksum.h"

namespace {

constexpr size_t BufferSize = 64u << 20;

// The rule as it reads: one table of 256 entries, one byte per step.
struct PlainTable {
    uint32_t entries[256];
    PlainTable() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
            entries[i] = c;
        }
    }
    uint32_t Compute(const uint8_t* data, size_t length) const {
        if (length == 0) return 0xFFFFFFFF;
        uint32_t c = 0;
        for (size_t i = 0; i < length; ++i) c = (c >> 8) ^ entries[(c ^ data[i]) & 0xFF];
        return ~c;
    }
};

// Keeps the compiler from computing a result once for all rounds: the buffer may have changed.
inline void Clobber(const void* data) { asm volatile("" : : "r"(data) : "memory"); }

struct Contender {
    const char* name;
    std::function<uint32_t(const uint8_t*, size_t)> compute;
    double best = 1e30;
    uint32_t result = 0;
};

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    std::vector<uint8_t> buffer(BufferSize);
    std::mt19937 random(42);
    for (size_t i = 0; i < buffer.size(); i += 4) {
        const uint32_t word = random();
        for (size_t k = 0; k < 4; ++k) buffer[i + k] = static_cast<uint8_t>(word >> (8 * k));
    }
    static const PlainTable plain;

    std::vector<Contender> contenders = {
        {"CChecksum (braided, 5 x 8 bytes)",
         [](const uint8_t* p, size_t n) { return theChecksum.Compute(p, static_cast<uint32_t>(n)); }},
        {"plain table, byte at a time", [](const uint8_t* p, size_t n) { return plain.Compute(p, n); }},
        {"zlib crc32(0xFFFFFFFF, ...)",
         [](const uint8_t* p, size_t n) { return static_cast<uint32_t>(crc32(0xFFFFFFFFul, p, static_cast<uInt>(n))); }},
    };
    for (int round = 0; round < rounds; ++round) {
        for (Contender& c : contenders) {
            Clobber(buffer.data());
            const auto start = std::chrono::steady_clock::now();
            c.result = c.compute(buffer.data(), buffer.size());
            Clobber(&c.result);
            const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
            c.best = std::min(c.best, seconds.count());
        }
    }

    std::printf("checksum of a 64 MiB buffer, best of %d rounds (MB = 10^6 bytes), zlib %s\n", rounds, zlibVersion());
    bool agree = true;
    for (const Contender& c : contenders) {
        std::printf("  %-34s %6.0f MB/s   checksum %08X\n", c.name, BufferSize / c.best / 1e6,
                    static_cast<unsigned>(c.result));
        agree = agree && c.result == contenders.front().result;
    }
    if (!agree) {
        std::printf("MISMATCH: the implementations disagree\n");
        return 1;
    }
    return 0;
}
