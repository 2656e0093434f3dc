// The two ends' state machines fed with bytes: what a serving connection decides for every request
// shape and what a client makes of every reply (names and lists included), each input cut at every
// point and byte by byte, with the same decisions; and the serving connection's clock.
#include <gtest/gtest.h>

#include "MachineFeed.h"
#include "protocol/Checksum.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A header written field by field, little-endian.
Bytes Header(uint32_t command, uint32_t length, uint32_t sequence = 0x5EC, uint32_t signature = MessageSignature,
             uint32_t error = 0, uint32_t checksum = 0) {
    Bytes bytes;
    for (uint32_t field : {signature, command, error, length, checksum, sequence})
        for (int shift = 0; shift < 32; shift += 8) bytes.push_back(uint8_t(field >> shift));
    return bytes;
}
Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
// The units of `text` and `zeros` zero bytes.
Bytes Units(std::u16string_view text, size_t zeros = 2) {
    Bytes bytes = EncodeTextPayload(text);
    bytes.resize(bytes.size() - 2 + zeros);
    return bytes;
}
Bytes GetData(std::u16string_view name) { return Header(cmd_GetData, TextPayloadLength(name)) + EncodeTextPayload(name); }

TEST(RequestMachine, EveryRequestShapeGetsOneDecisionHoweverItIsCut) {
    const std::u16string name255(255, u'B');
    const std::string tooLong = " name error 5: DataSock: cmd_GetData requested format str too long",
                      badName = " name error 5: DataSock: bad incoming data format", unparsed = "refuse error 5 end",
                      tooMuch = ": DataSock: ReceiveFrom too much data ";
    const struct { const char* what; Bytes input; std::vector<std::string> decisions; } rows[] = {
        {"format list", Header(cmd_GetInfo, 0), {"serve 4#1516"}},
        {"format", GetData(u"CF_TEXT"), {"serve 6#1516 name CF_TEXT"}},
        {"longest name", GetData(name255), {"serve 6#1516 name " + std::string(255, 'B')}},
        {"name of 513 bytes", Header(cmd_GetData, 513) + Units(name255, 3), {"serve 6#1516" + tooLong}},
        {"largest request", Header(cmd_GetData, 527) + Units(name255, 17), {"serve 6#1516" + tooLong}},
        {"no terminator", Header(cmd_GetData, 510) + Units(name255, 0), {"serve 6#1516" + badName}},
        {"odd length", Header(cmd_GetData, 3) + Bytes{'A', 0, 0}, {"serve 6#1516" + badName}},
        {"no name", Header(cmd_GetData, 0), {"serve 6#1516" + badName}},
        {"zeros across units", Header(cmd_GetData, 4) + Bytes{'A', 0, 0, 'B'}, {"serve 6#1516" + badName}},
        {"text after the name", Header(cmd_GetData, 7) + Bytes{'A', 0, 0, 0, 'B', 0, 0xFF}, {"serve 6#1516 name A"}},
        {"length 528", Header(cmd_GetData, 528) + Bytes(528, 0), {unparsed + tooMuch + "552"}},
        {"length 552", Header(cmd_GetData, 552), {unparsed}},
        {"length 2^32 - 1", Header(cmd_GetData, 0xFFFFFFFF), {unparsed}},
        {"bad signature", Header(cmd_GetInfo, 0, 1, 0x12345679) + Bytes(600, 0x41),
         {unparsed + ": DataSock: Invalid message signature"}},
        {"a reply", Header(cmd_SendInfo, 0), {"refuse 5#1516 error 6 then: Ear: Invalid command"}},
        {"command 0", Header(0, 4) + Bytes(4, 0), {"refuse 0#1516 error 6 then: Ear: Invalid command"}},
        {"bytes after it", Header(cmd_GetInfo, 0) + Bytes(RequestBufferSize, 0x41), {"serve 4#1516"}},
        {"too many after it", Header(cmd_GetInfo, 0) + Bytes(600, 0x41), {"serve 4#1516", "end" + tooMuch + "553"}},
        {"too many after an error", Header(cmd_SendData, 2) + Bytes(2 + 553, 0),
         {"refuse 7#1516 error 6 then: Ear: Invalid command", "end" + tooMuch + "553"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(FeedRequest(row.input, {1, 1}), row.decisions);
        for (size_t cut = 1; cut <= row.input.size(); ++cut)   // the last: whole
            ASSERT_EQ(FeedRequest(row.input, {cut, row.input.size()}), row.decisions) << "cut at " << cut;
    }
}

// The time runs from the accept, from the reply on for the peer to close, and from each piece of a
// data reply the peer takes. Each incomplete read is traced, but for the one in which the header
// reveals the payload's length.
TEST(RequestMachine, ARequestAndThePeersCloseHaveTheirTime) {
    constexpr uint64_t limit = CRequestAssembler::kRequestTimeMs;
    const Bytes request = GetData(u"CF_TEXT");
    CRequestAssembler machine(1000);
    size_t at = 0;
    const auto feed = [&](size_t count, uint64_t now) {
        std::copy_n(request.begin() + std::exchange(at, at + count), count, machine.Space().begin());
        return Describe(machine.Received(count, now));
    };
    EXPECT_EQ(feed(10, 1000), "wait: DataSock: ReceiveFrom  Waiting for min data  10 of 24");
    EXPECT_EQ(feed(14, 5000), "wait");
    EXPECT_EQ(feed(5, 10000), "wait: DataSock: ReceiveFrom  Waiting for min data  29 of 40");
    EXPECT_EQ(machine.TimeLeft(10000), limit - 9000);   // bytes that trickle in do not extend it
    EXPECT_EQ(Describe(machine.Expired(1000 + limit - 1)), "wait");
    EXPECT_EQ(Describe(machine.Expired(1000 + limit)), "end: DataSock: Request not complete within 10000 ms");
    EXPECT_EQ(feed(11, 10500), "serve 6#1516 name CF_TEXT");
    EXPECT_EQ(machine.TimeLeft(10500), limit);
    EXPECT_EQ(Describe(machine.Expired(10500 + limit - 1)), "wait");
    EXPECT_EQ(Describe(machine.Expired(10500 + limit)), "end: DataSock: Peer did not close within 10000 ms");
    machine.Sending(11000);   // data on its way: each piece the peer takes gives it the time again
    machine.Sent(50000);
    constexpr uint64_t stall = CRequestAssembler::kSendStallMs;
    EXPECT_EQ(machine.TimeLeft(50000), stall);
    EXPECT_EQ(Describe(machine.Expired(50000 + stall - 1)), "wait");
    EXPECT_EQ(Describe(machine.Expired(50000 + stall)), "end: DataSock: Peer took no data for 30000 ms");
}

TEST(ReplyMachine, EveryReplyShapeGetsOneOutcomeHoweverItsHeaderIsCut) {
    const CMessage request;
    const uint32_t seq = request.sequence, abc = theChecksum.Compute("abc", 3), corrupt = kStatusCorruptedData;
    const struct { const char* what; Bytes reply; ReplyOutcome outcome; } rows[] = {
        {"format list", Header(cmd_SendInfo, 8, seq) + Units(u"A/B", 0), {'L', kStatusNone, u"A/B"}},
        {"empty list", Header(cmd_SendInfo, 2, seq) + Bytes{0, 0}, {'L', kStatusNone, u""}},
        {"list beyond ASCII, text after it", Header(cmd_SendInfo, 12, seq) + Units(u"\u00C4/\U0001F600") + Bytes{'B', 0},
         {'L', kStatusNone, u"\u00C4/\U0001F600"}},
        {"no end, odd byte", Header(cmd_SendInfo, 5, seq) + Bytes{'A', 0, 0, 'B', 'C'}, {'L', kStatusNone, u"A\u4200"}},
        {"data", Header(cmd_SendData, 3, seq, MessageSignature, 0, abc) + Bytes{'a', 'b', 'c'}, {'D', kStatusNone, u""}},
        {"other data", Header(cmd_SendData, 3, seq, MessageSignature, 0, abc) + Bytes{'a', 'b', 'd'}, {'D', corrupt, u""}},
        {"data cut short", Header(cmd_SendData, 4, seq, MessageSignature, 0, abc) + Bytes{'a', 'b', 'c'}, {'D', corrupt, u""}},
        {"another sequence", Header(cmd_SendInfo, 2, seq + 1) + Bytes{0, 0}, {'F', corrupt, u""}},
        {"big-endian signature", Header(cmd_SendInfo, 2, seq, 0x78563412) + Bytes{0, 0}, {'F', corrupt, u""}},
        {"a request", Header(cmd_GetInfo, 0, seq), {'F', corrupt, u""}},
        {"busy", Header(cmd_GetData, 0, seq, MessageSignature, SrvErr_Busy), {'F', 106, u""}},
        {"unknown command, any command", Header(99, 0, seq, MessageSignature, SrvErr_BadCommand), {'F', 126, u""}},
        {"error 9", Header(cmd_SendData, 0, seq, MessageSignature, 9), {'F', 112, u""}},
        {"error to an unread request", Header(0, 0, seq - 1, MessageSignature, SrvErr_Protocol), {'F', corrupt, u""}},
        {"closed at once", {}, {'E', kStatusNetworkError, u""}},
        {"closed within the header", Bytes(23, 0x78), {'E', kStatusNetworkError, u""}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(ReadReply(request, row.reply, {1, 1}), row.outcome);
        for (size_t cut = 1; cut <= MessageHeaderSize; ++cut)   // the last: whole
            EXPECT_EQ(ReadReply(request, row.reply, {cut, MessageHeaderSize}), row.outcome) << "cut at " << cut;
    }
}

}  // namespace
