// Folding the checksum with carry-less multiplication.
//
// Read as a polynomial over GF(2), the first byte's lowest bit the highest power, the data's
// checksum register is data * x^32 modulo the polynomial P. It stays the same when a 16-byte
// piece of the data is replaced by one that is congruent to it modulo P, and a piece that stands
// D bits before a later piece is, at that later place, worth itself times x^D. So a 16-byte
// register is folded forward: multiplied by x^D reduced modulo P (one carry-less multiplication
// per 8-byte half) and XORed onto the data D bits on. Several registers go side by side so that
// their multiplications overlap; at the end they are folded onto the last one, which leaves 16
// bytes that carry the checksum register of everything folded.
//
// The instructions are not part of the baseline x64 that the program is built for: each function
// that uses them names them in its target attribute, and is only called when OfferedFoldPath
// found them. The rest of the program stays runnable on any x64 processor.
#include "protocol/ChecksumFold.h"

#if defined(__x86_64__)

#include <cpuid.h>
#include <immintrin.h>

namespace {

// x^n modulo P, bit-reflected as the register holds it (bit 31 is x^0): n shifts from x^0.
constexpr uint32_t PowerOfX(int n) noexcept {
    uint32_t r = 0x80000000u;
    for (int i = 0; i < n; ++i) r = (r & 1) ? (r >> 1) ^ kChecksumPolynomial : r >> 1;
    return r;
}

// The multipliers that carry a 16-byte register `bits` on, for its first and its second 8 bytes.
// The first half H stands for H * x^64 before the register's end, the second half L for L. The
// carry-less product of a reflected 8-byte half and a reflected 33-bit multiplier m, read as a
// 16-byte register, is half * m * x^32; so m is x^(bits + 32) for H and x^(bits - 32) for L.
struct CMultipliers {
    uint64_t first, second;
};
constexpr CMultipliers Carry(int bits) noexcept {
    return {uint64_t{PowerOfX(bits + 32)} << 1, uint64_t{PowerOfX(bits - 32)} << 1};
}
constexpr CMultipliers By16 = Carry(16 * 8), By64 = Carry(64 * 8), By256 = Carry(256 * 8);

// The folds ask for the data 1 KB ahead: that keeps more of it on its way from memory than the
// processor's own prefetching does (measured on the build machine with 64 MiB: the 16-byte fold
// went from about 60 % of the speed of merely reading the data to all of it). A prefetch never
// faults, also past the end of the data.
constexpr int PrefetchAhead = 1024;

// Every helper is inlined into its caller, so no vector value ever passes through the stack
// (64-bit Windows keeps the stack aligned to 16 bytes only, and g++ cannot align a 64-byte value
// there).
#define PELKO_CLMUL __attribute__((target("pclmul"), always_inline)) inline
#define PELKO_CLMUL512 __attribute__((target("pclmul,avx512f,vpclmulqdq"), always_inline)) inline

PELKO_CLMUL __m128i Load16(const uint8_t* p) noexcept { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

PELKO_CLMUL __m128i Multipliers16(CMultipliers m) noexcept {
    return _mm_set_epi64x(static_cast<long long>(m.second), static_cast<long long>(m.first));
}

// The register `a` carried on by the multipliers `k` and XORed onto the data there.
PELKO_CLMUL __m128i Fold(__m128i a, __m128i k, __m128i data) noexcept {
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(a, k, 0x00), _mm_clmulepi64_si128(a, k, 0x11)), data);
}

// The last whole 16-byte pieces onto `a`; stores the result in `rest`.
PELKO_CLMUL void FoldPieces(__m128i a, const uint8_t*& p, size_t& left, uint8_t rest[16]) noexcept {
    const __m128i by16 = Multipliers16(By16);
    for (; left >= 16; p += 16, left -= 16) a = Fold(a, by16, Load16(p));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(rest), a);
}

PELKO_CLMUL512 __m512i Load64(const uint8_t* p) noexcept { return _mm512_loadu_si512(p); }

PELKO_CLMUL512 __m512i Multipliers64(CMultipliers m) noexcept {
    const auto first = static_cast<long long>(m.first), second = static_cast<long long>(m.second);
    return _mm512_set_epi64(second, first, second, first, second, first, second, first);
}

// 16-byte lane `i` of `z` (the masked form: the plain one trips a false warning of g++ 12).
#define PELKO_LANE(z, i) _mm512_maskz_extracti32x4_epi32(0xF, z, i)

