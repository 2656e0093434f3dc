// Little-endian reading and writing of the wire's fields, one byte at a time, so that the bytes
// on the wire are the same whatever the byte order of the host that builds or reads them.
// Compilers turn these loops into plain loads and stores on little-endian machines.
#pragma once

#include <cstdint>

inline void StoreLE16(uint8_t* out, uint16_t value) {
    out[0] = static_cast<uint8_t>(value);
    out[1] = static_cast<uint8_t>(value >> 8);
}

inline void StoreLE32(uint8_t* out, uint32_t value) {
    out[0] = static_cast<uint8_t>(value);
    out[1] = static_cast<uint8_t>(value >> 8);
    out[2] = static_cast<uint8_t>(value >> 16);
    out[3] = static_cast<uint8_t>(value >> 24);
}

inline uint16_t LoadLE16(const uint8_t* in) {
    return static_cast<uint16_t>(in[0] | (in[1] << 8));
}

inline uint32_t LoadLE32(const uint8_t* in) {
    return static_cast<uint32_t>(in[0]) | (static_cast<uint32_t>(in[1]) << 8) |
           (static_cast<uint32_t>(in[2]) << 16) | (static_cast<uint32_t>(in[3]) << 24);
}

inline uint64_t LoadLE64(const uint8_t* in) {
    // All eight bytes in one expression: the form that compilers merge into one load.
    return static_cast<uint64_t>(in[0]) | (static_cast<uint64_t>(in[1]) << 8) |
           (static_cast<uint64_t>(in[2]) << 16) | (static_cast<uint64_t>(in[3]) << 24) |
           (static_cast<uint64_t>(in[4]) << 32) | (static_cast<uint64_t>(in[5]) << 40) |
           (static_cast<uint64_t>(in[6]) << 48) | (static_cast<uint64_t>(in[7]) << 56);
}
