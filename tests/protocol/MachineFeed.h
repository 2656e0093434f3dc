// Feeding the two ends' state machines as the serving connection and the client do: the stream in
// pieces, each read taking no more than the machine has room for. The decisions come back as
// comparable values, so that a test or a fuzz target can require that every cut gives the same.
// Shared by the native tests (MachinesTest.cpp) and the fuzz targets (fuzz/ParserFuzz.cpp).
#pragma once

#include <algorithm>
#include <cwchar>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "protocol/ReplyReader.h"
#include "protocol/RequestAssembler.h"

// Pieces of `first` bytes, then `second`, alternately (0 counts as 1).
struct Cuts {
    size_t first, second;
    size_t operator()(size_t index) const { return std::max<size_t>(1, index % 2 ? second : first); }
};

inline std::string Narrow(const TraceNote& note) {
    wchar_t line[200] = {};
    if (note) std::swprintf(line, 200, note.format, note.first, note.second);
    std::string text;
    for (const wchar_t* c = line; *c; ++c) text += static_cast<char>(*c);
    return text;
}

// A decision as one line: what, whom it answers, the error, the name, the trace line.
inline std::string Describe(const RequestDecision& d) {
    static const char* const names[] = {"wait", "refuse", "serve", "end"};
    std::string text = names[static_cast<int>(d.action)];
    if (d.request) text += " " + std::to_string(d.request->command) + "#" + std::to_string(d.request->sequence);
    if (d.error) text += " error " + std::to_string(d.error) + (d.end ? " end" : "");
    if (d.action == RequestDecision::Action::Serve && d.request->command == cmd_GetData) {
        text += d.nameError ? " name error " + std::to_string(d.nameError) : " name ";
        for (char16_t unit : d.name) text += unit < 0x80 ? static_cast<char>(unit) : '?';
    }
    if (d.note) text += std::string(d.noteAfterReply ? " then: " : ": ") + Narrow(d.note);
    return text;
}

// The decisions for a stream (the waits only when asked), up to one that ends the connection;
// `check` sees each decision that is no wait.
inline std::vector<std::string> FeedRequest(std::span<const uint8_t> input, Cuts cuts, bool withWaits = false,
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
            if (d.action == RequestDecision::Action::Wait && !withWaits) continue;
            if (d.action != RequestDecision::Action::Wait && check) check(d);
            decisions.push_back(Describe(d));
            if (d.action == RequestDecision::Action::End || d.end) return decisions;
        }
    }
    return decisions;
}

// What the client did with a reply: read a List or Data, Failed, or found the stream Ended early;
// the status; the format list.
struct ReplyOutcome {
    char what;
    StatusId status;
    std::u16string list;
    bool operator==(const ReplyOutcome&) const = default;
};

// The header fed in pieces (a count of 0 where the stream ends), then the payload handed over as
// the client reads it: whole, or as much as there is. `check` sees the decision and the payload.
using ReplyCheck = std::function<void(const CReplyReader&, const ReplyDecision&, std::span<const uint8_t>)>;
inline ReplyOutcome ReadReply(const CMessage& request, std::span<const uint8_t> reply, Cuts cuts,
                              const ReplyCheck& check = nullptr) {
    CReplyReader reader(request);
    ReplyDecision d;
    size_t at = 0;
    for (size_t i = 0; d.action == ReplyDecision::Action::Wait; ++i) {
        const auto space = reader.HeaderSpace();
        const size_t count = std::min({space.size(), reply.size() - at, cuts(i)});
        std::copy_n(reply.begin() + at, count, space.begin());
        at += count;
        d = reader.HeaderReceived(count);
    }
    const auto payload = reply.subspan(at, std::min<size_t>(d.length, reply.size() - at));
    if (check) check(reader, d, payload);
    switch (d.action) {
        case ReplyDecision::Action::ReadList: return {'L', kStatusNone, CReplyReader::FormatList(payload)};
        case ReplyDecision::Action::ReadData: return {'D', reader.CheckData(payload).status};
        default: return {d.endedEarly ? 'E' : 'F', d.status};
    }
}
