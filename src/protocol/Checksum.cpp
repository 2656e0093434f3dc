// The checksum computation. On processors that multiply carry-less, long data is folded
// (ChecksumFold.cpp) down to 16 bytes that carry its checksum, and the table code below finishes
// those and the few bytes after them. Without that instruction the table code takes everything:
// long data in blocks of five 8-byte words, each word position a checksum chain of its own,
// merged in the last block; what remains goes a word at a time, then byte by byte. Every form
// gives the result of the plain byte-at-a-time rule c = (c >> 8) ^ table[(c ^ b) & 0xFF]: the
// register is linear in the data, so contributions that are carried forward over zero bytes and
// XORed together add up to the same value.
#include "protocol/Checksum.h"

#include <cstddef>

#include "protocol/ByteOrder.h"
#include "protocol/ChecksumFold.h"

namespace {

constexpr int WordBytes = 8;
// Independent checksums interleaved word by word over blocks of Braids words, so that the
// processor works on several look-up chains at once (the braided form that zlib uses).
constexpr int Braids = 5;

// The look-up tables, built by the compiler: they are in the program image before any code runs.
struct CTables {
    uint32_t table[WordBytes][256]{};
    uint32_t braid[WordBytes][256]{};

    constexpr CTables() noexcept {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ CChecksum::Polynomial : c >> 1;
            table[0][i] = c;
        }
        // table[k][i]: byte i followed by k zero bytes, so that the eight bytes of a word are
        // taken in one step with independent look-ups (slicing by eight).
        for (int k = 1; k < WordBytes; ++k)
            for (uint32_t i = 0; i < 256; ++i) table[k][i] = ZeroByte(table[k - 1][i]);
        // braid[k][i]: byte i at offset k of a word, carried over the rest of its block to the
        // same word of the next block: Braids * 8 - 1 - k zero bytes after it.
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = table[WordBytes - 1][i];
            for (int n = WordBytes - 1; n < (Braids - 1) * WordBytes; ++n) c = ZeroByte(c);
            braid[WordBytes - 1][i] = c;
            for (int k = WordBytes - 2; k >= 0; --k) braid[k][i] = ZeroByte(braid[k + 1][i]);
        }
    }

    // One step of the register over a zero byte.
    constexpr uint32_t ZeroByte(uint32_t c) const noexcept { return (c >> 8) ^ table[0][c & 0xFF]; }
};

constexpr CTables tables;

// The register after the eight bytes of `word` (little-endian), from a register of 0.
inline uint32_t Word(uint64_t word) noexcept {
    const auto& t = tables.table;
    return t[7][word & 0xFF] ^ t[6][(word >> 8) & 0xFF] ^ t[5][(word >> 16) & 0xFF] ^ t[4][(word >> 24) & 0xFF] ^
           t[3][(word >> 32) & 0xFF] ^ t[2][(word >> 40) & 0xFF] ^ t[1][(word >> 48) & 0xFF] ^ t[0][word >> 56];
}

// The same, carried on to the same word of the next block.
inline uint32_t Braid(uint64_t word) noexcept {
    const auto& b = tables.braid;
    return b[0][word & 0xFF] ^ b[1][(word >> 8) & 0xFF] ^ b[2][(word >> 16) & 0xFF] ^ b[3][(word >> 24) & 0xFF] ^
           b[4][(word >> 32) & 0xFF] ^ b[5][(word >> 40) & 0xFF] ^ b[6][(word >> 48) & 0xFF] ^ b[7][word >> 56];
}

// The register after the `left` bytes at `p`, from the register `c`: the table path.
uint32_t Continue(uint32_t c, const uint8_t* p, size_t left) noexcept {
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
    for (; left > 0; ++p, --left) c = (c >> 8) ^ tables.table[0][(c ^ *p) & 0xFF];
    return c;
}

}  // namespace

// Built at start-up in no particular order with the other process-wide objects: its constructor
// only asks the processor, and none of their constructors computes a checksum.
const CChecksum theChecksum;

CChecksum::CChecksum(Path fastest) noexcept {
    const Path offered = OfferedFoldPath();
    m_path = offered < fastest ? offered : fastest;
}

uint32_t CChecksum::Compute(const void* data, uint32_t length) const noexcept {
    if (length == 0) return 0xFFFFFFFF;
    const uint8_t* p = static_cast<const uint8_t*>(data);
    size_t left = length;
    uint32_t c = 0;
    // Folding takes whole 16-byte pieces and leaves 16 bytes with the same checksum as all of
    // them; the table code goes on from those.
    alignas(16) uint8_t rest[16];
    size_t folded = 0;
    if (m_path == Path::Fold512 && left >= Fold512Least)
        folded = Fold512(p, left, rest);
    else if (m_path != Path::Table && left >= Fold128Least)
        folded = Fold128(p, left, rest);
    if (folded > 0) {
        c = Continue(0, rest, sizeof rest);
        p += folded;
        left -= folded;
    }
    return ~Continue(c, p, left);
}
