// The two ends' state machines fed with bytes: what a serving connection decides for every request
// shape and what a client makes of every reply (the format names and lists they read included),
// each input fed whole, cut at every point, and byte by byte: the decisions must not depend on how
// the stream was cut. And the serving connection's
// clock: a request must be whole, and the peer gone after its reply, within the machine's time.
#include <gtest/gtest.h>

#include "MachineFeed.h"
#include "protocol/Checksum.h"

// How GoogleTest shows a reply outcome (found beside ReplyOutcome, outside this file's namespace).
std::ostream& operator<<(std::ostream& out, const ReplyOutcome& o) {
    return out << o.what << " " << o.status << " [" << std::string(o.list.begin(), o.list.end()) << "]";
}

namespace {

using Bytes = std::vector<uint8_t>;
using Action = RequestDecision::Action;

Bytes Header(uint32_t command, uint32_t length, uint32_t sequence = 0x5EC, uint32_t signature = MessageSignature,
             uint32_t error = 0, uint32_t checksum = 0) {
    CMessage header;
    header.signature = signature;
    header.command = command;
    header.error = error;
    header.length = length;
    header.checksum = checksum;
    header.sequence = sequence;
    const auto bytes = header.Encode();
    return {bytes.begin(), bytes.end()};
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
    const std::string tooLong = " name error 5: DataSock: cmd_GetData requested format str too long";
    const std::string badName = " name error 5: DataSock: bad incoming data format";
    const std::string unparsed = "refuse error 5 end";
    // A request's bytes and its decisions, apart from the lines of waiting.
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
        {"length 528", Header(cmd_GetData, 528) + Bytes(528, 0), {unparsed + ": DataSock: ReceiveFrom too much data 552"}},
        {"length 552", Header(cmd_GetData, 552), {unparsed}},
        {"length 2^32 - 1", Header(cmd_GetData, 0xFFFFFFFF), {unparsed}},
        {"bad signature", Header(cmd_GetInfo, 0, 1, 0x12345679) + Bytes(600, 0x41), {unparsed + ": DataSock: Invalid message signature"}},
        {"a reply", Header(cmd_SendInfo, 0), {"refuse 5#1516 error 6 then: Ear: Invalid command"}},
        {"command 0", Header(0, 4) + Bytes(4, 0), {"refuse 0#1516 error 6 then: Ear: Invalid command"}},
        {"bytes after it", Header(cmd_GetInfo, 0) + Bytes(RequestBufferSize, 0x41), {"serve 4#1516"}},
        {"too many after it", Header(cmd_GetInfo, 0) + Bytes(600, 0x41),
         {"serve 4#1516", "end: DataSock: ReceiveFrom too much data 553"}},
        {"too many after an error", Header(cmd_SendData, 2) + Bytes(2 + 553, 0),
         {"refuse 7#1516 error 6 then: Ear: Invalid command", "end: DataSock: ReceiveFrom too much data 553"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(FeedRequest(row.input, {row.input.size(), row.input.size()}), row.decisions);
        EXPECT_EQ(FeedRequest(row.input, {1, 1}), row.decisions);
        for (size_t cut = 1; cut < row.input.size(); ++cut)
            ASSERT_EQ(FeedRequest(row.input, {cut, row.input.size()}), row.decisions) << "cut at " << cut;
    }
}

TEST(RequestMachine, EveryIncompleteReadIsTracedExceptTheOneThatRevealsTheLength) {
    std::vector<std::string> expected;
    for (int i = 1; i < 24; ++i) expected.push_back("wait: DataSock: ReceiveFrom  Waiting for min data  " + std::to_string(i) + " of 24");
    expected.push_back("wait");
    for (int i = 25; i < 40; ++i) expected.push_back("wait: DataSock: ReceiveFrom  Waiting for min data  " + std::to_string(i) + " of 40");
    expected.push_back("serve 6#1516 name CF_TEXT");
    EXPECT_EQ(FeedRequest(GetData(u"CF_TEXT"), {1, 1}, true), expected);
    EXPECT_EQ(FeedRequest(GetData(u"CF_TEXT"), {30, 10}, true),
              (std::vector<std::string>{"wait", "serve 6#1516 name CF_TEXT"}));
}

TEST(RequestMachine, ARequestAndThePeersCloseHaveTheirTime) {
    constexpr uint64_t accepted = 1000, limit = CRequestAssembler::kRequestTimeMs;
    CRequestAssembler machine(accepted);
    const Bytes request = Header(cmd_GetInfo, 0);
    std::copy_n(request.begin(), 10, machine.Space().begin());
    EXPECT_EQ(Describe(machine.Received(10, accepted + 9000)), "wait: DataSock: ReceiveFrom  Waiting for min data  10 of 24");
    EXPECT_EQ(machine.TimeLeft(accepted + 9000), limit - 9000);   // bytes that trickle in do not extend it
    EXPECT_EQ(Describe(machine.Expired(accepted + limit - 1)), "wait");
    EXPECT_EQ(Describe(machine.Expired(accepted + limit)), "end: DataSock: Request not complete within 10000 ms");

    CRequestAssembler answered(accepted);
    std::copy(request.begin(), request.end(), answered.Space().begin());
    EXPECT_EQ(Describe(answered.Received(24, 5000)), "serve 4#1516");
    EXPECT_EQ(answered.TimeLeft(5000), limit);   // from the reply on, for the peer to close
    EXPECT_EQ(Describe(answered.Expired(5000 + limit - 1)), "wait");
    EXPECT_EQ(Describe(answered.Expired(5000 + limit)), "end: DataSock: Peer did not close within 10000 ms");
    answered.Sending();   // data on its way: the connection ends itself
    EXPECT_EQ(answered.TimeLeft(5000), std::nullopt);
    EXPECT_EQ(Describe(answered.Expired(UINT64_MAX)), "wait");

    CRequestAssembler refused(accepted);
    std::fill_n(refused.Space().begin(), 24, 0);
    EXPECT_TRUE(refused.Received(24, 2000).end);
    EXPECT_EQ(refused.TimeLeft(2000), std::nullopt);
}

// --- the client's reply

// What the client did: read a List or Data, Failed, or found the stream Ended early; the status.
TEST(ReplyMachine, EveryReplyShapeGetsOneOutcomeHoweverItsHeaderIsCut) {
    CMessage request;
    request.SetRequest(cmd_GetData, 16);
    const uint32_t seq = request.sequence, abc = theChecksum.Compute("abc", 3);
    Bytes cutShort = Header(cmd_SendInfo, 2, seq);
    cutShort.pop_back();
    const struct { const char* what; Bytes reply; ReplyOutcome outcome; } rows[] = {
        {"format list", Header(cmd_SendInfo, 8, seq) + Units(u"A/B", 0), {'L', kStatusNone, u"A/B"}},
        {"empty list", Header(cmd_SendInfo, 2, seq) + Bytes{0, 0}, {'L', kStatusNone, u""}},
        {"list beyond ASCII, text after it", Header(cmd_SendInfo, 12, seq) + Units(u"\u00C4/\U0001F600") + Bytes{'B', 0},
         {'L', kStatusNone, u"\u00C4/\U0001F600"}},
        {"list without its end, odd byte", Header(cmd_SendInfo, 5, seq) + Bytes{'A', 0, 0, 'B', 'C'}, {'L', kStatusNone, u"A\u4200"}},
        {"data", Header(cmd_SendData, 3, seq, MessageSignature, 0, abc) + Bytes{'a', 'b', 'c'}, {'D', kStatusNone}},
        {"other data", Header(cmd_SendData, 3, seq, MessageSignature, 0, abc) + Bytes{'a', 'b', 'd'}, {'D', kStatusCorruptedData}},
        {"fewer bytes than announced", Header(cmd_SendData, 4, seq, MessageSignature, 0, abc) + Bytes{'a', 'b', 'c'},
         {'D', kStatusCorruptedData}},
        {"another sequence", Header(cmd_SendInfo, 2, seq + 1) + Bytes{0, 0}, {'F', kStatusCorruptedData}},
        {"big-endian signature", Header(cmd_SendInfo, 2, seq, 0x78563412) + Bytes{0, 0}, {'F', kStatusCorruptedData}},
        {"a request", Header(cmd_GetInfo, 0, seq), {'F', kStatusCorruptedData}},
        {"busy", Header(cmd_GetData, 0, seq, MessageSignature, SrvErr_Busy), {'F', 106}},
        {"unknown command, any command", Header(99, 0, seq, MessageSignature, SrvErr_BadCommand), {'F', 126}},
        {"error 9", Header(cmd_SendData, 0, seq, MessageSignature, 9), {'F', 112}},
        {"error to an unread request", Header(0, 0, seq - 1, MessageSignature, SrvErr_Protocol), {'F', kStatusCorruptedData}},
        {"closed at once", {}, {'E', kStatusNetworkError}},
        {"closed within the header", cutShort, {'E', kStatusNetworkError}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(ReadReply(request, row.reply, {MessageHeaderSize, MessageHeaderSize}), row.outcome);
        EXPECT_EQ(ReadReply(request, row.reply, {1, 1}), row.outcome);
        for (size_t cut = 1; cut < MessageHeaderSize; ++cut)
            EXPECT_EQ(ReadReply(request, row.reply, {cut, MessageHeaderSize}), row.outcome) << "cut at " << cut;
    }
}

}  // namespace
