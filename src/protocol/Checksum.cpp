// The checksum computation. Long data goes in blocks of five 8-byte words, each word position
// a checksum chain of its own, merged in the last block; what remains goes a word at a time,
// then byte by byte. Every form gives the result of the plain byte-at-a-time rule
// c = (c >> 8) ^ table[(c ^ b) & 0xFF]: the register is linear in the data, so contributions
// that are carried forward over zero bytes and XORed together add up to the same value.
#include "protocol/Checksum.h"

#include <cstddef>

#include "protocol/ByteOrder.h"

// Read-only after construction, so every thread may use it without a lock.
constinit const CChecksum theChecksum;

// The register after the eight bytes of `word` (little-endian), from a register of 0.
inline uint32_t CChecksum::Word(uint64_t word) const noexcept {
    return m_table[7][word & 0xFF] ^ m_table[6][(word >> 8) & 0xFF] ^ m_table[5][(word >> 16) & 0xFF] ^
           m_table[4][(word >> 24) & 0xFF] ^ m_table[3][(word >> 32) & 0xFF] ^ m_table[2][(word >> 40) & 0xFF] ^
           m_table[1][(word >> 48) & 0xFF] ^ m_table[0][word >> 56];
}

// The same, carried on to the same word of the next block.
inline uint32_t CChecksum::Braid(uint64_t word) const noexcept {
    return m_braid[0][word & 0xFF] ^ m_braid[1][(word >> 8) & 0xFF] ^ m_braid[2][(word >> 16) & 0xFF] ^
           m_braid[3][(word >> 24) & 0xFF] ^ m_braid[4][(word >> 32) & 0xFF] ^ m_braid[5][(word >> 40) & 0xFF] ^
           m_braid[6][(word >> 48) & 0xFF] ^ m_braid[7][word >> 56];
}

uint32_t CChecksum::Compute(const void* data, uint32_t length) const noexcept {
    if (length == 0) return 0xFFFFFFFF;
    const uint8_t* p = static_cast<const uint8_t*>(data);
    size_t left = length;
    uint32_t c = 0;

    static_assert(Braids == 5, "the loop below names its five chains");
    constexpr size_t Block = Braids * WordBytes;
    if (left >= 2 * Block) {
        const size_t blocks = left / Block;
        // Chain j holds what the data so far adds to word j of the next block.
        uint32_t c0 = c, c1 = 0, c2 = 0, c3 = 0, c4 = 0;
        // The chains do not depend on each other, so the processor overlaps their look-ups.
        for (size_t i = 1; i < blocks; ++i, p += Block) {
            c0 = Braid(c0 ^ LoadLE64(p));
            c1 = Braid(c1 ^ LoadLE64(p + 8));
            c2 = Braid(c2 ^ LoadLE64(p + 16));
            c3 = Braid(c3 ^ LoadLE64(p + 24));
            c4 = Braid(c4 ^ LoadLE64(p + 32));
        }
        // The last block word by word, merging each chain where its word comes.
        c = Word(c0 ^ LoadLE64(p));
        c = Word(c ^ c1 ^ LoadLE64(p + 8));
        c = Word(c ^ c2 ^ LoadLE64(p + 16));
        c = Word(c ^ c3 ^ LoadLE64(p + 24));
        c = Word(c ^ c4 ^ LoadLE64(p + 32));
        p += Block;
        left -= blocks * Block;
    }
    for (; left >= WordBytes; p += WordBytes, left -= WordBytes) c = Word(c ^ LoadLE64(p));
    for (; left > 0; ++p, --left) c = (c >> 8) ^ m_table[0][(c ^ *p) & 0xFF];
    return ~c;
}
