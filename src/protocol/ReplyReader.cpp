// The client's reply checks (see ReplyReader.h).
#include "protocol/ReplyReader.h"

#include "protocol/Checksum.h"
#include "protocol/TransferMessages.h"

ReplyDecision CReplyReader::HeaderReceived(size_t count) {
    ReplyDecision decision;
    if (count == 0) {
        decision.action = ReplyDecision::Action::Fail;
        decision.status = kStatusNetworkError;
        decision.endedEarly = true;
        return decision;
    }
    m_received += count;
    if (m_received < MessageHeaderSize) return decision;
    m_reply.Decode(m_header, MessageHeaderSize);
    decision.action = ReplyDecision::Action::Fail;
    decision.length = m_reply.length;
    // The command of an error reply is not looked at: an error answers whatever was asked.
    if (!m_reply.IsReplyTo(m_request)) {
        decision.status = kStatusCorruptedData;
    } else if (m_reply.error != SrvErr_None) {
        decision.status = StatusForServerError(m_reply.error);
    } else if (m_reply.command == cmd_SendInfo) {
        decision.action = ReplyDecision::Action::ReadList;
    } else if (m_reply.command == cmd_SendData) {
        decision.action = ReplyDecision::Action::ReadData;
    } else {
        decision.status = kStatusCorruptedData;
    }
    return decision;
}

std::u16string CReplyReader::FormatList(std::span<const uint8_t> payload) {
    return DecodeFormatList(payload.data(), payload.size());
}

CReplyReader::DataCheck CReplyReader::CheckData(std::span<const uint8_t> payload) const noexcept {
    const uint32_t actual = theChecksum.Compute(payload.data(), static_cast<uint32_t>(payload.size()));
    // Fewer bytes than announced are no reply, even when the checksum fits them.
    if (payload.size() != m_reply.length) return {actual, kStatusCorruptedData};
    return {actual, actual == m_reply.checksum ? kStatusNone : kStatusCorruptedData};
}
