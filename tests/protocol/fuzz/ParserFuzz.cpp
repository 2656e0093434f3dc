// libFuzzer targets for the readers of received bytes, one program each (PELKO_FUZZ_* picks the
// reader): never out of bounds, and what was read writes back as the bytes it came from.
#include <algorithm>
#include <cstdlib>

#include "protocol/TransferMessages.h"
#include "protocol/WhoMessage.h"

// Holds in every build type: a broken property crashes, and libFuzzer keeps the input.
#define FUZZ_CHECK(condition) ((condition) ? (void)0 : std::abort())

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
#if defined(PELKO_FUZZ_HEADER)
    CMessage header;
    const CMessage before = header;
    FUZZ_CHECK(header.Decode(data, size) == (size >= MessageHeaderSize));
    if (size < MessageHeaderSize) FUZZ_CHECK(header == before);
    const auto bytes = header.Encode();
    FUZZ_CHECK(size < MessageHeaderSize || std::equal(bytes.begin(), bytes.end(), data));
#elif defined(PELKO_FUZZ_WHO)
    CWhoMessage message;
    const auto prepared = message.Encode();
    FUZZ_CHECK(message.DecodeDatagram(data, size) == (size <= WhoMessageSize));
    const auto image = message.Encode();
    const size_t read = size <= WhoMessageSize ? size : 0;
    FUZZ_CHECK(std::equal(data, data + read, image.begin()));
    FUZZ_CHECK(std::equal(image.begin() + read, image.end(), prepared.begin() + read));
    if (const auto nickname = message.ReadNickname())
        FUZZ_CHECK(nickname->size() < NicknameUnits && CWhoMessage(nickname->c_str()).ReadNickname() == nickname);
#elif defined(PELKO_FUZZ_FORMAT_NAME)
    if (const auto name = DecodeFormatName(data, size)) {
        const auto payload = EncodeTextPayload(*name);
        FUZZ_CHECK(payload.size() <= size && std::equal(payload.begin(), payload.end(), data));
    } else {
        for (size_t i = 0; i + 1 < size; i += 2) FUZZ_CHECK(data[i] != 0 || data[i + 1] != 0);
    }
#elif defined(PELKO_FUZZ_FORMAT_LIST)
    const std::u16string list = DecodeFormatList(data, size);
    const auto payload = EncodeTextPayload(list);
    FUZZ_CHECK(2 * list.size() <= size && std::equal(payload.begin(), payload.end() - 2, data));
    FUZZ_CHECK(DecodeFormatList(payload.data(), payload.size()) == list);
#endif
    return 0;
}
