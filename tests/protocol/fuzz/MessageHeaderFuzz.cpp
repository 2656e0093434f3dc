// Any received bytes read as a message header: never out of bounds, and a header that was read
// writes back the same 24 bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "FuzzCheck.h"
#include "protocol/Message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CMessage header;
    const CMessage before = header;
    const bool read = header.Decode(data, size);
    FUZZ_CHECK(read == (size >= MessageHeaderSize));
    if (!read) {
        FUZZ_CHECK(header == before);
        return 0;
    }
    const auto bytes = header.Encode();
    FUZZ_CHECK(std::equal(bytes.begin(), bytes.end(), data));
    FUZZ_CHECK(header.HasSignature() == (data[0] == 0x78 && data[1] == 0x56 && data[2] == 0x34 && data[3] == 0x12));
    FUZZ_CHECK(header.IsReplyTo(header) == header.HasSignature());
    return 0;
}
