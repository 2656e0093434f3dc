// Building and reading the clipboard transfer messages and their text payloads.
#include "protocol/TransferMessages.h"

#include "protocol/ByteOrder.h"
#include "protocol/Checksum.h"

namespace {

// The units of a payload up to the first zero unit among its whole units; `terminated` tells
// whether there was one.
std::u16string ReadText(const uint8_t* payload, size_t size, bool& terminated) {
    terminated = false;
    std::u16string text;
    if (payload == nullptr) return text;
    for (size_t offset = 0; offset + 2 <= size; offset += 2) {
        const char16_t unit = static_cast<char16_t>(LoadLE16(payload + offset));
        if (unit == 0) {
            terminated = true;
            break;
        }
        text.push_back(unit);
    }
    return text;
}

}  // namespace

uint32_t TextPayloadLength(std::u16string_view text) noexcept {
    return static_cast<uint32_t>(2 * text.size() + 2);
}

std::vector<uint8_t> EncodeTextPayload(std::u16string_view text) {
    std::vector<uint8_t> bytes(TextPayloadLength(text), 0);
    for (size_t i = 0; i < text.size(); ++i) StoreLE16(bytes.data() + 2 * i, static_cast<uint16_t>(text[i]));
    return bytes;
}

void PrepareGetInfo(CMessage& header) noexcept { header.SetRequest(cmd_GetInfo, 0); }

std::vector<uint8_t> PrepareGetData(CMessage& header, std::u16string_view formatName) {
    std::vector<uint8_t> payload = EncodeTextPayload(formatName);
    header.SetRequest(cmd_GetData, static_cast<uint32_t>(payload.size()));
    return payload;
}

std::vector<uint8_t> PrepareSendInfo(CMessage& request, std::u16string_view formatList) {
    std::vector<uint8_t> payload = EncodeTextPayload(formatList);
    request.command = cmd_SendInfo;
    request.length = static_cast<uint32_t>(payload.size());
    return payload;
}

void PrepareSendData(CMessage& request, const void* data, uint32_t size) noexcept {
    request.command = cmd_SendData;
    request.length = size;
    request.checksum = theChecksum.Compute(data, size);
}

CMessage MakeErrorReply(uint32_t error, const CMessage* request) noexcept {
    CMessage reply;
    reply.error = error;
    if (request != nullptr) {
        reply.command = request->command;
        reply.sequence = request->sequence;
    }
    return reply;
}

std::optional<std::u16string> DecodeFormatName(const uint8_t* payload, size_t size) {
    bool terminated = false;
    std::u16string name = ReadText(payload, size, terminated);
    if (!terminated) return std::nullopt;
    return name;
}

std::u16string DecodeFormatList(const uint8_t* payload, size_t size) {
    bool terminated = false;
    return ReadText(payload, size, terminated);
}
