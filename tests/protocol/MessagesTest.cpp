// The wire messages: the header, the discovery datagram and the transfer messages as bytes, the
// sequence numbers, and received datagrams of any shape (received requests and replies: MachinesTest).
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "protocol/SequenceCounter.h"
#include "protocol/TransferMessages.h"
#include "protocol/WhoMessage.h"

using Bytes = std::vector<uint8_t>;
using HeaderBytes = std::array<uint8_t, MessageHeaderSize>;

TEST(Message, HeaderFieldsAreLittleEndianAtTheirOffsets) {
    const HeaderBytes bytes = {0x78, 0x56, 0x34, 0x12, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24};
    CMessage header;
    ASSERT_TRUE(header.Decode(bytes.data(), bytes.size()));
    EXPECT_EQ((std::array{header.signature, header.command, header.error, header.length, header.checksum, header.sequence}),
              (std::array<uint32_t, 6>{MessageSignature, 0x08070605, 0x0C0B0A09, 0x100F0E0D, 0x14131211, 0x18171615}));
    EXPECT_EQ(header.Encode(), bytes);
    const CMessage before = header;   // anything shorter is refused and leaves the header alone
    for (size_t size = 0; size < MessageHeaderSize; ++size) EXPECT_FALSE(header.Decode(bytes.data(), size)) << size;
    EXPECT_FALSE(header.Decode(nullptr, 24));
    EXPECT_EQ(header, before);
}

TEST(Message, ThreadsNeverShareASequenceNumber) {
    std::vector<uint32_t> all(80000);
    std::vector<std::thread> workers;
    for (size_t t = 0; t < 4; ++t)
        workers.emplace_back([&all, t] { for (size_t i = 0; i < 20000; ++i) all[t * 20000 + i] = CMessage().sequence; });
    for (auto& w : workers) w.join();
    std::sort(all.begin(), all.end());
    EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end());
    EXPECT_EQ(all.back() - all.front() + 1, 80000u);
    EXPECT_EQ(CSequenceCounter(0xFFFFFFFF).Next(), 0u);   // and the counter wraps around
}

TEST(Message, TransferRequestsAndRepliesAreByteExact) {
    EXPECT_EQ(EncodeTextPayload(u"A\u20AC\U0001F600"), (Bytes{0x41, 0, 0xAC, 0x20, 0x3D, 0xD8, 0, 0xDE, 0, 0}));
    CMessage request;
    EXPECT_EQ(PrepareGetData(request, u"CF_TEXT"), (Bytes{'C', 0, 'F', 0, '_', 0, 'T', 0, 'E', 0, 'X', 0, 'T', 0, 0, 0}));
    request.sequence = 5;
    EXPECT_EQ(request.Encode(),
              (HeaderBytes{0x78, 0x56, 0x34, 0x12, 6, 0, 0, 0, 0, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0, 5, 0, 0, 0}));
    EXPECT_EQ(MakeErrorReply(SrvErr_Rejected, &request).Encode(),
              (HeaderBytes{0x78, 0x56, 0x34, 0x12, 6, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 0, 0, 0}));
    const CMessage earlier;   // a reply to an unreadable request takes a fresh number: it matches none
    EXPECT_FALSE(MakeErrorReply(SrvErr_Protocol, nullptr).IsReplyTo(earlier));
    CMessage reply = request;
    PrepareSendData(reply, "abc", 3);
    EXPECT_EQ(reply.Encode(),
              (HeaderBytes{0x78, 0x56, 0x34, 0x12, 7, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0x2F, 0x67, 0x9A, 0x35, 5, 0, 0, 0}));
}

TEST(Message, WhoDatagramIsByteExactAndReadInAnyShape) {
    CWhoMessage query(u"HOST\u20AC");
    query.header.command = cmd_WhoQuery;
    query.header.sequence = 0x0102;
    const auto full = query.Encode();
    EXPECT_EQ(full, (std::array<uint8_t, WhoMessageSize>{0x78, 0x56, 0x34, 0x12, 2, 0, 0, 0, 0, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0,
                                                         2, 1, 0, 0, 'H', 0, 'O', 0, 'S', 0, 'T', 0, 0xAC, 0x20}));
    for (const char16_t* none : {u"", static_cast<const char16_t*>(nullptr)}) EXPECT_EQ(CWhoMessage(none).header.length, 0u);
    for (const char16_t* name : {u"ABCDEFGHIJKLMNO", u"ABCDEFGHIJKLMNOP", u"ABCDEFGHIJKLMNOPQRST"})
        EXPECT_EQ(CWhoMessage(name).ReadNickname(), std::optional<std::u16string>(u"ABCDEFGHIJKLMNO"));  // 15 units at most

    Bytes unterminated(full.begin(), full.end()), length17(full.begin(), full.end());
    for (size_t i = 24; i < WhoMessageSize; i += 2) unterminated[i] = 'Z';
    length17[12] = 17;
    // Whether a datagram is read over the prepared message, and the nickname then (nullopt: none usable).
    const struct { const char* what; Bytes bytes; bool read; std::optional<std::u16string> nickname; } rows[] = {
        {"full", {full.begin(), full.end()}, true, u"HOST\u20AC"},
        {"one byte too many", Bytes(WhoMessageSize + 1, 0), false, u"OLD\u20ACNAME"},
        {"empty", {}, true, u"OLD\u20ACNAME"},
        {"header only", {full.begin(), full.begin() + 24}, true, u"OLD\u20ACNAME"},
        // 3.5 units of the new name: the fourth unit keeps its prepared high byte.
        {"part of the name", {full.begin(), full.begin() + 31}, true, u"HOS\u2054NAME"},
        {"unterminated", unterminated, true, std::nullopt},
        {"length 17", length17, true, std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        CWhoMessage received(u"OLD\u20ACNAME");
        const auto before = received.Encode();
        ASSERT_EQ(received.DecodeDatagram(row.bytes.data(), row.bytes.size()), row.read);
        const auto after = received.Encode();
        const size_t overlaid = row.read ? row.bytes.size() : 0;
        EXPECT_TRUE(std::equal(row.bytes.begin(), row.bytes.begin() + overlaid, after.begin()));
        EXPECT_TRUE(std::equal(after.begin() + overlaid, after.end(), before.begin() + overlaid));
        EXPECT_EQ(received.HasNicknameField() ? received.ReadNickname() : std::nullopt, row.nickname);
    }
}
