// The discovery datagram: the nickname field as built and as read, its byte image, and what a
// received datagram of any size does to a prepared message.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "protocol/WhoMessage.h"

namespace {

using WhoBytes = std::array<uint8_t, WhoMessageSize>;

bool NicknameBytesAreZero(const WhoBytes& bytes) {
    return std::all_of(bytes.begin() + MessageHeaderSize, bytes.end(), [](uint8_t b) { return b == 0; });
}

}  // namespace

TEST(WhoMessage, WithoutNicknameHasLengthZeroAndAZeroField) {
    for (const CWhoMessage& message : {CWhoMessage(), CWhoMessage(nullptr), CWhoMessage(u"")}) {
        EXPECT_EQ(message.header.length, 0u);
        EXPECT_EQ(message.header.command, 0u);
        EXPECT_EQ(message.header.checksum, 0u);
        EXPECT_TRUE(message.header.HasSignature());
        const WhoBytes bytes = message.Encode();
        EXPECT_TRUE(NicknameBytesAreZero(bytes));
        EXPECT_FALSE(message.HasNicknameField());
    }
    EXPECT_EQ(CWhoMessage(static_cast<const char16_t*>(nullptr)).header.length, 0u);
}

TEST(WhoMessage, TakesAFreshSequenceNumber) {
    CWhoMessage first(u"A");
    CWhoMessage second(u"B");
    EXPECT_EQ(second.header.sequence, first.header.sequence + 1);
}

TEST(WhoMessage, QueryFromHostBIsByteExact) {
    CWhoMessage message(u"HOSTB");
    message.header.command = cmd_WhoQuery;
    message.header.sequence = 0x0102;
    const WhoBytes expected = {
        0x78, 0x56, 0x34, 0x12, 0x02, 0, 0, 0, 0, 0, 0, 0, 0x10, 0, 0, 0, 0, 0, 0, 0, 0x02, 0x01, 0, 0,
        'H', 0, 'O', 0, 'S', 0, 'T', 0, 'B', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(message.Encode(), expected);
}

TEST(WhoMessage, LongNameIsCutAfterFifteenUnits) {
    CWhoMessage message(u"ABCDEFGHIJKLMNOPQRST");   // 20 characters
    EXPECT_EQ(message.header.length, 16u);
    EXPECT_EQ(std::u16string(message.nickname.data(), 15), u"ABCDEFGHIJKLMNO");
    EXPECT_EQ(message.nickname[15], u'\0');
    const WhoBytes bytes = message.Encode();
    EXPECT_EQ(bytes[24 + 28], 'O');
    EXPECT_EQ(bytes[24 + 30], 0);
    EXPECT_EQ(bytes[24 + 31], 0);
    EXPECT_EQ(message.ReadNickname(), std::optional<std::u16string>(u"ABCDEFGHIJKLMNO"));
}

TEST(WhoMessage, FifteenUnitsFitExactly) {
    CWhoMessage message(u"ABCDEFGHIJKLMNO");
    EXPECT_EQ(message.ReadNickname(), std::optional<std::u16string>(u"ABCDEFGHIJKLMNO"));
    CWhoMessage sixteen(u"ABCDEFGHIJKLMNOP");
    EXPECT_EQ(sixteen.ReadNickname(), std::optional<std::u16string>(u"ABCDEFGHIJKLMNO"));
}

TEST(WhoMessage, NicknameUnitsAreLittleEndian) {
    CWhoMessage message(u"\u00C4\u20AC\uFFFF");
    const WhoBytes bytes = message.Encode();
    const std::array<uint8_t, 8> expected = {0xC4, 0x00, 0xAC, 0x20, 0xFF, 0xFF, 0x00, 0x00};
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), bytes.begin() + 24));
}

TEST(WhoMessageDecode, RoundTripOfAFullDatagram) {
    CWhoMessage sent(u"PELKO-PC");
    sent.header.command = cmd_WhoAnswer;
    const WhoBytes bytes = sent.Encode();
    CWhoMessage received;
    ASSERT_TRUE(received.DecodeDatagram(bytes.data(), bytes.size()));
    EXPECT_EQ(received.header, sent.header);
    EXPECT_EQ(received.nickname, sent.nickname);
    EXPECT_TRUE(received.HasNicknameField());
    EXPECT_EQ(received.ReadNickname(), std::optional<std::u16string>(u"PELKO-PC"));
    EXPECT_EQ(received.Encode(), bytes);
}

