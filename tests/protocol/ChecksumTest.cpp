// The checksum: agreement with the definition (one bit at a time, no table) and with zlib for
// every length and alignment.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "protocol/Checksum.h"

#ifdef PELKO_TEST_HAVE_ZLIB
#include <zlib.h>
#endif

TEST(Checksum, EveryLengthAndAlignmentMatchesTheReferences) {
    // Several blocks of five words: every path (blocks, words, bytes) meets every alignment.
    std::mt19937 random(11);
    std::vector<uint8_t> bytes(420);
    for (auto& b : bytes) b = static_cast<uint8_t>(random());
    for (size_t offset = 0; offset < 8; ++offset)
        for (size_t length = 0; length + offset <= 410; ++length) {
            const uint8_t* p = bytes.data() + offset;
            uint32_t c = 0;   // start 0 (the common CRC-32 starts from ~0), reflected polynomial, final NOT
            for (size_t i = 0; i < length; ++i) {
                c ^= p[i];
                for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
            }
            const uint32_t ours = theChecksum.Compute(p, static_cast<uint32_t>(length));
            ASSERT_EQ(ours, ~c) << "offset " << offset << " length " << length;
#ifdef PELKO_TEST_HAVE_ZLIB
            ASSERT_EQ(ours, static_cast<uint32_t>(crc32(0xFFFFFFFFul, p, static_cast<uInt>(length))));
#endif
        }
    EXPECT_EQ(theChecksum.Compute(nullptr, 0), 0xFFFFFFFFu);
}
