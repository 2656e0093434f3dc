// libFuzzer targets for the readers of received bytes, one program each (PELKO_FUZZ_* picks it): in
// bounds, read back as the bytes they came from, the same decisions however the stream is cut.
#include <cstdlib>

#include "../MachineFeed.h"
#include "protocol/ByteOrder.h"
#include "protocol/Checksum.h"
#include "protocol/WhoMessage.h"

// Holds in every build type: a broken property crashes, and libFuzzer keeps the input.
#define FUZZ_CHECK(condition) ((condition) ? (void)0 : std::abort())

// A refusal of an unreadable request ends the connection; only 4 and 6 are served; a name is read
// from the request's own bytes, and a refused one had no zero unit.
static void CheckRequest(const uint8_t* name, const RequestDecision& d) {
    FUZZ_CHECK(d.action != RequestDecision::Action::Refuse || d.request || (d.end && d.error == SrvErr_Protocol));
    if (d.action != RequestDecision::Action::Serve) return;
    FUZZ_CHECK(d.request->command == cmd_GetInfo || d.request->command == cmd_GetData);
    const auto payload = EncodeTextPayload(d.name);
    if (d.request->command == cmd_GetData && !d.nameError)
        FUZZ_CHECK(payload.size() <= d.request->length && std::equal(payload.begin(), payload.end(), name));
    if (d.nameError && d.request->length <= MaxFormatNameBytes)
        for (size_t i = 0; i + 1 < d.request->length; i += 2) FUZZ_CHECK(name[i] != 0 || name[i + 1] != 0);
}

// A list writes back as it came; data passes whole and with its checksum only; a failure has a status.
static void CheckReply(std::span<const uint8_t> stream, const CReplyReader& reader, const ReplyDecision& d,
                       std::span<const uint8_t> payload) {
    if (d.action == ReplyDecision::Action::ReadList) {
        const std::u16string list = CReplyReader::FormatList(payload);
        const auto written = EncodeTextPayload(list);
        FUZZ_CHECK(2 * list.size() <= payload.size() && std::equal(written.begin(), written.end() - 2, payload.begin()));
        FUZZ_CHECK(CReplyReader::FormatList(written) == list);
    } else if (d.action == ReplyDecision::Action::ReadData) {
        FUZZ_CHECK((reader.CheckData(payload).status == kStatusNone) ==
                   (payload.size() == reader.Reply().length &&
                    theChecksum.Compute(payload.data(), uint32_t(payload.size())) == reader.Reply().checksum));
    } else {
        FUZZ_CHECK(d.action == ReplyDecision::Action::Fail && d.status != kStatusNone);
        FUZZ_CHECK(d.endedEarly == (stream.size() < MessageHeaderSize));
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
#if defined(PELKO_FUZZ_HEADER)
    CMessage header;
    const CMessage before = header;
    FUZZ_CHECK(header.Decode(data, size) == (size >= MessageHeaderSize));
    const auto bytes = header.Encode();
    FUZZ_CHECK(size < MessageHeaderSize ? header == before : std::equal(bytes.begin(), bytes.end(), data));
#elif defined(PELKO_FUZZ_WHO)
    CWhoMessage message;
    const auto before = message.Encode();
    FUZZ_CHECK(message.DecodeDatagram(data, size) == (size <= WhoMessageSize));
    const auto after = message.Encode();
    const size_t n = size <= WhoMessageSize ? size : 0;   // the bytes read over the message
    FUZZ_CHECK(std::equal(data, data + n, after.begin()) && std::equal(after.begin() + n, after.end(), before.begin() + n));
    if (const auto nickname = message.ReadNickname())
        FUZZ_CHECK(nickname->size() < NicknameUnits && CWhoMessage(nickname->c_str()).ReadNickname() == nickname);
#else
    // The first two bytes cut the rest, the stream, into pieces; whole and byte by byte agree.
    if (size < 2) return 0;
    const Cuts cuts{data[0], data[1]};
    const std::span<const uint8_t> stream(data + 2, size - 2);
#if defined(PELKO_FUZZ_REQUEST)
    const auto check = [&](const RequestDecision& d) { CheckRequest(stream.data() + MessageHeaderSize, d); };
    const auto whole = FeedRequest(stream, {size, size}, check);
    FUZZ_CHECK(FeedRequest(stream, cuts, check) == whole && FeedRequest(stream, {1, 1}, check) == whole);
    FUZZ_CHECK(std::find(whole.begin(), whole.end(), "no room for the next bytes") == whole.end());
#else
    // The request answered: by the first byte's low bit, the one the reply names or another one.
    CMessage request;
    request.sequence = stream.size() < MessageHeaderSize ? 0 : LoadLE32(stream.data() + 20) ^ (data[0] & 1);
    const auto check = [&](const auto& r, const auto& d, auto p) { CheckReply(stream, r, d, p); };
    const auto whole = ReadReply(request, stream, {size, size}, check);
    FUZZ_CHECK(ReadReply(request, stream, cuts, check) == whole && ReadReply(request, stream, {1, 1}, check) == whole);
#endif
#endif
    return 0;
}
