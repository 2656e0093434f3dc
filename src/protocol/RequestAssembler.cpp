// The serving connection's request assembly and checks (see RequestAssembler.h).
#include "protocol/RequestAssembler.h"

#include <algorithm>

namespace {

RequestDecision Refusal(uint32_t error, const CMessage* request, bool end, TraceNote note = {}) {
    RequestDecision decision;
    decision.action = RequestDecision::Action::Refuse;
    decision.error = error;
    decision.request = request;
    decision.end = end;
    decision.note = note;
    return decision;
}

RequestDecision Waiting(TraceNote note = {}) {
    RequestDecision decision;
    decision.note = note;
    return decision;
}

RequestDecision Ending(TraceNote note) {
    RequestDecision decision;
    decision.action = RequestDecision::Action::End;
    decision.note = note;
    return decision;
}

}  // namespace

std::span<uint8_t> CRequestAssembler::Space() noexcept {
    // After the request the buffer is scratch (the request and its name were copied out of it),
    // and no more is taken than the byte that crosses the limit: the decision is then the same
    // however the stream was cut.
    if (m_answered) return {m_buffer, std::min(RequestBufferSize, kMaxBytesAfterRequest + 1 - m_afterRequest)};
    return {m_buffer + m_received, RequestBufferSize - m_received};
}

RequestDecision CRequestAssembler::Received(size_t count, uint64_t now) {
    if (m_answered) {
        m_afterRequest += count;
        if (m_afterRequest > kMaxBytesAfterRequest)
            return Ending({L"DataSock: ReceiveFrom too much data %d", static_cast<int>(m_afterRequest)});
        return Waiting();
    }
    m_received += count;
    if (m_received < m_expected)
        return Waiting({L"DataSock: ReceiveFrom  Waiting for min data  %d of %d", static_cast<int>(m_received),
                        static_cast<int>(m_expected)});
    if (m_headerPending) {
        m_headerPending = false;
        RequestDecision refused = ExamineHeader();
        if (refused.action != RequestDecision::Action::Wait) return Settle(std::move(refused), now);
        // The event in which the header reveals its payload's length writes no line of its own.
        if (m_received < m_expected) return Waiting();
    }
    return Settle(Decide(), now);
}

// The header alone: its signature and whether the request it announces can fit.
RequestDecision CRequestAssembler::ExamineHeader() {
    m_request.Decode(m_buffer, MessageHeaderSize);
    if (!m_request.HasSignature()) return Refusal(SrvErr_Protocol, nullptr, true, {L"DataSock: Invalid message signature"});
    if (m_request.length >= RequestBufferSize) return Refusal(SrvErr_Protocol, nullptr, true);
    // A request must fit the buffer with a byte to spare: one that cannot is refused now rather
    // than after its peer has sent (or failed to send) the rest.
    const size_t whole = MessageHeaderSize + m_request.length;
    if (whole >= RequestBufferSize)
        return Refusal(SrvErr_Protocol, nullptr, true, {L"DataSock: ReceiveFrom too much data %d", static_cast<int>(whole)});
    m_expected = whole;
    return Waiting();
}

RequestDecision CRequestAssembler::Decide() {
    RequestDecision decision;
    decision.request = &m_request;
    switch (m_request.command) {
        case cmd_GetInfo:
            decision.action = RequestDecision::Action::Serve;
            return decision;
        case cmd_GetData:
            decision.action = RequestDecision::Action::Serve;
            if (static_cast<int32_t>(m_request.length) > static_cast<int32_t>(MaxFormatNameBytes)) {
                decision.nameError = SrvErr_Protocol;
                decision.note = {L"DataSock: cmd_GetData requested format str too long"};
            } else if (auto name = DecodeFormatName(m_buffer + MessageHeaderSize, m_request.length)) {
                decision.name = std::move(*name);
            } else {
                decision.nameError = SrvErr_Protocol;
                decision.note = {L"DataSock: bad incoming data format"};
            }
            return decision;
        default:
            decision = Refusal(SrvErr_BadCommand, &m_request, false, {L"Ear: Invalid command"});
            decision.noteAfterReply = true;
            return decision;
    }
}

// The request is decided: what else the batch held came after it, and the peer now has its time
// to take the reply and close (unless the connection ends here).
RequestDecision CRequestAssembler::Settle(RequestDecision decision, uint64_t now) {
    m_answered = true;
    m_afterRequest = m_received - std::min(m_received, m_expected);
    if (decision.end) m_deadline.reset();
    else m_deadline = now + kRequestTimeMs;
    return decision;
}

std::optional<uint64_t> CRequestAssembler::TimeLeft(uint64_t now) const noexcept {
    if (!m_deadline) return std::nullopt;
    return *m_deadline > now ? *m_deadline - now : 0;
}

RequestDecision CRequestAssembler::Expired(uint64_t now) const {
    if (!m_deadline || now < *m_deadline) return Waiting();
    if (m_sending) return Ending({L"DataSock: Peer took no data for %d ms", static_cast<int>(kSendStallMs)});
    if (m_answered) return Ending({L"DataSock: Peer did not close within %d ms", static_cast<int>(kRequestTimeMs)});
    return Ending({L"DataSock: Request not complete within %d ms", static_cast<int>(kRequestTimeMs)});
}
