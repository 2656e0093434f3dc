// The clipboard transfer messages: requests and replies as bytes, error replies, and reading
// received text payloads of any shape.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "protocol/TransferMessages.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Concat(const CMessage& header, const Bytes& payload) {
    Bytes all(MessageHeaderSize + payload.size());
    header.Encode(all.data());
    std::copy(payload.begin(), payload.end(), all.begin() + MessageHeaderSize);
    return all;
}

// A request as the client prepared it, and as the server received it.
CMessage ReceivedGetData(uint32_t sequence) {
    CMessage request;
    PrepareGetData(request, u"CF_TEXT");
    request.sequence = sequence;
    return request;
}

}  // namespace

TEST(TextPayload, IsLittleEndianUnitsAndOneZeroUnit) {
    EXPECT_EQ(TextPayloadLength(u""), 2u);
    EXPECT_EQ(TextPayloadLength(u"CF_TEXT"), 16u);
    EXPECT_EQ(EncodeTextPayload(u""), (Bytes{0, 0}));
    EXPECT_EQ(EncodeTextPayload(u"A\u20AC\U0001F600"),
              (Bytes{0x41, 0x00, 0xAC, 0x20, 0x3D, 0xD8, 0x00, 0xDE, 0x00, 0x00}));
}

TEST(GetInfo, RequestIsAHeaderWithLengthZero) {
    CMessage header;
    header.checksum = 0;
    const uint32_t before = header.sequence;
    PrepareGetInfo(header);
    EXPECT_EQ(header.command, static_cast<uint32_t>(cmd_GetInfo));
    EXPECT_EQ(header.length, 0u);
    EXPECT_EQ(header.sequence, before + 1);
}

TEST(GetData, RequestForCfTextIsByteExact) {
    CMessage header;
    const Bytes payload = PrepareGetData(header, u"CF_TEXT");
    EXPECT_EQ(header.command, static_cast<uint32_t>(cmd_GetData));
    EXPECT_EQ(header.length, 16u);
    EXPECT_EQ(payload.size(), 16u);
    header.sequence = 9;
    const Bytes expected = {0x78, 0x56, 0x34, 0x12, 0x06, 0, 0, 0, 0, 0, 0, 0, 0x10, 0, 0, 0,
                            0, 0, 0, 0, 0x09, 0, 0, 0,
                            'C', 0, 'F', 0, '_', 0, 'T', 0, 'E', 0, 'X', 0, 'T', 0, 0, 0};
    EXPECT_EQ(Concat(header, payload), expected);
}

TEST(SendInfo, EmptyClipboardGivesLengthTwo) {
    CMessage request;
    PrepareGetInfo(request);
    const Bytes payload = PrepareSendInfo(request, u"");
    EXPECT_EQ(request.command, static_cast<uint32_t>(cmd_SendInfo));
    EXPECT_EQ(request.length, 2u);
    EXPECT_EQ(payload, (Bytes{0, 0}));
}

TEST(SendInfo, ReplyKeepsTheRequestsSequenceErrorAndChecksum) {
    CMessage request;
    PrepareGetInfo(request);
    request.sequence = 0xDEADBEEF;
    const Bytes payload = PrepareSendInfo(request, u"CF_TEXT/CF_UNICODETEXT");
    EXPECT_EQ(request.length, 2u * 22 + 2);
    EXPECT_EQ(payload.size(), request.length);
    EXPECT_EQ(request.sequence, 0xDEADBEEFu);
    EXPECT_EQ(request.error, 0u);
    EXPECT_EQ(request.checksum, 0u);
    EXPECT_EQ(DecodeFormatList(payload.data(), payload.size()), u"CF_TEXT/CF_UNICODETEXT");
}

TEST(SendData, ReplyToSequenceFiveWithAbcIsByteExact) {
    CMessage reply = ReceivedGetData(5);
    const Bytes data = {0x61, 0x62, 0x63};
    PrepareSendData(reply, data.data(), static_cast<uint32_t>(data.size()));
    const Bytes expected = {0x78, 0x56, 0x34, 0x12, 0x07, 0, 0, 0, 0, 0, 0, 0, 0x03, 0, 0, 0,
                            0x2F, 0x67, 0x9A, 0x35, 0x05, 0, 0, 0, 0x61, 0x62, 0x63};
    EXPECT_EQ(Concat(reply, data), expected);
}

TEST(SendData, ReceivedDataIsCheckedAgainstLengthAndChecksum) {
    CMessage reply = ReceivedGetData(5);
    Bytes data = {0x61, 0x62, 0x63, 0x64};
    PrepareSendData(reply, data.data(), static_cast<uint32_t>(data.size()));
    EXPECT_TRUE(IsDataIntact(reply, data.data(), data.size()));
    EXPECT_FALSE(IsDataIntact(reply, data.data(), data.size() - 1));   // fewer bytes
    data[2] ^= 0x01;
    EXPECT_FALSE(IsDataIntact(reply, data.data(), data.size()));       // a changed byte
    data[2] ^= 0x01;
    reply.checksum ^= 0x80000000;
    EXPECT_FALSE(IsDataIntact(reply, data.data(), data.size()));       // a changed checksum
}

TEST(SendData, EmptyBlockHasTheChecksumOfNoBytes) {
    CMessage reply = ReceivedGetData(1);
    PrepareSendData(reply, nullptr, 0);
    EXPECT_EQ(reply.length, 0u);
    EXPECT_EQ(reply.checksum, 0xFFFFFFFFu);
    EXPECT_TRUE(IsDataIntact(reply, nullptr, 0));
}

