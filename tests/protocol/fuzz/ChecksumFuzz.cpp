// The checksum of any received bytes, at any alignment, equals the plain byte-at-a-time rule:
// the block and word paths of the computation must never differ from it.
#include <cstddef>
#include <cstdint>

#include "FuzzCheck.h"
#include "protocol/Checksum.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint32_t c = 0;
    for (size_t i = 0; i < size; ++i) c = (c >> 8) ^ theChecksum.Entry(static_cast<uint8_t>(c ^ data[i]));
    const uint32_t expected = size == 0 ? 0xFFFFFFFF : ~c;
    FUZZ_CHECK(theChecksum.Compute(data, static_cast<uint32_t>(size)) == expected);
    // The same bytes from an offset inside the input: another alignment, another split.
    if (size > 3) {
        uint32_t d = 0;
        for (size_t i = 3; i < size; ++i) d = (d >> 8) ^ theChecksum.Entry(static_cast<uint8_t>(d ^ data[i]));
        FUZZ_CHECK(theChecksum.Compute(data + 3, static_cast<uint32_t>(size - 3)) == ~d);
    }
    return 0;
}
