// The checksum's fast paths: folding with carry-less multiplication (ChecksumFold.cpp), used
// by CChecksum::Compute only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "protocol/ChecksumPath.h"

// The fastest folding path that this processor and its operating system offer (cpuid and the
// register state that the system saves); ChecksumPath::Table when there is none.
ChecksumPath OfferedFoldPath() noexcept;

// The least lengths each fold takes.
constexpr size_t Fold128Least = 64;
constexpr size_t Fold512Least = 256;

// Fold the `length` bytes at `data` (length >= the fold's least) as far as they come in whole
// 16-byte pieces and return how many bytes that was. `rest` receives 16 bytes whose checksum
// register, from 0, is that of the folded bytes. Only call the path that OfferedFoldPath allows.
size_t Fold128(const uint8_t* data, size_t length, uint8_t rest[16]) noexcept;
size_t Fold512(const uint8_t* data, size_t length, uint8_t rest[16]) noexcept;
