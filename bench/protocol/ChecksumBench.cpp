// Checksum throughput: CChecksum on the path it chooses here (folding with carry-less
// multiplication where the processor has it) and forced to its slower paths, next to zlib's
// crc32 (started so that it gives the same value) and to merely reading the same 64 MiB buffer
// (a vectorised sum over it: the speed limit of any checksum), all in the same run.
// Built and run by scripts/bench-checksum.sh, natively and for Windows (run under Wine).
// The contenders take turns round by round, so that a busy machine slows all of them alike; each
// reports its median and its best round, and the ratios are those of the medians. Fails when
// the checksums disagree.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <immintrin.h>
#include <zlib.h>

#include "protocol/Checksum.h"

namespace {

constexpr size_t BufferSize = 64u << 20;

// Reading the buffer: a sum of its 8-byte words in the widest registers the processor has,
// four of them side by side, so that nothing but the loads limits it. Like the checksum's folds
// it asks for the data 1 KB ahead, which reads a buffer from memory faster than without.
constexpr int Ahead = 1024;
inline void Prefetch(const uint8_t* p, int bytes) {
    for (int line = 0; line < bytes; line += 64) _mm_prefetch(reinterpret_cast<const char*>(p) + Ahead + line, _MM_HINT_T0);
}

__attribute__((target("avx512f"))) uint64_t SumAvx512(const uint8_t* p, size_t n) {
    __m512i s0 = _mm512_setzero_si512(), s1 = s0, s2 = s0, s3 = s0;
    for (size_t i = 0; i + 256 <= n; i += 256) {
        Prefetch(p + i, 256);
        s0 = _mm512_add_epi64(s0, _mm512_loadu_si512(p + i));
        s1 = _mm512_add_epi64(s1, _mm512_loadu_si512(p + i + 64));
        s2 = _mm512_add_epi64(s2, _mm512_loadu_si512(p + i + 128));
        s3 = _mm512_add_epi64(s3, _mm512_loadu_si512(p + i + 192));
    }
    alignas(64) uint64_t lanes[8];
    _mm512_store_si512(lanes, _mm512_add_epi64(_mm512_add_epi64(s0, s1), _mm512_add_epi64(s2, s3)));
    uint64_t sum = 0;
    for (uint64_t lane : lanes) sum += lane;
    return sum;
}

__attribute__((target("avx2"))) uint64_t SumAvx2(const uint8_t* p, size_t n) {
    __m256i s0 = _mm256_setzero_si256(), s1 = s0, s2 = s0, s3 = s0;
    for (size_t i = 0; i + 128 <= n; i += 128) {
        Prefetch(p + i, 128);
        s0 = _mm256_add_epi64(s0, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i)));
        s1 = _mm256_add_epi64(s1, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i + 32)));
        s2 = _mm256_add_epi64(s2, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i + 64)));
        s3 = _mm256_add_epi64(s3, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i + 96)));
    }
    alignas(32) uint64_t lanes[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes),
                       _mm256_add_epi64(_mm256_add_epi64(s0, s1), _mm256_add_epi64(s2, s3)));
    return lanes[0] + lanes[1] + lanes[2] + lanes[3];
}

uint64_t SumSse2(const uint8_t* p, size_t n) {
    __m128i s0 = _mm_setzero_si128(), s1 = s0, s2 = s0, s3 = s0;
    for (size_t i = 0; i + 64 <= n; i += 64) {
        Prefetch(p + i, 64);
        s0 = _mm_add_epi64(s0, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)));
        s1 = _mm_add_epi64(s1, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 16)));
        s2 = _mm_add_epi64(s2, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 32)));
        s3 = _mm_add_epi64(s3, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 48)));
    }
    alignas(16) uint64_t lanes[2];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), _mm_add_epi64(_mm_add_epi64(s0, s1), _mm_add_epi64(s2, s3)));
    return lanes[0] + lanes[1];
}

// Keeps the compiler from computing a result once for all rounds: the buffer may have changed.
inline void Clobber(const void* data) { asm volatile("" : : "r"(data) : "memory"); }

struct Contender {
    std::string name;
    std::function<uint64_t(const uint8_t*, size_t)> compute;
    bool checksum;  // false: the read, whose result is no checksum
    std::vector<double> seconds{};
    uint64_t result = 0;
};

