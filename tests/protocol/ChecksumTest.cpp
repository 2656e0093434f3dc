// The checksum: every path agrees with the definition (one bit at a time, no table) and with
// zlib for every length up to a few KB at every alignment, and on one large buffer.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "protocol/Checksum.h"

#ifdef PELKO_TEST_HAVE_ZLIB
#include <zlib.h>
#endif

using Path = CChecksum::Path;

// The register after one more byte, bit by bit: the definition.
static uint32_t BitStep(uint32_t c, uint8_t byte) {
    c ^= byte;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    return c;
}

// The fastest path this processor offers, by the compiler runtime's own cpuid check.
static Path OfferedByRuntime() {
    __builtin_cpu_init();
    if (!__builtin_cpu_supports("pclmul")) return Path::Table;
    if (!__builtin_cpu_supports("avx512f") || !__builtin_cpu_supports("vpclmulqdq")) return Path::Fold128;
    return Path::Fold512;
}

TEST(Checksum, EveryPathMatchesTheReferencesAtEveryLengthAndAlignment) {
    // Each path forced in turn; one that the processor lacks gives way to the next slower one.
    const Path forced[] = {Path::Table, Path::Fold128, Path::Fold512};
    const CChecksum paths[] = {CChecksum(forced[0]), CChecksum(forced[1]), CChecksum(forced[2])};
    const Path offered = OfferedByRuntime();
    for (size_t i = 0; i < std::size(paths); ++i) EXPECT_EQ(paths[i].ChosenPath(), std::min(forced[i], offered));
    EXPECT_EQ(theChecksum.ChosenPath(), offered);

    // Lengths through several rounds of every loop of every path (256-byte blocks, 64- and
    // 16-byte pieces, words, bytes), each at every offset from a 64-byte boundary.
    constexpr size_t Offsets = 64, Longest = 2200;
    std::mt19937 random(11);
    alignas(64) uint8_t bytes[Offsets + Longest];
    for (auto& b : bytes) b = static_cast<uint8_t>(random());
    for (size_t offset = 0; offset < Offsets; ++offset) {
        const uint8_t* p = bytes + offset;
        uint32_t c = 0;  // start 0 (the common CRC-32 starts from ~0), reflected polynomial, final NOT
        for (size_t length = 0; length <= Longest; ++length) {
            if (length > 0) c = BitStep(c, p[length - 1]);
#ifdef PELKO_TEST_HAVE_ZLIB
            ASSERT_EQ(crc32(0xFFFFFFFFul, p, static_cast<uInt>(length)), ~c);
#endif
            for (const CChecksum& path : paths)
                ASSERT_EQ(path.Compute(p, static_cast<uint32_t>(length)), ~c)
                    << "path " << int(path.ChosenPath()) << " offset " << offset << " length " << length;
        }
    }

    // Many rounds of the long loops: an odd length from an odd address.
    std::vector<uint8_t> large((1u << 20) + 16);
    for (auto& b : large) b = static_cast<uint8_t>(random());
    const uint8_t* p = large.data() + 1;
    const auto length = static_cast<uint32_t>(large.size() - 2);
    uint32_t c = 0;
    for (uint32_t i = 0; i < length; ++i) c = BitStep(c, p[i]);
#ifdef PELKO_TEST_HAVE_ZLIB
    EXPECT_EQ(crc32(0xFFFFFFFFul, p, length), ~c);
#endif
    for (const CChecksum& path : paths) EXPECT_EQ(path.Compute(p, length), ~c) << "path " << int(path.ChosenPath());
    EXPECT_EQ(theChecksum.Compute(nullptr, 0), 0xFFFFFFFFu);
}
