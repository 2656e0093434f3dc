// The 32-bit checksum that protects the data of cmd_SendData: the reflected CRC-32 (polynomial
// 0xEDB88320) started from 0 instead of zlib's 0xFFFFFFFF, with the final NOT. It therefore
// equals zlib's crc32(0xFFFFFFFF, data, length), and the checksum of no bytes is 0xFFFFFFFF.
#pragma once

#include <cstdint>

class CChecksum {
public:
    // Builds the tables. The constructor is constexpr so that the process-wide object is
    // constant-initialised: its tables are in the program image before any code runs.
    constexpr CChecksum() noexcept {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ Polynomial : c >> 1;
            m_table[0][i] = c;
        }
        // m_table[k][i]: byte i followed by k zero bytes, so that the eight bytes of a word
        // are taken in one step with independent look-ups (slicing by eight).
        for (int k = 1; k < WordBytes; ++k)
            for (uint32_t i = 0; i < 256; ++i) m_table[k][i] = ZeroByte(m_table[k - 1][i]);
        // m_braid[k][i]: byte i at offset k of a word, carried over the rest of its block to the
        // same word of the next block: Braids * 8 - 1 - k zero bytes after it.
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = m_table[WordBytes - 1][i];
            for (int n = WordBytes - 1; n < (Braids - 1) * WordBytes; ++n) c = ZeroByte(c);
            m_braid[WordBytes - 1][i] = c;
            for (int k = WordBytes - 2; k >= 0; --k) m_braid[k][i] = ZeroByte(m_braid[k + 1][i]);
        }
    }
    CChecksum(const CChecksum&) = delete;
    CChecksum& operator=(const CChecksum&) = delete;

    // The checksum of `length` bytes at `data` (which may be null when length is 0).
    uint32_t Compute(const void* data, uint32_t length) const noexcept;

    // Entry i of the byte table: byte i put through eight steps of the polynomial.
    constexpr uint32_t Entry(uint8_t index) const noexcept { return m_table[0][index]; }

    static constexpr uint32_t Polynomial = 0xEDB88320;

private:
    static constexpr int WordBytes = 8;
    // Independent checksums interleaved word by word over blocks of Braids words, so that the
    // processor works on several look-up chains at once (the braided form that zlib uses).
    static constexpr int Braids = 5;

    // One step of the register over a zero byte.
    constexpr uint32_t ZeroByte(uint32_t c) const noexcept { return (c >> 8) ^ m_table[0][c & 0xFF]; }
    uint32_t Word(uint64_t word) const noexcept;
    uint32_t Braid(uint64_t word) const noexcept;

    uint32_t m_table[WordBytes][256]{};
    uint32_t m_braid[WordBytes][256]{};
};

// The process-wide checksum object. It is built by the compiler (see Checksum.cpp), so it
// exists before every other process-wide object and needs no place in their start-up order.
extern const CChecksum theChecksum;
