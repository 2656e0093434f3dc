// The message header: initialisation with sequence numbers, and its byte image on the wire.
#include "protocol/Message.h"

#include "protocol/ByteOrder.h"
#include "protocol/SequenceCounter.h"

namespace {
// The process-wide sequence counter; starts at 0, so the first header of a process carries 1.
// Constant-initialised: it exists before any other object of the process is built.
constinit CSequenceCounter g_messageSequence;
}  // namespace

CMessage::CMessage() noexcept
    : signature(MessageSignature), command(0), error(0), length(0), checksum(0),
      sequence(g_messageSequence.Next()) {}

uint32_t CMessage::NextSequence() noexcept {
    sequence = g_messageSequence.Next();
    return sequence;
}

void CMessage::SetRequest(uint32_t newCommand, uint32_t newLength) noexcept {
    NextSequence();
    error = SrvErr_None;
    command = newCommand;
    length = newLength;
}

void CMessage::Encode(uint8_t* out) const noexcept {
    StoreLE32(out + 0, signature);
    StoreLE32(out + 4, command);
    StoreLE32(out + 8, error);
    StoreLE32(out + 12, length);
    StoreLE32(out + 16, checksum);
    StoreLE32(out + 20, sequence);
}

std::array<uint8_t, MessageHeaderSize> CMessage::Encode() const noexcept {
    std::array<uint8_t, MessageHeaderSize> bytes;
    Encode(bytes.data());
    return bytes;
}

bool CMessage::Decode(const uint8_t* data, size_t size) noexcept {
    if (data == nullptr || size < MessageHeaderSize) return false;
    signature = LoadLE32(data + 0);
    command = LoadLE32(data + 4);
    error = LoadLE32(data + 8);
    length = LoadLE32(data + 12);
    checksum = LoadLE32(data + 16);
    sequence = LoadLE32(data + 20);
    return true;
}
