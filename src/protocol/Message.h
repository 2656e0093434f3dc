// The header that begins every message between hosts (24 bytes on the wire), with the command
// and error codes that it carries. Every field is a 32-bit unsigned number, little-endian.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// Command codes (the header's command field).
enum : uint32_t {
    cmd_WhoAnswer = 1,   // UDP, to the host that asked: a CWhoMessage
    cmd_WhoQuery = 2,    // UDP broadcast: a CWhoMessage
    cmd_WhoLeave = 3,    // UDP broadcast: a CWhoMessage
    cmd_GetInfo = 4,     // TCP, client to server: no payload
    cmd_SendInfo = 5,    // TCP, server to client: the format list text
    cmd_GetData = 6,     // TCP, client to server: one format name
    cmd_SendData = 7,    // TCP, server to client: the raw data of that format
};

// Error codes of a serving connection's reply (the header's error field).
enum : uint32_t {
    SrvErr_None = 0,
    SrvErr_Busy = 1,         // the clipboard holds remote formats not yet all fetched
    SrvErr_Rejected = 2,     // locked, or friends only and the requester is not one
    SrvErr_NoFormats = 3,    // the format list could not be read
    SrvErr_NoData = 4,       // the data of the requested format could not be had
    SrvErr_Protocol = 5,     // malformed request
    SrvErr_BadCommand = 6,   // neither cmd_GetInfo nor cmd_GetData
    SrvErr_SendFailed = 7,   // the reply header or the format list could not be sent
};

inline constexpr uint32_t MessageSignature = 0x12345678;
inline constexpr size_t MessageHeaderSize = 24;

class CMessage {
public:
    // Signature set, command, error, length and checksum 0, and a fresh sequence number
    // (also for a header that only serves as a receive buffer).
    CMessage() noexcept;

    // Takes a fresh sequence number into the header and returns it.
    uint32_t NextSequence() noexcept;
    // Prepares the header for a new request: fresh sequence, error 0, the given command and
    // length. The checksum field is left as it was.
    void SetRequest(uint32_t newCommand, uint32_t newLength) noexcept;

    bool HasSignature() const noexcept { return signature == MessageSignature; }
    // What a client accepts as the reply to its request: the signature and the request's number.
    bool IsReplyTo(const CMessage& request) const noexcept {
        return HasSignature() && sequence == request.sequence;
    }

    // The 24 bytes of the header as they go on the wire.
    void Encode(uint8_t* out) const noexcept;
    std::array<uint8_t, MessageHeaderSize> Encode() const noexcept;
    // Reads the header from the first 24 of `size` received bytes. With fewer than 24 bytes the
    // result is false and the header is left as it was. Nothing is checked: the signature is
    // the reader's business (HasSignature, IsReplyTo).
    bool Decode(const uint8_t* data, size_t size) noexcept;

    bool operator==(const CMessage&) const = default;

    uint32_t signature;
    uint32_t command;
    uint32_t error;
    uint32_t length;     // payload bytes after the header; in a cmd_Who, 16 or 0 (nickname units)
    uint32_t checksum;   // in cmd_SendData: the checksum of the data; else 0
    uint32_t sequence;   // a fresh number in a request, the request's number in its reply
};
