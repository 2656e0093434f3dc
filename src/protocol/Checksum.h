// The 32-bit checksum that protects the data of cmd_SendData: the reflected CRC-32 (polynomial
// 0xEDB88320) started from 0 instead of zlib's 0xFFFFFFFF, with the final NOT. It therefore
// equals zlib's crc32(0xFFFFFFFF, data, length), and the checksum of no bytes is 0xFFFFFFFF.
#pragma once

#include <cstdint>

#include "protocol/ChecksumPath.h"

class CChecksum {
public:
    using Path = ChecksumPath;

    // Asks the processor (cpuid, once, here) and takes the fastest path that it offers, but no
    // faster one than `fastest`: the tests and the benchmark force each path this way. The
    // tables are built by the compiler (Checksum.cpp); only the choice is made at run time.
    explicit CChecksum(Path fastest = Path::Fold512) noexcept;
    CChecksum(const CChecksum&) = delete;
    CChecksum& operator=(const CChecksum&) = delete;

    // The checksum of `length` bytes at `data` (which may be null when length is 0).
    uint32_t Compute(const void* data, uint32_t length) const noexcept;

    Path ChosenPath() const noexcept { return m_path; }

    static constexpr uint32_t Polynomial = kChecksumPolynomial;

private:
    Path m_path;
};

// The process-wide checksum object (Checksum.cpp). Read-only after construction, so every
// thread may use it without a lock.
extern const CChecksum theChecksum;
