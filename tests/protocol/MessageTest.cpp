// The message header: initial values, sequence numbers across threads, the byte image on the
// wire, and reading received bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <thread>
#include <vector>

#include "protocol/Message.h"
#include "protocol/SequenceCounter.h"

namespace {

using HeaderBytes = std::array<uint8_t, MessageHeaderSize>;

}  // namespace

TEST(Message, NewHeaderHasSignatureAndZeroFields) {
    CMessage header;
    EXPECT_EQ(header.signature, 0x12345678u);
    EXPECT_EQ(header.command, 0u);
    EXPECT_EQ(header.error, 0u);
    EXPECT_EQ(header.length, 0u);
    EXPECT_EQ(header.checksum, 0u);
    EXPECT_TRUE(header.HasSignature());
}

TEST(Message, EncodedHeaderStartsWithSignatureBytes) {
    const HeaderBytes bytes = CMessage().Encode();
    EXPECT_EQ(bytes[0], 0x78);
    EXPECT_EQ(bytes[1], 0x56);
    EXPECT_EQ(bytes[2], 0x34);
    EXPECT_EQ(bytes[3], 0x12);
}

TEST(Message, EveryFieldIsLittleEndianAtItsOffset) {
    CMessage header;
    header.signature = 0x04030201;
    header.command = 0x08070605;
    header.error = 0x0C0B0A09;
    header.length = 0x100F0E0D;
    header.checksum = 0x14131211;
    header.sequence = 0x18171615;
    const HeaderBytes expected = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12,
                                  13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24};
    EXPECT_EQ(header.Encode(), expected);
    std::array<uint8_t, 30> buffer{};
    buffer.fill(0xEE);
    header.Encode(buffer.data());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), buffer.begin()));
    EXPECT_EQ(buffer[24], 0xEE);   // nothing written past the header
}

TEST(Message, GetInfoRequestWithSequenceFiveIsByteExact) {
    CMessage header;
    header.SetRequest(cmd_GetInfo, 0);
    header.sequence = 5;
    const HeaderBytes expected = {0x78, 0x56, 0x34, 0x12, 0x04, 0, 0, 0, 0, 0, 0, 0,
                                  0, 0, 0, 0, 0, 0, 0, 0, 0x05, 0, 0, 0};
    EXPECT_EQ(header.Encode(), expected);
}

TEST(MessageSequence, ConsecutiveHeadersTakeConsecutiveNumbers) {
    CMessage first;
    CMessage second;
    EXPECT_EQ(second.sequence, first.sequence + 1);
    // Also when another thread makes the second one.
    uint32_t other = 0;
    std::thread([&] { other = CMessage().sequence; }).join();
    EXPECT_EQ(other, second.sequence + 1);
    CMessage third;
    EXPECT_EQ(third.sequence, other + 1);
}

TEST(MessageSequence, NextSequenceTakesAFreshNumber) {
    CMessage header;
    const uint32_t before = header.sequence;
    const uint32_t taken = header.NextSequence();
    EXPECT_EQ(taken, before + 1);
    EXPECT_EQ(header.sequence, taken);
    EXPECT_EQ(CMessage().sequence, taken + 1);
}

TEST(MessageSequence, SetRequestTakesANumberAndKeepsTheChecksum) {
    CMessage header;
    header.error = SrvErr_Busy;
    header.checksum = 0xABCDEF01;
    const uint32_t before = header.sequence;
    header.SetRequest(cmd_GetData, 16);
    EXPECT_EQ(header.sequence, before + 1);
    EXPECT_EQ(header.command, static_cast<uint32_t>(cmd_GetData));
    EXPECT_EQ(header.length, 16u);
    EXPECT_EQ(header.error, 0u);
    EXPECT_EQ(header.checksum, 0xABCDEF01u);
}

TEST(MessageSequence, ThreadsNeverShareANumber) {
    constexpr int threads = 4;
    constexpr int perThread = 20000;
    std::vector<std::vector<uint32_t>> taken(threads);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&taken, t] {
            taken[t].reserve(perThread);
            for (int i = 0; i < perThread; ++i) taken[t].push_back(CMessage().sequence);
        });
    }
    for (auto& w : workers) w.join();
    std::vector<uint32_t> all;
    for (auto& numbers : taken) {
        // Each thread sees its own numbers rise.
        EXPECT_TRUE(std::is_sorted(numbers.begin(), numbers.end()));
        all.insert(all.end(), numbers.begin(), numbers.end());
    }
    std::sort(all.begin(), all.end());
    EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end());
    // Nothing else made headers meanwhile: the numbers are one unbroken run.
    EXPECT_EQ(all.back() - all.front() + 1, static_cast<uint32_t>(threads * perThread));
}

