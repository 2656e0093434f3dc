// The byte pattern of the large test and benchmark transfers: not periodic at any power of two,
// so that a lost, doubled or shifted piece shows when the received bytes are checked.
#pragma once

#include <cstdint>

inline unsigned char PatternByte(std::uint64_t i) noexcept {
    return static_cast<unsigned char>((i * 131u) ^ (i >> 11) ^ (i >> 19));
}