TEST(WhoMessageDecode, EmptyDatagramKeepsThePreparedMessage) {
    CWhoMessage received;
    const WhoBytes before = received.Encode();
    const uint8_t unused = 0xAA;
    ASSERT_TRUE(received.DecodeDatagram(&unused, 0));
    ASSERT_TRUE(received.DecodeDatagram(nullptr, 0));
    EXPECT_EQ(received.Encode(), before);
    EXPECT_TRUE(received.header.HasSignature());
    EXPECT_EQ(received.header.command, 0u);   // the listener drops it as an invalid command
}

TEST(WhoMessageDecode, HeaderOnlyQueryWithLengthSixteenHasAnEmptyName) {
    CMessage query;
    query.command = cmd_WhoQuery;
    query.length = 16;
    const auto bytes = query.Encode();
    CWhoMessage received;
    ASSERT_TRUE(received.DecodeDatagram(bytes.data(), bytes.size()));
    EXPECT_EQ(received.header.command, static_cast<uint32_t>(cmd_WhoQuery));
    EXPECT_TRUE(received.HasNicknameField());
    EXPECT_EQ(received.ReadNickname(), std::optional<std::u16string>(u""));
}

TEST(WhoMessageDecode, ShortDatagramOverlaysOnlyTheBytesItHas) {
    CWhoMessage received;
    received.header.command = 0x11223344;
    const std::array<uint8_t, 6> bytes = {0x78, 0x56, 0x34, 0x12, 0x03, 0x00};
    ASSERT_TRUE(received.DecodeDatagram(bytes.data(), bytes.size()));
    EXPECT_EQ(received.header.signature, 0x12345678u);
    EXPECT_EQ(received.header.command, 0x11220003u);   // low two bytes from the datagram
}

TEST(WhoMessageDecode, PartOfTheNicknameKeepsTheRestOfTheField) {
    CWhoMessage sent(u"NEWHOSTNAME");
    const WhoBytes bytes = sent.Encode();
    CWhoMessage received(u"OLD\u20ACNAME");
    ASSERT_TRUE(received.DecodeDatagram(bytes.data(), 24 + 7));   // 3.5 units of the new name
    EXPECT_EQ(received.header, sent.header);
    EXPECT_EQ(received.nickname[0], u'N');
    EXPECT_EQ(received.nickname[2], u'W');
    EXPECT_EQ(received.nickname[3], u'\u2048');   // low byte 'H' from the datagram, high byte 0x20 kept
    EXPECT_EQ(received.nickname[4], u'N');         // untouched
    EXPECT_EQ(received.ReadNickname(), std::optional<std::u16string>(u"NEW\u2048NAME"));
}

TEST(WhoMessageDecode, OversizedDatagramIsNotRead) {
    std::vector<uint8_t> bytes(WhoMessageSize + 1, 0);
    CWhoMessage received(u"KEEP");
    const WhoBytes before = received.Encode();
    EXPECT_FALSE(received.DecodeDatagram(bytes.data(), bytes.size()));
    EXPECT_FALSE(received.DecodeDatagram(nullptr, 5));
    EXPECT_EQ(received.Encode(), before);
}

TEST(WhoMessageDecode, UnterminatedNicknameIsNotRead) {
    WhoBytes bytes = CWhoMessage(u"X").Encode();
    for (size_t i = 24; i < WhoMessageSize; i += 2) bytes[i] = 'Z';
    CWhoMessage received;
    ASSERT_TRUE(received.DecodeDatagram(bytes.data(), bytes.size()));
    EXPECT_TRUE(received.HasNicknameField());
    EXPECT_EQ(received.ReadNickname(), std::nullopt);
}

TEST(WhoMessageDecode, NicknameFieldCountsOnlyWithLengthSixteen) {
    WhoBytes bytes = CWhoMessage(u"HOST").Encode();
    for (uint8_t length : {0, 15, 17, 32}) {
        bytes[12] = length;
        CWhoMessage received;
        ASSERT_TRUE(received.DecodeDatagram(bytes.data(), bytes.size()));
        EXPECT_FALSE(received.HasNicknameField()) << int(length);
    }
    bytes[12] = 16;
    bytes[13] = 1;   // 272: the high bytes matter too
    CWhoMessage received;
    ASSERT_TRUE(received.DecodeDatagram(bytes.data(), bytes.size()));
    EXPECT_FALSE(received.HasNicknameField());
}

TEST(WhoMessageDecode, TextAfterTheTerminatorIsIgnored) {
    WhoBytes bytes = CWhoMessage(u"AB").Encode();
    bytes[24 + 8] = 'Q';   // unit 4, after the zero at unit 2
    CWhoMessage received;
    ASSERT_TRUE(received.DecodeDatagram(bytes.data(), bytes.size()));
    EXPECT_EQ(received.ReadNickname(), std::optional<std::u16string>(u"AB"));
}
