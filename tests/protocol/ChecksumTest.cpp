// The checksum: the known vectors, the table, and agreement with independent references on
// random data of random lengths and alignments (zlib's crc32 where the test is linked with it,
// and everywhere a bit-at-a-time form of the polynomial that uses no table at all).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "protocol/ByteOrder.h"
#include "protocol/Checksum.h"

#ifdef PELKO_TEST_HAVE_ZLIB
#include <zlib.h>
#endif

namespace {

// The definition itself, one bit at a time: start 0, reflected polynomial, final NOT.
uint32_t BitwiseChecksum(const uint8_t* data, size_t length) {
    uint32_t c = 0;
    for (size_t i = 0; i < length; ++i) {
        c ^= data[i];
        for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    }
    return ~c;
}

uint32_t Reflect(uint32_t value, int bits) {
    uint32_t result = 0;
    for (int i = 0; i < bits; ++i)
        if (value & (1u << i)) result |= 1u << (bits - 1 - i);
    return result;
}

uint32_t Compute(const std::vector<uint8_t>& bytes) {
    return theChecksum.Compute(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

std::vector<uint8_t> Bytes(const char* text) { return std::vector<uint8_t>(text, text + std::strlen(text)); }

std::vector<uint8_t> RandomBytes(std::mt19937& random, size_t length) {
    std::vector<uint8_t> bytes(length);
    for (auto& b : bytes) b = static_cast<uint8_t>(random());
    return bytes;
}

}  // namespace

TEST(Checksum, OfNoBytesIsAllOnes) {
    EXPECT_EQ(theChecksum.Compute(nullptr, 0), 0xFFFFFFFFu);
    const uint8_t byte = 0x61;
    EXPECT_EQ(theChecksum.Compute(&byte, 0), 0xFFFFFFFFu);
}

TEST(Checksum, KnownVectors) {
    EXPECT_EQ(Compute(Bytes("abc")), 0x359A672Fu);
    EXPECT_EQ(Compute(Bytes("123456789")), 0xD202D277u);
    // Not the common CRC-32 (initial value 0xFFFFFFFF), which gives 0x352441C2 and 0xCBF43926.
    EXPECT_NE(Compute(Bytes("abc")), 0x352441C2u);
    EXPECT_NE(Compute(Bytes("123456789")), 0xCBF43926u);
}

TEST(Checksum, LongerVectors) {
    // Exercises the eight-byte steps and the byte-wise tail together.
    EXPECT_EQ(Compute(Bytes("The quick brown fox jumps over the lazy dog")),
              BitwiseChecksum(reinterpret_cast<const uint8_t*>("The quick brown fox jumps over the lazy dog"), 43));
    std::vector<uint8_t> zeros(32, 0);
    EXPECT_EQ(Compute(zeros), 0xFFFFFFFFu);   // starting from 0, zero bytes never move the register
    std::vector<uint8_t> ones(32, 0xFF);
    EXPECT_EQ(Compute(ones), BitwiseChecksum(ones.data(), ones.size()));
}

TEST(Checksum, TableIsTheReflectedCrc32Table) {
    EXPECT_EQ(theChecksum.Entry(0), 0x00000000u);
    EXPECT_EQ(theChecksum.Entry(1), 0x77073096u);
    EXPECT_EQ(theChecksum.Entry(128), 0xEDB88320u);
    EXPECT_EQ(theChecksum.Entry(255), 0x2D02EF8Du);
    // The same table from the normal form 0x04C11DB7: reflect the byte, shift left eight times
    // with the byte in the top eight bits, reflect the result.
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = Reflect(i, 8) << 24;
        for (int bit = 0; bit < 8; ++bit) c = (c & 0x80000000u) ? (c << 1) ^ 0x04C11DB7u : c << 1;
        ASSERT_EQ(theChecksum.Entry(static_cast<uint8_t>(i)), Reflect(c, 32)) << "entry " << i;
    }
}

TEST(Checksum, AppendingTheChecksumGivesTheFixedResidue) {
    // A CRC property that holds whatever the data: the checksum of the data followed by its own
    // checksum (little-endian) is a constant of the polynomial and the final NOT.
    std::mt19937 random(7);
    for (size_t length : {1u, 3u, 8u, 13u, 100u}) {
        std::vector<uint8_t> bytes = RandomBytes(random, length);
        const uint32_t sum = Compute(bytes);
        bytes.resize(length + 4);
        StoreLE32(bytes.data() + length, sum);
        EXPECT_EQ(Compute(bytes), 0x2144DF1Cu) << "length " << length;
    }
}

TEST(Checksum, EveryLengthAndAlignmentMatchesTheBitwiseForm) {
    // Up to several blocks of five words, so that every path of the computation (blocks, whole
    // words, single bytes) meets every alignment and every kind of remainder.
    std::mt19937 random(11);
    const std::vector<uint8_t> bytes = RandomBytes(random, 420);
    for (size_t offset = 0; offset < 8; ++offset)
        for (size_t length = 0; length + offset <= 410; ++length)
            ASSERT_EQ(theChecksum.Compute(bytes.data() + offset, static_cast<uint32_t>(length)),
                      BitwiseChecksum(bytes.data() + offset, length))
                << "offset " << offset << " length " << length;
}

TEST(Checksum, RandomDataOfRandomLengthsMatchesTheReferences) {
    std::mt19937 random(20240601);
    std::uniform_int_distribution<size_t> lengths(1, 300000);
    for (int round = 0; round < 40; ++round) {
        const size_t length = round < 10 ? static_cast<size_t>(round + 1) : lengths(random);
        const std::vector<uint8_t> bytes = RandomBytes(random, length);
        const uint32_t ours = Compute(bytes);
        ASSERT_EQ(ours, BitwiseChecksum(bytes.data(), bytes.size())) << "length " << length;
#ifdef PELKO_TEST_HAVE_ZLIB
        // zlib's crc32 starts from the NOT of the value it is given: from 0 here, as ours does.
        ASSERT_EQ(ours, static_cast<uint32_t>(crc32(0xFFFFFFFFul, bytes.data(), static_cast<uInt>(bytes.size()))))
            << "length " << length;
#endif
    }
}

TEST(Checksum, DetectsEverySingleBitFlip) {
    std::mt19937 random(3);
    std::vector<uint8_t> bytes = RandomBytes(random, 64);
    const uint32_t original = Compute(bytes);
    for (size_t i = 0; i < bytes.size(); ++i) {
        for (int bit = 0; bit < 8; ++bit) {
            bytes[i] ^= static_cast<uint8_t>(1u << bit);
            ASSERT_NE(Compute(bytes), original) << "byte " << i << " bit " << bit;
            bytes[i] ^= static_cast<uint8_t>(1u << bit);
        }
    }
    EXPECT_EQ(Compute(bytes), original);
}

#ifdef PELKO_TEST_HAVE_ZLIB
TEST(Checksum, ZlibReferenceIsLinked) {
    // Guards the comparison above: zlib's own check value of its standard CRC-32.
    EXPECT_EQ(crc32(0, reinterpret_cast<const Bytef*>("123456789"), 9), 0xCBF43926ul);
}
#endif
