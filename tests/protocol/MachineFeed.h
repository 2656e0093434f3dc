// The two ends' state machines fed as the serving connection and the client feed them, the stream in
// pieces: the decisions as values, for MachinesTest.cpp and fuzz/ParserFuzz.cpp to compare across cuts.
#pragma once

#include <algorithm>
#include <cwchar>
#include <functional>
#include <tuple>
#include <vector>

#include "protocol/ReplyReader.h"
#include "protocol/RequestAssembler.h"

// Pieces of `first` bytes, then `second`, alternately (0 counts as 1).
struct Cuts {
    size_t first, second;
    size_t operator()(size_t index) const { return std::max<size_t>(1, index % 2 ? second : first); }
};

// A decision as one line: what, whom it answers, the error, the name, the trace line.
inline std::string Describe(const RequestDecision& d) {
    static const char* const names[] = {"wait", "refuse", "serve", "end"};
    std::string text = names[static_cast<int>(d.action)];
    if (d.request) text += " " + std::to_string(d.request->command) + "#" + std::to_string(d.request->sequence);
    if (d.error) text += " error " + std::to_string(d.error) + (d.end ? " end" : "");
    if (d.action == RequestDecision::Action::Serve && d.request->command == cmd_GetData)
        text += d.nameError ? " name error " + std::to_string(d.nameError) : " name " + std::string(d.name.begin(), d.name.end());
    wchar_t line[200] = {};
    if (d.note) std::swprintf(line, 200, d.note.format, d.note.first, d.note.second);
    return d.note ? text + (d.noteAfterReply ? " then: " : ": ") + std::string(line, line + std::wcslen(line)) : text;
}

// The decisions but the waits for a stream, up to one that ends the connection; `check` sees each.
inline std::vector<std::string> FeedRequest(std::span<const uint8_t> input, Cuts cuts,
                                            const std::function<void(const RequestDecision&)>& check = nullptr) {
    CRequestAssembler machine(0);
    std::vector<std::string> decisions;
    for (size_t at = 0, i = 0; at < input.size(); ++i) {
        for (size_t piece = std::min(cuts(i), input.size() - at); piece > 0;) {
            const auto space = machine.Space();
            if (space.empty()) return {"no room for the next bytes"};
            const size_t count = std::min(piece, space.size());
            std::copy_n(input.begin() + at, count, space.begin());
            at += count, piece -= count;
            const RequestDecision d = machine.Received(count, 0);
            if (d.action == RequestDecision::Action::Wait) continue;
            if (check) check(d);
            decisions.push_back(Describe(d));
            if (d.action == RequestDecision::Action::End || d.end) return decisions;
        }
    }
    return decisions;
}

// What the client did: read a List or Data, Failed, or found the stream Ended early; status; list.
using ReplyOutcome = std::tuple<char, StatusId, std::u16string>;
// The header fed in pieces (a count of 0 where the stream ends), then the payload handed over as
// the client reads it: whole, or as much as there is. `check` sees the decision and the payload.
inline ReplyOutcome ReadReply(const CMessage& request, std::span<const uint8_t> reply, Cuts cuts,
                              const std::function<void(const CReplyReader&, const ReplyDecision&,
                                                       std::span<const uint8_t>)>& check = nullptr) {
    CReplyReader reader(request);
    ReplyDecision d;
    size_t at = 0;
    for (size_t i = 0; d.action == ReplyDecision::Action::Wait; ++i) {
        const size_t count = std::min({reader.HeaderSpace().size(), reply.size() - at, cuts(i)});
        std::copy_n(reply.begin() + at, count, reader.HeaderSpace().begin());
        d = reader.HeaderReceived(count), at += count;
    }
    const auto payload = reply.subspan(at, std::min<size_t>(d.length, reply.size() - at));
    if (check) check(reader, d, payload);
    if (d.action == ReplyDecision::Action::ReadList) return {'L', kStatusNone, CReplyReader::FormatList(payload)};
    if (d.action == ReplyDecision::Action::ReadData) return {'D', reader.CheckData(payload).status, u""};
    return {d.endedEarly ? 'E' : 'F', d.status, u""};
}
