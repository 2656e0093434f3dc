// Any received datagram laid over a prepared discovery message: never out of bounds; the
// message image is the datagram followed by the prepared bytes; a nickname that is read is at
// most 15 units and comes back unchanged when the message is built from it.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "FuzzCheck.h"
#include "protocol/WhoMessage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CWhoMessage message;
    const auto prepared = message.Encode();
    const bool read = message.DecodeDatagram(data, size);
    FUZZ_CHECK(read == (size <= WhoMessageSize));
    const auto image = message.Encode();
    if (!read) {
        FUZZ_CHECK(image == prepared);
        return 0;
    }
    FUZZ_CHECK(std::equal(data, data + size, image.begin()));
    FUZZ_CHECK(std::equal(image.begin() + size, image.end(), prepared.begin() + size));

    const auto nickname = message.ReadNickname();
    if (nickname) {
        FUZZ_CHECK(nickname->size() < NicknameUnits);
        FUZZ_CHECK(nickname->find(u'\0') == std::u16string::npos);
        const CWhoMessage rebuilt(nickname->c_str());
        FUZZ_CHECK(rebuilt.ReadNickname() == nickname);
        FUZZ_CHECK(rebuilt.HasNicknameField() == !nickname->empty());
    } else {
        FUZZ_CHECK(std::find(message.nickname.begin(), message.nickname.end(), u'\0') == message.nickname.end());
    }
    return 0;
}
