// Any received cmd_SendInfo payload read as a format list: never out of bounds, never longer
// than the whole units received, and the same text when written and read again.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "FuzzCheck.h"
#include "protocol/TransferMessages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::u16string list = DecodeFormatList(data, size);
    FUZZ_CHECK(2 * list.size() <= size);
    FUZZ_CHECK(list.find(u'\0') == std::u16string::npos);
    const auto payload = EncodeTextPayload(list);
    FUZZ_CHECK(std::equal(payload.begin(), payload.end() - 2, data));
    FUZZ_CHECK(DecodeFormatList(payload.data(), payload.size()) == list);
    FUZZ_CHECK(DecodeFormatName(payload.data(), payload.size()) == list);
    return 0;
}