// Four 16-byte registers at once.
PELKO_CLMUL512 __m512i Fold(__m512i a, __m512i k, __m512i data) noexcept {
    return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(a, k, 0x00), _mm512_clmulepi64_epi128(a, k, 0x11),
                                     data, 0x96);  // a ^ b ^ c
}

// XCR0: the register states that the operating system saves on a task switch.
uint64_t EnabledRegisterStates() noexcept {
    uint32_t low, high;
    __asm__ __volatile__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    return (uint64_t{high} << 32) | low;
}
// The 16-, 32- and 64-byte registers and the mask registers (XCR0 bits 1, 2, 5, 6, 7).
constexpr uint64_t Avx512States = 0xE6;

}  // namespace

ChecksumPath OfferedFoldPath() noexcept {
    unsigned eax, ebx, ecx, edx;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx) || !(ecx & bit_PCLMUL)) return ChecksumPath::Table;
    if (!(ecx & bit_OSXSAVE) || (EnabledRegisterStates() & Avx512States) != Avx512States)
        return ChecksumPath::Fold128;
    if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) || !(ebx & bit_AVX512F) || !(ecx & bit_VPCLMULQDQ))
        return ChecksumPath::Fold128;
    return ChecksumPath::Fold512;
}

__attribute__((target("pclmul"))) size_t Fold128(const uint8_t* data, size_t length, uint8_t rest[16]) noexcept {
    const uint8_t* p = data;
    size_t left = length;
    // Four registers side by side, each carried over all four to the next 64 bytes.
    const __m128i by64 = Multipliers16(By64);
    __m128i a0 = Load16(p), a1 = Load16(p + 16), a2 = Load16(p + 32), a3 = Load16(p + 48);
    for (p += 64, left -= 64; left >= 64; p += 64, left -= 64) {
        _mm_prefetch(reinterpret_cast<const char*>(p) + PrefetchAhead, _MM_HINT_T0);
        a0 = Fold(a0, by64, Load16(p));
        a1 = Fold(a1, by64, Load16(p + 16));
        a2 = Fold(a2, by64, Load16(p + 32));
        a3 = Fold(a3, by64, Load16(p + 48));
    }
    const __m128i by16 = Multipliers16(By16);
    FoldPieces(Fold(Fold(Fold(a0, by16, a1), by16, a2), by16, a3), p, left, rest);
    return length - left;
}

__attribute__((target("pclmul,avx512f,vpclmulqdq"))) size_t Fold512(const uint8_t* data, size_t length,
                                                                     uint8_t rest[16]) noexcept {
    const uint8_t* p = data;
    size_t left = length;
    // Four 64-byte registers side by side (sixteen 16-byte ones), each carried over all four.
    const __m512i by256 = Multipliers64(By256);
    __m512i z0 = Load64(p), z1 = Load64(p + 64), z2 = Load64(p + 128), z3 = Load64(p + 192);
    for (p += 256, left -= 256; left >= 256; p += 256, left -= 256) {
        for (int line = 0; line < 256; line += 64)
            _mm_prefetch(reinterpret_cast<const char*>(p) + PrefetchAhead + line, _MM_HINT_T0);
        z0 = Fold(z0, by256, Load64(p));
        z1 = Fold(z1, by256, Load64(p + 64));
        z2 = Fold(z2, by256, Load64(p + 128));
        z3 = Fold(z3, by256, Load64(p + 192));
    }
    const __m512i by64 = Multipliers64(By64);
    __m512i z = Fold(Fold(Fold(z0, by64, z1), by64, z2), by64, z3);
    for (; left >= 64; p += 64, left -= 64) z = Fold(z, by64, Load64(p));
    // The four 16-byte lanes of z follow one another in the data: each onto the next.
    const __m128i by16 = Multipliers16(By16);
    __m128i a = Fold(PELKO_LANE(z, 0), by16, PELKO_LANE(z, 1));
    a = Fold(a, by16, PELKO_LANE(z, 2));
    a = Fold(a, by16, PELKO_LANE(z, 3));
    FoldPieces(a, p, left, rest);
    return length - left;
}

#else  // no carry-less multiplication: the table code takes everything

ChecksumPath OfferedFoldPath() noexcept { return ChecksumPath::Table; }
size_t Fold128(const uint8_t*, size_t, uint8_t[16]) noexcept { return 0; }
size_t Fold512(const uint8_t*, size_t, uint8_t[16]) noexcept { return 0; }

#endif