TEST(ErrorReply, ToAParsedRequestCopiesCommandAndSequence) {
    CMessage request = ReceivedGetData(77);
    request.checksum = 0x1234;   // the server does not look at a request's checksum
    const CMessage reply = MakeErrorReply(SrvErr_Rejected, &request);
    EXPECT_EQ(reply.command, static_cast<uint32_t>(cmd_GetData));
    EXPECT_EQ(reply.sequence, 77u);
    EXPECT_EQ(reply.error, static_cast<uint32_t>(SrvErr_Rejected));
    EXPECT_EQ(reply.length, 0u);
    EXPECT_EQ(reply.checksum, 0u);
    const std::array<uint8_t, 24> expected = {0x78, 0x56, 0x34, 0x12, 0x06, 0, 0, 0, 0x02, 0, 0, 0,
                                              0, 0, 0, 0, 0, 0, 0, 0, 77, 0, 0, 0};
    EXPECT_EQ(reply.Encode(), expected);
}

TEST(ErrorReply, CarriesTheCommandTheRequestHeaderHoldsAtThatMoment) {
    // The server writes the reply's command into the request before it builds the reply.
    CMessage request = ReceivedGetData(8);
    request.command = cmd_SendData;
    const CMessage reply = MakeErrorReply(SrvErr_NoData, &request);
    EXPECT_EQ(reply.command, static_cast<uint32_t>(cmd_SendData));
    EXPECT_EQ(reply.sequence, 8u);
}

TEST(ErrorReply, ToAnUnparsedRequestMatchesNoRequest) {
    CMessage request;
    PrepareGetInfo(request);
    const CMessage reply = MakeErrorReply(SrvErr_Protocol, nullptr);
    EXPECT_EQ(reply.command, 0u);
    EXPECT_EQ(reply.error, static_cast<uint32_t>(SrvErr_Protocol));
    EXPECT_EQ(reply.sequence, request.sequence + 1);   // fresh
    EXPECT_FALSE(reply.IsReplyTo(request));
}

TEST(FormatNameDecode, ReadsTheNameUpToItsTerminator) {
    const Bytes payload = EncodeTextPayload(u"CF_TEXT");
    EXPECT_EQ(DecodeFormatName(payload.data(), payload.size()), std::optional<std::u16string>(u"CF_TEXT"));
    const Bytes withTail = {'A', 0, 0, 0, 'B', 0, 0xFF};
    EXPECT_EQ(DecodeFormatName(withTail.data(), withTail.size()), std::optional<std::u16string>(u"A"));
    const Bytes empty = {0, 0};
    EXPECT_EQ(DecodeFormatName(empty.data(), empty.size()), std::optional<std::u16string>(u""));
}

TEST(FormatNameDecode, NameWithoutTerminatorIsRefused) {
    const Bytes unterminated = {'C', 0, 'F', 0};
    EXPECT_EQ(DecodeFormatName(unterminated.data(), unterminated.size()), std::nullopt);
    // A zero byte that is not a whole zero unit is no terminator.
    const Bytes halfUnit = {'A', 0, 0};
    EXPECT_EQ(DecodeFormatName(halfUnit.data(), halfUnit.size()), std::nullopt);
    const Bytes oddZeros = {'A', 0x00, 0x00, 'B'};   // units 0x0041, 0x4200: no zero unit
    EXPECT_EQ(DecodeFormatName(oddZeros.data(), oddZeros.size()), std::nullopt);
    EXPECT_EQ(DecodeFormatName(nullptr, 0), std::nullopt);
    EXPECT_EQ(DecodeFormatName(unterminated.data(), 0), std::nullopt);
    EXPECT_EQ(DecodeFormatName(nullptr, 16), std::nullopt);
}

TEST(FormatNameDecode, LongestRequestableNameRoundTrips) {
    const std::u16string name(255, u'\uABCD');
    const Bytes payload = EncodeTextPayload(name);
    ASSERT_EQ(payload.size(), MaxFormatNameBytes);
    EXPECT_EQ(DecodeFormatName(payload.data(), payload.size()), std::optional<std::u16string>(name));
    // Cut one byte short, the terminator is gone.
    EXPECT_EQ(DecodeFormatName(payload.data(), payload.size() - 1), std::nullopt);
}

TEST(FormatListDecode, EndsAtTheFirstZeroUnitOrAtTheLastWholeUnit) {
    const Bytes list = EncodeTextPayload(u"A/B");
    EXPECT_EQ(DecodeFormatList(list.data(), list.size()), u"A/B");
    EXPECT_EQ(DecodeFormatList(list.data(), 4), u"A/");          // no terminator received
    EXPECT_EQ(DecodeFormatList(list.data(), 5), u"A/");          // odd last byte dropped
    EXPECT_EQ(DecodeFormatList(list.data(), 1), u"");
    EXPECT_EQ(DecodeFormatList(nullptr, 0), u"");
    EXPECT_EQ(DecodeFormatList(nullptr, 8), u"");
    const Bytes embedded = {'A', 0, 0, 0, 'B', 0, 0, 0};
    EXPECT_EQ(DecodeFormatList(embedded.data(), embedded.size()), u"A");
}

TEST(FormatListDecode, KeepsUnitsAboveTheAsciiRange) {
    const std::u16string names = u"\u00C4rger/\U0001F600/\uFFFE";
    const Bytes payload = EncodeTextPayload(names);
    EXPECT_EQ(DecodeFormatList(payload.data(), payload.size()), names);
}
