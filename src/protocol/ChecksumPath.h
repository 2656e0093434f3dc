// What the checksum object and its folding paths share: the polynomial and the names of the
// ways over long data. Apart, so that the folds need not know the object that chooses them.
#pragma once

#include <cstdint>

// The reflected CRC-32 polynomial of the transferred data's checksum.
constexpr uint32_t kChecksumPolynomial = 0xEDB88320;

// The ways CChecksum::Compute goes over long data, slowest first. All give the same checksums.
enum class ChecksumPath : uint8_t {
    Table,    // look-up tables, five braided chains of 8-byte words: any processor
    Fold128,  // carry-less multiplication (PCLMULQDQ) on 16-byte registers
    Fold512,  // carry-less multiplication on 64-byte registers (VPCLMULQDQ with AVX-512)
};
