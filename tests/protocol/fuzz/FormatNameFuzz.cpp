// Any received cmd_GetData payload read as a format name: never out of bounds; a name that is
// read, written again as a payload, is exactly the received bytes up to and with its terminator.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "FuzzCheck.h"
#include "protocol/TransferMessages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto name = DecodeFormatName(data, size);
    if (!name) {
        // No whole zero unit anywhere in the payload.
        for (size_t i = 0; i + 1 < size; i += 2) FUZZ_CHECK(data[i] != 0 || data[i + 1] != 0);
        return 0;
    }
    const auto payload = EncodeTextPayload(*name);
    FUZZ_CHECK(payload.size() == TextPayloadLength(*name));
    FUZZ_CHECK(payload.size() <= size);
    FUZZ_CHECK(std::equal(payload.begin(), payload.end(), data));
    // The list reader agrees wherever a terminator is present.
    FUZZ_CHECK(DecodeFormatList(data, size) == *name);
    return 0;
}
