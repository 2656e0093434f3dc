// The 56-byte discovery datagram of the cmd_Who family (cmd_WhoAnswer, cmd_WhoQuery,
// cmd_WhoLeave): a header and the sender's nick name in 16 UTF-16 code units.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "protocol/Message.h"
#include "protocol/WideText.h"

inline constexpr size_t WhoMessageSize = 56;
inline constexpr size_t NicknameUnits = 16;   // the field; the last unit is always 0

class CWhoMessage {
public:
    // A header as CMessage() makes it (fresh sequence, command 0: the caller sets the command)
    // and the nickname: at most its first 15 units, length 16; null or empty gives an all-zero
    // field and length 0.
    CWhoMessage() noexcept;
    explicit CWhoMessage(const char16_t* nick) noexcept;
    CWhoMessage(std::nullptr_t) noexcept : CWhoMessage() {}
#ifdef PELKO_WCHAR_IS_UTF16
    explicit CWhoMessage(const wchar_t* nick) noexcept;
#endif

    // The 56 bytes of the datagram as they go on the wire.
    void Encode(uint8_t* out) const noexcept;
    std::array<uint8_t, WhoMessageSize> Encode() const noexcept;
    // Lays the `size` bytes of a received datagram over this message, as a receive into its
    // 56-byte image does: bytes that a short datagram does not supply keep their values, so a
    // message prepared with CWhoMessage() keeps its signature. A datagram of more than 56 bytes
    // is not read: false, and the message is left as it was.
    bool DecodeDatagram(const uint8_t* data, size_t size) noexcept;

    // The length field announces a nickname (16 units); only then is the field looked at.
    bool HasNicknameField() const noexcept { return header.length == NicknameUnits; }
    // The text of the field up to its first zero unit (possibly empty); none when the field
    // holds no zero unit among its 16.
    std::optional<std::u16string> ReadNickname() const;

    CMessage header;
    std::array<char16_t, NicknameUnits> nickname;
};
