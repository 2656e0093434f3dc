// The discovery datagram: building it from a nick name, and its byte image on the wire.
#include "protocol/WhoMessage.h"

#include <algorithm>

#include "protocol/ByteOrder.h"

namespace {

template <typename Char>
void CopyNickname(CWhoMessage& message, const Char* nick) {
    if (nick == nullptr || nick[0] == 0) return;
    // A longer name is cut after 15 units; the 16th stays 0 as the terminator.
    for (size_t i = 0; i + 1 < NicknameUnits && nick[i] != 0; ++i)
        message.nickname[i] = static_cast<char16_t>(nick[i]);
    message.header.length = NicknameUnits;
}

}  // namespace

CWhoMessage::CWhoMessage() noexcept { nickname.fill(0); }

CWhoMessage::CWhoMessage(const char16_t* nick) noexcept : CWhoMessage() { CopyNickname(*this, nick); }

#ifdef PELKO_WCHAR_IS_UTF16
CWhoMessage::CWhoMessage(const wchar_t* nick) noexcept : CWhoMessage() { CopyNickname(*this, nick); }
#endif

void CWhoMessage::Encode(uint8_t* out) const noexcept {
    header.Encode(out);
    for (size_t i = 0; i < NicknameUnits; ++i)
        StoreLE16(out + MessageHeaderSize + 2 * i, static_cast<uint16_t>(nickname[i]));
}

std::array<uint8_t, WhoMessageSize> CWhoMessage::Encode() const noexcept {
    std::array<uint8_t, WhoMessageSize> bytes;
    Encode(bytes.data());
    return bytes;
}

bool CWhoMessage::DecodeDatagram(const uint8_t* data, size_t size) noexcept {
    if (size > WhoMessageSize || (data == nullptr && size != 0)) return false;
    std::array<uint8_t, WhoMessageSize> image = Encode();
    std::copy_n(data, size, image.begin());
    header.Decode(image.data(), image.size());
    for (size_t i = 0; i < NicknameUnits; ++i)
        nickname[i] = static_cast<char16_t>(LoadLE16(image.data() + MessageHeaderSize + 2 * i));
    return true;
}

std::optional<std::u16string> CWhoMessage::ReadNickname() const {
    auto end = std::find(nickname.begin(), nickname.end(), u'\0');
    if (end == nickname.end()) return std::nullopt;
    return std::u16string(nickname.begin(), end);
}