TEST(MessageSequence, CounterStartsAtOneAndWrapsAround) {
    CSequenceCounter fresh;
    EXPECT_EQ(fresh.Next(), 1u);
    EXPECT_EQ(fresh.Next(), 2u);
    CSequenceCounter nearEnd(0xFFFFFFFE);
    EXPECT_EQ(nearEnd.Next(), 0xFFFFFFFFu);
    EXPECT_EQ(nearEnd.Next(), 0u);
    EXPECT_EQ(nearEnd.Next(), 1u);
}

TEST(MessageDecode, ReadsEveryFieldLittleEndian) {
    const HeaderBytes bytes = {0x78, 0x56, 0x34, 0x12, 0x07, 0, 0, 0, 0x04, 0, 0, 0,
                               0x03, 0, 0, 0, 0x2F, 0x67, 0x9A, 0x35, 0x05, 0, 0, 0x80};
    CMessage header;
    ASSERT_TRUE(header.Decode(bytes.data(), bytes.size()));
    EXPECT_EQ(header.signature, 0x12345678u);
    EXPECT_EQ(header.command, 7u);
    EXPECT_EQ(header.error, 4u);
    EXPECT_EQ(header.length, 3u);
    EXPECT_EQ(header.checksum, 0x359A672Fu);
    EXPECT_EQ(header.sequence, 0x80000005u);
    EXPECT_EQ(header.Encode(), bytes);
}

TEST(MessageDecode, RoundTripKeepsEveryField) {
    CMessage original;
    original.SetRequest(cmd_SendData, 0xFFFFFFFF);
    original.error = SrvErr_SendFailed;
    original.checksum = 0x80000001;
    CMessage copy;
    const HeaderBytes bytes = original.Encode();
    ASSERT_TRUE(copy.Decode(bytes.data(), bytes.size()));
    EXPECT_EQ(copy, original);
}

TEST(MessageDecode, ShortInputIsRefusedAndLeavesTheHeaderAlone) {
    const HeaderBytes bytes = {0x78, 0x56, 0x34, 0x12, 0x05, 0, 0, 0, 0, 0, 0, 0,
                               0, 0, 0, 0, 0, 0, 0, 0, 0x09, 0, 0, 0};
    CMessage header;
    const CMessage before = header;
    for (size_t size = 0; size < MessageHeaderSize; ++size) {
        EXPECT_FALSE(header.Decode(bytes.data(), size)) << size;
        EXPECT_EQ(header, before) << size;
    }
    EXPECT_FALSE(header.Decode(nullptr, 24));
    EXPECT_EQ(header, before);
}

TEST(MessageDecode, ReadsOnlyTheFirstTwentyFourBytes) {
    CMessage original;
    original.SetRequest(cmd_GetData, 4);
    std::vector<uint8_t> bytes(MessageHeaderSize + 4, 0xFF);
    original.Encode(bytes.data());
    CMessage header;
    ASSERT_TRUE(header.Decode(bytes.data(), bytes.size()));
    EXPECT_EQ(header, original);
}

TEST(MessageDecode, WrongSignatureIsReadButNotValid) {
    HeaderBytes bytes = CMessage().Encode();
    bytes[3] = 0x13;
    CMessage header;
    ASSERT_TRUE(header.Decode(bytes.data(), bytes.size()));
    EXPECT_EQ(header.signature, 0x13345678u);
    EXPECT_FALSE(header.HasSignature());
    // Byte-swapped signature (a big-endian writer) is wrong too.
    const HeaderBytes swapped = {0x12, 0x34, 0x56, 0x78};
    ASSERT_TRUE(header.Decode(swapped.data(), swapped.size()));
    EXPECT_FALSE(header.HasSignature());
}

TEST(MessageReply, AcceptedOnlyWithSignatureAndTheRequestsNumber) {
    CMessage request;
    request.SetRequest(cmd_GetInfo, 0);
    CMessage reply = request;
    reply.command = cmd_SendInfo;
    EXPECT_TRUE(reply.IsReplyTo(request));
    reply.sequence = request.sequence + 1;
    EXPECT_FALSE(reply.IsReplyTo(request));
    reply.sequence = request.sequence;
    reply.signature = 0x87654321;
    EXPECT_FALSE(reply.IsReplyTo(request));
}
