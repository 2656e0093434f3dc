// The checksum computation: eight bytes per step through eight tables, the rest byte by byte.
// Both give the same result as the plain byte-at-a-time rule c = (c >> 8) ^ table[(c ^ b) & 0xFF].
#include "protocol/Checksum.h"

#include "protocol/ByteOrder.h"

// Read-only after construction, so every thread may use it without a lock.
constinit const CChecksum theChecksum;

uint32_t CChecksum::Compute(const void* data, uint32_t length) const noexcept {
    if (length == 0) return 0xFFFFFFFF;
    const uint8_t* p = static_cast<const uint8_t*>(data);
    uint32_t c = 0;
    for (; length >= 8; p += 8, length -= 8) {
        const uint32_t low = c ^ LoadLE32(p);
        const uint32_t high = LoadLE32(p + 4);
        c = m_table[7][low & 0xFF] ^ m_table[6][(low >> 8) & 0xFF] ^
            m_table[5][(low >> 16) & 0xFF] ^ m_table[4][low >> 24] ^
            m_table[3][high & 0xFF] ^ m_table[2][(high >> 8) & 0xFF] ^
            m_table[1][(high >> 16) & 0xFF] ^ m_table[0][high >> 24];
    }
    for (; length > 0; ++p, --length) c = (c >> 8) ^ m_table[0][(c ^ *p) & 0xFF];
    return ~c;
}
