// libFuzzer targets for the readers of received bytes, one program each (PELKO_FUZZ_* picks the
// reader): never out of bounds, and what was read writes back as the bytes it came from. The two
// ends' state machines (with the format names and lists they read): the same decisions however the
// stream is cut.
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "protocol/Checksum.h"
#include "protocol/ReplyReader.h"
#include "protocol/RequestAssembler.h"
#include "protocol/TransferMessages.h"
#include "protocol/WhoMessage.h"

// Holds in every build type: a broken property crashes, and libFuzzer keeps the input.
#define FUZZ_CHECK(condition) ((condition) ? (void)0 : std::abort())

namespace {

// The stream cut into pieces of `first` bytes, then `second`, alternately (0 counts as 1).
struct Cuts {
    size_t first, second;
    size_t operator()(size_t index) const { return std::max<size_t>(1, index % 2 ? second : first); }
};

// Every decision but the waits, as comparable text; a serving connection stops at its end.
std::vector<std::u16string> FeedRequest(const uint8_t* data, size_t size, Cuts cuts) {
    CRequestAssembler machine(0);
    std::vector<std::u16string> decisions;
    bool ended = false;
    for (size_t at = 0, i = 0, piece = 0; at < size && !ended; piece = piece ? piece : std::min(cuts(i++), size - at)) {
        if (piece == 0) continue;
        const auto space = machine.Space();
        FUZZ_CHECK(!space.empty());
        const size_t count = std::min(piece, space.size());
        std::copy_n(data + at, count, space.begin());
        at += count, piece -= count;
        const RequestDecision d = machine.Received(count, 0);
        if (d.action == RequestDecision::Action::Wait) continue;
        // A refusal of an unreadable request ends the connection; only 4 and 6 are served; a name
        // is read from the request's own bytes.
        FUZZ_CHECK(d.action != RequestDecision::Action::Refuse || d.request || (d.end && d.error == SrvErr_Protocol));
        if (d.action == RequestDecision::Action::Serve) {
            FUZZ_CHECK(d.request->command == cmd_GetInfo || d.request->command == cmd_GetData);
            const auto payload = EncodeTextPayload(d.name);
            const uint8_t* name = data + MessageHeaderSize;
            if (d.request->command == cmd_GetData && !d.nameError)   // the name writes back as it came
                FUZZ_CHECK(payload.size() <= d.request->length && std::equal(payload.begin(), payload.end(), name));
            if (d.nameError && d.request->length <= MaxFormatNameBytes)   // refused: it had no zero unit
                for (size_t i = 0; i + 1 < d.request->length; i += 2) FUZZ_CHECK(name[i] != 0 || name[i + 1] != 0);
        }
        std::u16string text;
        for (uint32_t n : {uint32_t(d.action), d.error, d.request ? d.request->command : 99u, d.request ? d.request->sequence : 0u,
                           uint32_t(d.end), d.nameError, uint32_t(d.note.first), uint32_t(d.note.second)})
            text += {char16_t(n & 0xFFFF), char16_t(n >> 16)};
        text += d.name;
        for (const wchar_t* c = d.note.format; c && *c; ++c) text += char16_t(*c);
        decisions.push_back(text);
        ended = d.action == RequestDecision::Action::End || d.end;
        FUZZ_CHECK(!ended || !machine.TimeLeft(0));
    }
    return decisions;
}

// What a client makes of a reply: its status and format list; the header fed in the given pieces.
std::u16string ReadReply(const uint8_t* data, size_t size, Cuts cuts) {
    CMessage request;
    request.sequence = 0x01020304;
    CReplyReader reader(request);
    ReplyDecision d;
    size_t at = 0;
    for (size_t i = 0; d.action == ReplyDecision::Action::Wait; ++i) {
        const auto space = reader.HeaderSpace();
        FUZZ_CHECK(!space.empty());
        const size_t count = std::min({space.size(), size - at, cuts(i)});
        std::copy_n(data + at, count, space.begin());
        at += count;
        d = reader.HeaderReceived(count);
    }
    const size_t length = std::min<size_t>(d.length, size - at);
    const std::span<const uint8_t> payload(data + at, length);
    std::u16string outcome(1, char16_t(d.status));
    if (d.action == ReplyDecision::Action::ReadList) {
        const std::u16string list = CReplyReader::FormatList(payload);
        const auto written = EncodeTextPayload(list);
        FUZZ_CHECK(2 * list.size() <= payload.size() && std::equal(written.begin(), written.end() - 2, payload.begin()));
        FUZZ_CHECK(CReplyReader::FormatList(written) == list);
        outcome += list;
    } else if (d.action == ReplyDecision::Action::ReadData) {
        const auto check = reader.CheckData(payload);
        FUZZ_CHECK(check.actual == theChecksum.Compute(payload.data(), uint32_t(payload.size())));
        FUZZ_CHECK((check.status == kStatusNone) ==
                   (payload.size() == reader.Reply().length && check.actual == reader.Reply().checksum));
        outcome += char16_t(check.status);
    } else {
        FUZZ_CHECK(d.action == ReplyDecision::Action::Fail && d.status != kStatusNone);
        FUZZ_CHECK(d.endedEarly == (at < MessageHeaderSize));
    }
    return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
#if defined(PELKO_FUZZ_HEADER)
    CMessage header;
    const CMessage before = header;
    FUZZ_CHECK(header.Decode(data, size) == (size >= MessageHeaderSize));
    if (size < MessageHeaderSize) FUZZ_CHECK(header == before);
    const auto bytes = header.Encode();
    FUZZ_CHECK(size < MessageHeaderSize || std::equal(bytes.begin(), bytes.end(), data));
#elif defined(PELKO_FUZZ_WHO)
    CWhoMessage message;
    const auto prepared = message.Encode();
    FUZZ_CHECK(message.DecodeDatagram(data, size) == (size <= WhoMessageSize));
    const auto image = message.Encode();
    const size_t read = size <= WhoMessageSize ? size : 0;
    FUZZ_CHECK(std::equal(data, data + read, image.begin()));
    FUZZ_CHECK(std::equal(image.begin() + read, image.end(), prepared.begin() + read));
    if (const auto nickname = message.ReadNickname())
        FUZZ_CHECK(nickname->size() < NicknameUnits && CWhoMessage(nickname->c_str()).ReadNickname() == nickname);
#elif defined(PELKO_FUZZ_REQUEST) || defined(PELKO_FUZZ_REPLY)
    // The first two bytes cut the rest, the stream, into pieces; whole and byte by byte agree.
    if (size < 2) return 0;
    const Cuts cuts{data[0], data[1]};
#if defined(PELKO_FUZZ_REQUEST)
    const auto whole = FeedRequest(data + 2, size - 2, {size, size});
    FUZZ_CHECK(FeedRequest(data + 2, size - 2, cuts) == whole && FeedRequest(data + 2, size - 2, {1, 1}) == whole);
#else
    const auto whole = ReadReply(data + 2, size - 2, {size, size});
    FUZZ_CHECK(ReadReply(data + 2, size - 2, cuts) == whole && ReadReply(data + 2, size - 2, {1, 1}) == whole);
#endif
#endif
    return 0;
}
