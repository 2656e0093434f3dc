// The clipboard transfer messages over TCP: the requests cmd_GetInfo and cmd_GetData of the
// client, the replies cmd_SendInfo, cmd_SendData and the bare error reply of the serving
// connection, and the text payloads they carry (UTF-16 little-endian, one zero unit at the end).
// Headers are built in place, as the two sides keep them; payloads are separate byte strings
// because each side sends (or streams) the header and its payload with separate calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/Message.h"

// What the serving connection takes: a request of at most 551 bytes in a 552-byte buffer,
// a length field below 552, and a cmd_GetData name of at most 512 bytes (255 characters).
inline constexpr size_t RequestBufferSize = 552;
inline constexpr uint32_t MaxFormatNameBytes = 512;

// The length field of a text payload: two bytes per code unit and two for the terminator.
uint32_t TextPayloadLength(std::u16string_view text) noexcept;
// The payload bytes of a text: its units little-endian, then one zero unit.
std::vector<uint8_t> EncodeTextPayload(std::u16string_view text);

// Client: makes `header` a fresh cmd_GetInfo request (length 0).
void PrepareGetInfo(CMessage& header) noexcept;
// Client: makes `header` a fresh cmd_GetData request for `formatName` and returns the payload.
std::vector<uint8_t> PrepareGetData(CMessage& header, std::u16string_view formatName);

// Server: turns the received request header into the cmd_SendInfo reply for `formatList`
// (names joined by "/") and returns the payload. Error and sequence stay the request's.
std::vector<uint8_t> PrepareSendInfo(CMessage& request, std::u16string_view formatList);
// Server: turns the received request header into the cmd_SendData reply header for the
// `size` bytes at `data` (length and checksum). The data itself follows it unchanged.
void PrepareSendData(CMessage& request, const void* data, uint32_t size) noexcept;
// Server: a bare error header (fresh sequence, length and checksum 0). When it answers a
// parsed request, that header's command and sequence are copied in; else the command is 0
// and the fresh sequence matches no request.
CMessage MakeErrorReply(uint32_t error, const CMessage* request) noexcept;

// Server: the format name of a received cmd_GetData payload (`size` bytes from offset 24):
// the text up to its first zero unit. None when the payload holds no zero unit.
std::optional<std::u16string> DecodeFormatName(const uint8_t* payload, size_t size);
// Client: the format list of a received cmd_SendInfo payload: the text up to its first zero
// unit, or every whole unit received when there is none (an odd last byte is dropped).
std::u16string DecodeFormatList(const uint8_t* payload, size_t size);