const char* PathName(CChecksum::Path path) {
    switch (path) {
        case CChecksum::Path::Fold512: return "64-byte folding (VPCLMULQDQ)";
        case CChecksum::Path::Fold128: return "16-byte folding (PCLMULQDQ)";
        case CChecksum::Path::Table: break;
    }
    return "table path";
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 31;
    // On a 64-byte boundary, as the processor's cache lines are: the C library gives a large
    // block 16 bytes past a page boundary, where every 64-byte load would span two lines.
    std::vector<uint8_t> storage(BufferSize + 64);
    uint8_t* const buffer = storage.data() + (64 - reinterpret_cast<uintptr_t>(storage.data()) % 64) % 64;
    std::mt19937 random(42);
    for (size_t i = 0; i < BufferSize; i += 4) {
        const uint32_t word = random();
        for (size_t k = 0; k < 4; ++k) buffer[i + k] = static_cast<uint8_t>(word >> (8 * k));
    }
    static const CChecksum fold128(CChecksum::Path::Fold128), table(CChecksum::Path::Table);
    __builtin_cpu_init();
    const bool avx512 = __builtin_cpu_supports("avx512f"), avx2 = __builtin_cpu_supports("avx2");

    std::vector<Contender> contenders;
    auto add = [&](std::string name, const CChecksum& c) {
        contenders.push_back({std::move(name) + ", " + PathName(c.ChosenPath()),
                              [&c](const uint8_t* p, size_t n) { return uint64_t{c.Compute(p, static_cast<uint32_t>(n))}; },
                              true});
    };
    add("CChecksum", theChecksum);
    if (theChecksum.ChosenPath() == CChecksum::Path::Fold512) add("CChecksum forced", fold128);
    add("CChecksum forced", table);
    contenders.push_back({"zlib crc32(0xFFFFFFFF, ...)",
                          [](const uint8_t* p, size_t n) {
                              return uint64_t{static_cast<uint32_t>(crc32(0xFFFFFFFFul, p, static_cast<uInt>(n)))};
                          },
                          true});
    contenders.push_back({std::string("read: sum of the words, ") + (avx512 ? "AVX-512" : avx2 ? "AVX2" : "SSE2"),
                          avx512 ? SumAvx512 : avx2 ? SumAvx2 : SumSse2, false});

    bool agree = true;
    // The same amount of work twice: the whole buffer from memory, and a piece of it that stays
    // in the processor's cache, taken again and again (where only the computation counts).
    const struct {
        const char* title;
        size_t bytes, times;
    } sizes[] = {{"64 MiB buffer (from memory)", BufferSize, 1}, {"256 KiB of it 256 times (in the cache)", 256u << 10, 256}};
    for (const auto& size : sizes) {
        for (Contender& c : contenders) c.seconds.clear();
        for (int round = 0; round < rounds; ++round) {
            // Each round starts with another contender, and each run begins after a short sleep:
            // the scheduler of a busy machine interrupts a run more often the longer the process
            // has just been running, which would otherwise weigh on whoever follows a slow one.
            for (size_t k = 0; k < contenders.size(); ++k) {
                Contender& c = contenders[(round + k) % contenders.size()];
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                Clobber(buffer);
                const auto start = std::chrono::steady_clock::now();
                for (size_t t = 0; t < size.times; ++t) {
                    c.result = c.compute(buffer, size.bytes);
                    Clobber(&c.result);
                }
                const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
                c.seconds.push_back(seconds.count());
            }
        }

        const Contender& zlib = contenders[contenders.size() - 2];
        const Contender& read = contenders.back();
        auto best = [](const Contender& c) { return *std::min_element(c.seconds.begin(), c.seconds.end()); };
        auto median = [](Contender c) {
            std::sort(c.seconds.begin(), c.seconds.end());
            return c.seconds[c.seconds.size() / 2];
        };
        // On a shared machine a round is often interrupted; the median is the steadier figure,
        // and the ratios of medians hold as long as the load stays alike through the run.
        const double work = static_cast<double>(size.bytes * size.times);
        std::printf("%s, %d rounds taking turns, MB = 10^6 bytes, zlib %s\n", size.title, rounds, zlibVersion());
        std::printf("  %-50s %13s %10s %8s %8s  %s\n", "", "median MB/s", "best MB/s", "x zlib", "of read", "checksum");
        for (const Contender& c : contenders) {
            std::printf("  %-50s %13.0f %10.0f %7.2fx %7.0f%%", c.name.c_str(), work / median(c) / 1e6,
                        work / best(c) / 1e6, median(zlib) / median(c), 100 * median(read) / median(c));
            if (c.checksum) std::printf("  %08X", static_cast<unsigned>(c.result));
            std::printf("\n");
            agree = agree && (!c.checksum || c.result == contenders.front().result);
        }
    }
    if (!agree) {
        std::printf("MISMATCH: the checksums disagree\n");
        return 1;
    }
    return 0;
}
