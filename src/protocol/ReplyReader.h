// The client's reply, without the socket: the 24-byte reply header as it arrives in pieces, the
// checks that decide what it means (a failure status, or a payload to read), the format list in a
// cmd_SendInfo payload and the checksum of a cmd_SendData payload. CTalker receives straight into
// HeaderSpace() and into its own payload buffers and does what the decision says.
//
// Portable; the client's worker thread uses it, so it has no lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "protocol/Message.h"
#include "protocol/Status.h"

struct ReplyDecision {
    enum class Action : uint8_t {
        Wait,       // more of the header must come
        Fail,       // the request failed with `status`
        ReadList,   // a cmd_SendInfo: read `length` bytes, then FormatList()
        ReadData,   // a cmd_SendData: read `length` bytes, then CheckData()
    };
    Action action = Action::Wait;
    StatusId status = kStatusNone;
    uint32_t length = 0;
    // Fail with kStatusNetworkError: the stream ended before the header was whole (no socket
    // error tells why).
    bool endedEarly = false;
};

class CReplyReader {
public:
    explicit CReplyReader(const CMessage& request) noexcept : m_request(request) {}

    // Where the next bytes of the header go, and how many may come.
    [[nodiscard]] std::span<uint8_t> HeaderSpace() noexcept {
        return {m_header + m_received, MessageHeaderSize - m_received};
    }
    // `count` bytes were received into HeaderSpace(); 0: the stream ended.
    ReplyDecision HeaderReceived(size_t count);
    [[nodiscard]] const CMessage& Reply() const noexcept { return m_reply; }

    // The format list of a cmd_SendInfo payload: up to its first zero unit, or every whole unit.
    static std::u16string FormatList(std::span<const uint8_t> payload);
    // The checksum of a cmd_SendData payload and the status it gives: kStatusNone when it is the
    // one the header announced, kStatusCorruptedData when not.
    struct DataCheck {
        uint32_t actual;
        StatusId status;
    };
    [[nodiscard]] DataCheck CheckData(std::span<const uint8_t> payload) const noexcept;

private:
    CMessage m_request;
    CMessage m_reply;
    uint8_t m_header[MessageHeaderSize] = {};
    size_t m_received = 0;
};
