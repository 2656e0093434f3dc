// The serving connection's request, without the socket: bytes go in, a decision comes out (wait for
// more, refuse with an error reply and perhaps end, serve cmd_GetInfo or cmd_GetData with its name,
// or end without a word). CDataSock receives straight into Space(), hands the count to Received()
// and does what the decision says; it asks Expired() when its event thread's wait times out.
//
// The decision on a request depends only on its bytes, never on how the stream was cut into
// pieces. The limits are the machine's own: a request of at most 551 bytes, a header whose length
// field promises more is refused at once; bytes after the request are read and dropped, and more
// of them than one request could hold end the connection; a request that is not whole within
// kRequestTimeMs of the accept, a peer that has not closed within kRequestTimeMs of its reply, or a
// peer that takes none of the reply's data for kSendStallMs, ends the connection.
//
// Portable; one connection's event thread uses it, so it has no lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "protocol/Message.h"
#include "protocol/TransferMessages.h"

// One trace line: a format with up to two numbers (ExTrace takes it as it is).
struct TraceNote {
    const wchar_t* format = nullptr;
    int first = 0;
    int second = 0;
    explicit operator bool() const noexcept { return format != nullptr; }
};

struct RequestDecision {
    enum class Action : uint8_t {
        Wait,     // nothing to do until more bytes come (or the time runs out)
        Refuse,   // send the error reply `error`, then end the connection if `end`
        Serve,    // handle `request`: cmd_GetInfo, or cmd_GetData for `name`
        End,      // end the connection without a reply (abortively: nothing is owed to the peer)
    };
    Action action = Action::Wait;
    uint32_t error = SrvErr_None;
    // Refuse: the parsed request whose command and sequence the error reply copies; null when the
    // request could not be parsed. Serve: the request. Points into the machine.
    const CMessage* request = nullptr;
    bool end = false;
    // Serve cmd_GetData: the requested format name, or (nameError 5) why it is unusable. The
    // coordinator's checks of the peer come first; only then is the name refused, with `note`.
    std::u16string name;
    uint32_t nameError = SrvErr_None;
    // The trace line of this decision; for a refusal of an unknown command it follows the reply.
    TraceNote note;
    bool noteAfterReply = false;
};

class CRequestAssembler {
public:
    // Far longer than a working client takes (it sends its request as soon as it is connected, and
    // gives up itself after 7 to 14 s without progress), short enough that a peer that opens
    // connections and sends nothing holds each only briefly.
    static constexpr uint64_t kRequestTimeMs = 10000;
    // A data reply's peer that takes nothing for this long has gone or never reads: a working client
    // reads as fast as the data comes and gives up itself after 7 to 14 s without a step. Without
    // it such a peer would hold the connection, its thread and the data block for good.
    static constexpr uint64_t kSendStallMs = 30000;
    // Bytes after the request: a client of this program sends none; a few are dropped, a stream of
    // them ends the connection.
    static constexpr size_t kMaxBytesAfterRequest = RequestBufferSize;

    // `now`: the time of the accept in milliseconds, on the clock that Expired() gets.
    explicit CRequestAssembler(uint64_t now) noexcept : m_deadline(now + kRequestTimeMs) {}

    // Where the next received bytes go, and how many may come.
    [[nodiscard]] std::span<uint8_t> Space() noexcept;
    // `count` bytes were received into Space(), at the time `now`.
    RequestDecision Received(size_t count, uint64_t now);
    // The request has been decided (and answered, or the connection ended).
    [[nodiscard]] bool IsAnswered() const noexcept { return m_answered; }
    // The reply's data is being sent from `now` on, and some of it went out at `now`: the peer has
    // kSendStallMs from each piece it takes to take the next (the connection ends itself after the last).
    void Sending(uint64_t now) noexcept { m_sending = true, m_deadline = now + kSendStallMs; }
    void Sent(uint64_t now) noexcept { if (m_sending) m_deadline = now + kSendStallMs; }
    // Milliseconds until Expired() ends the connection; none while nothing is due.
    [[nodiscard]] std::optional<uint64_t> TimeLeft(uint64_t now) const noexcept;
    // End (with its trace line) once the time is up, else Wait.
    RequestDecision Expired(uint64_t now) const;

private:
    RequestDecision ExamineHeader();
    RequestDecision Decide();
    RequestDecision Settle(RequestDecision decision, uint64_t now);

    uint8_t m_buffer[RequestBufferSize] = {};
    size_t m_received = 0;
    size_t m_expected = MessageHeaderSize;
    bool m_headerPending = true;
    bool m_answered = false;
    bool m_sending = false;
    size_t m_afterRequest = 0;
    std::optional<uint64_t> m_deadline;
    CMessage m_request;
};
