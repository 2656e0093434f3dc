// The discovery listener with hand-made datagrams on 127.0.0.1: every case of a received datagram
// with its trace lines, the host table it leaves, and the answers, read byte for byte by a socket
// of the test bound to the UDPPort setting. The Ear listens on a port of its own here, so that
// the answers (which go to the UDPPort setting) reach the test and not the Ear itself.
#include <winsock2.h>

#include <gtest/gtest.h>

#include "DiscoveryTestSupport.h"
#include "protocol/Ear.h"
#include "protocol/Hosts.h"
#include "settings/Settings.h"
#include "support/DebugOutputCapture.h"

using namespace discoverytest;

namespace {

constexpr USHORT kUdpPortSetting = 24510;   // where answers go: the test's receiver
constexpr USHORT kEarPort = 24511;          // where the Ear under test listens
constexpr wchar_t kLocalName[] = L"EARHOST";

class EarTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings.UDPPort = kUdpPortSetting;
        settings.LocalName = kLocalName;
        ASSERT_TRUE(answers.Open(kUdpPortSetting, L"127.0.0.1"));
        ASSERT_TRUE(ear.Create());
        ASSERT_TRUE(ear.Bind(kEarPort));
        ASSERT_TRUE(sender.Open(0, L"127.0.0.1"));
        senderPort = LocalPort(sender.Handle());
        ASSERT_NE(0, senderPort);
        ASSERT_NE(kUdpPortSetting, senderPort);
    }
    void TearDown() override { ear.Close(); }

    // Sends the bytes to the Ear and waits until it has traced `count` lines with the prefix.
    std::vector<std::wstring> SendAndWait(const std::vector<uint8_t>& bytes, const std::wstring& prefix,
                                          size_t count = 1) {
        EXPECT_TRUE(sender.SendBytes(kLoopback, kEarPort, bytes));
        return WaitForMessages(capture, prefix, count);
    }
    // Receives one answer and checks it byte for byte: a cmd_WhoAnswer with the local name,
    // from the Ear's answer socket (not its listening port). Returns its sequence number.
    uint32_t ExpectAnswer() {
        bool ok = false;
        ULONG from = 0;
        USHORT fromPort = 0;
        const auto bytes = answers.ReceiveOne(ok, &from, &fromPort);
        EXPECT_TRUE(ok) << "no answer arrived";
        if (!ok) return 0;
        EXPECT_EQ(56u, bytes.size());
        if (bytes.size() != 56) return 0;
        const uint32_t sequence = GetLE32(bytes, 20);
        EXPECT_EQ(ExpectedWho(cmd_WhoAnswer, u"EARHOST", sequence), bytes);
        EXPECT_EQ(kLoopback, from);
        EXPECT_EQ(LocalPort(ear.AnswerHandle()), fromPort);
        EXPECT_NE(kEarPort, fromPort);
        return sequence;
    }
    // How many answers were sent in all, found without waiting on time: a last query (without a
    // name, so nothing is listed) is answered after everything sent before it; once it has been
    // handled, every answer is queued at the receiver.
    int CountAnswersWithALastQuery() {
        const size_t before = WaitForMessages(capture, L"Ear: No usable nickname", 0).size();
        SendAndWait(WhoDatagram(cmd_WhoQuery, u"", 0), L"Ear: No usable nickname", before + 1);
        int count = 0;
        while (answers.Pending() > 0) {
            bool ok = false;
            answers.ReceiveOne(ok);
            if (!ok) break;
            ++count;
        }
        return count - 1;   // the last query's own answer
    }
    std::vector<HostInfo> Table() {
        std::vector<HostInfo> list;
        hosts.ForEachHost([](const HostInfo& host, void* context) { static_cast<std::vector<HostInfo>*>(context)->push_back(host); },
                          &list);
        return list;
    }

    DebugOutputCapture capture;
    CSettings settings;
    Hosts hosts{settings};
    Ear ear{hosts, settings};
    CTestDatagramSocket answers;
    CTestDatagramSocket sender;
    USHORT senderPort = 0;
};

}  // namespace

// --- the three commands ----------------------------------------------------------------------

TEST_F(EarTest, AQueryIsAnsweredToTheSenderAtTheUdpPortSettingAndTheSenderListed) {
    const auto query = WhoDatagram(cmd_WhoQuery, u"ALPHA", 16, MessageSignature, 77);
    SendAndWait(query, L"Hosts: AddHost");
    const uint32_t sequence = ExpectAnswer();
    EXPECT_NE(77u, sequence);   // an answer takes a number of its own
    const std::vector<std::wstring> expected = {ReceiveLine(L"127.0.0.1", senderPort, 56, 0), L"Hosts: AddHost [ALPHA]"};
    EXPECT_EQ(expected, DiscoveryMessages(capture));
    const auto table = Table();
    ASSERT_EQ(1u, table.size());
    EXPECT_EQ(kLoopback, table[0].Address);
    EXPECT_EQ(L"ALPHA", table[0].Name);
    EXPECT_EQ(L"ALPHA", table[0].Nick);
    EXPECT_FALSE(table[0].Friend);
}

TEST_F(EarTest, AnAnswerListsTheSenderAndIsNotAnswered) {
    SendAndWait(WhoDatagram(cmd_WhoAnswer, u"BRAVO"), L"Hosts: AddHost");
    EXPECT_EQ(0, CountAnswersWithALastQuery());
    const auto table = Table();
    ASSERT_EQ(1u, table.size());
    EXPECT_EQ(L"BRAVO", table[0].Name);
    EXPECT_EQ(ReceiveLine(L"127.0.0.1", senderPort, 56, 0), DiscoveryMessages(capture).front());
}

TEST_F(EarTest, ALeaveRemovesTheSenderWhateverNameItCarries) {
    SendAndWait(WhoDatagram(cmd_WhoAnswer, u"CHARLIE"), L"Hosts: AddHost");
    ASSERT_EQ(1u, hosts.Count());
    SendAndWait(WhoDatagram(cmd_WhoLeave, u"SOMEONEELSE"), L"Ear: Host [");
    const std::vector<std::wstring> expected = {ReceiveLine(L"127.0.0.1", senderPort, 56, 0),
                                                L"Hosts: AddHost [CHARLIE]",
                                                ReceiveLine(L"127.0.0.1", senderPort, 56, 0),
                                                L"Ear: Host [CHARLIE] left"};
    EXPECT_EQ(expected, DiscoveryMessages(capture));
    EXPECT_EQ(0, CountAnswersWithALastQuery());
    EXPECT_EQ(0u, hosts.Count());
    // A leave without any name removes just the same.
    SendAndWait(WhoDatagram(cmd_WhoAnswer, u"CHARLIE"), L"Hosts: AddHost", 2);
    ASSERT_EQ(1u, hosts.Count());
    SendAndWait(WhoDatagram(cmd_WhoLeave, u"", 0), L"Ear: Host [", 2);
    EXPECT_EQ(0, CountAnswersWithALastQuery());
    EXPECT_EQ(0u, hosts.Count());
    // A leave of a host that is not listed changes nothing and names nobody.
    SendAndWait(WhoDatagram(cmd_WhoLeave, u"CHARLIE"), L"Ear: ReceiveFrom", 7);
    EXPECT_EQ(0, CountAnswersWithALastQuery());
    EXPECT_EQ(2u, WaitForMessages(capture, L"Ear: Host [", 0).size());
}

TEST_F(EarTest, AHostThatHearsItsOwnNameDoesNotListItself) {
    // The computer's own name in other letter case, as the host's own broadcast would carry it.
    std::wstring own = ComputerName();
    ASSERT_FALSE(own.empty());
    for (auto& c : own) c = static_cast<wchar_t>(::towlower(c));
    SendAndWait(WhoDatagram(cmd_WhoQuery, std::u16string(own.begin(), own.end())), L"Ear: ReceiveFrom");
    ExpectAnswer();   // answered like any other query
    EXPECT_EQ(0, CountAnswersWithALastQuery());
    EXPECT_EQ(0u, hosts.Count());
    EXPECT_TRUE(WaitForMessages(capture, L"Hosts: AddHost", 0).empty());
}

// --- malformed and foreign datagrams ---------------------------------------------------------

TEST_F(EarTest, AZeroByteDatagramPassesTheSignatureTestAndIsAnInvalidCommand) {
    SendAndWait({}, L"Ear: Invalid command");
    const std::vector<std::wstring> expected = {ReceiveLine(L"127.0.0.1", senderPort, 0, 0), L"Ear: Invalid command"};
    EXPECT_EQ(expected, DiscoveryMessages(capture));
    EXPECT_EQ(0, CountAnswersWithALastQuery());
    EXPECT_EQ(0u, hosts.Count());
}

TEST_F(EarTest, AHeaderOnlyQueryWithLength16IsAnsweredAndListedWithAnEmptyName) {
    auto header = WhoDatagram(cmd_WhoQuery, u"", 16);
    header.resize(24);
    SendAndWait(header, L"Hosts: AddHost");
    ExpectAnswer();
    const std::vector<std::wstring> expected = {ReceiveLine(L"127.0.0.1", senderPort, 24, 0), L"Hosts: AddHost []"};
    EXPECT_EQ(expected, DiscoveryMessages(capture));
    const auto table = Table();
    ASSERT_EQ(1u, table.size());
    EXPECT_EQ(L"", table[0].Name);
    EXPECT_EQ(kLoopback, table[0].Address);
}

TEST_F(EarTest, AHeaderOnlyQueryWithLength0IsAnsweredButNotListed) {
    auto header = WhoDatagram(cmd_WhoQuery, u"", 0);
    header.resize(24);
    SendAndWait(header, L"Ear: No usable nickname");
    ExpectAnswer();
    const std::vector<std::wstring> expected = {ReceiveLine(L"127.0.0.1", senderPort, 24, 0),
                                                L"Ear: No usable nickname, host not added"};
    EXPECT_EQ(expected, DiscoveryMessages(capture));
    EXPECT_EQ(0u, hosts.Count());
}

TEST_F(EarTest, AnAnswerWithAnotherLengthIsNotListed) {
    // A name is there, but the length field does not announce it: it is not looked at.
    SendAndWait(WhoDatagram(cmd_WhoAnswer, u"DELTA", 10), L"Ear: No usable nickname");
    EXPECT_EQ(0u, hosts.Count());
    EXPECT_EQ(0, CountAnswersWithALastQuery());
}

TEST_F(EarTest, ADatagramLongerThan56BytesIsNotHandled) {
    auto tooLong = WhoDatagram(cmd_WhoQuery, u"ECHO");
    tooLong.push_back(0);   // 57 bytes
    SendAndWait(tooLong, L"Ear: ReceiveFrom failed");
    const auto messages = DiscoveryMessages(capture);
    ASSERT_EQ(2u, messages.size());
    // The sender of a datagram that was not read is not known.
    EXPECT_EQ(ReceiveLine(L"0.0.0.0", 0, -1, WSAEMSGSIZE), messages[0]);
    EXPECT_EQ(L"Ear: ReceiveFrom failed with 10040", messages[1]);
    EXPECT_EQ(0, CountAnswersWithALastQuery());
    EXPECT_EQ(0u, hosts.Count());
}

TEST_F(EarTest, ABadSignatureIsDropped) {
    SendAndWait(WhoDatagram(cmd_WhoQuery, u"FOXTROT", 16, 0x12345679), L"Ear: Invalid message signature");
    const std::vector<std::wstring> expected = {ReceiveLine(L"127.0.0.1", senderPort, 56, 0),
                                                L"Ear: Invalid message signature"};
    EXPECT_EQ(expected, DiscoveryMessages(capture));
    EXPECT_EQ(0, CountAnswersWithALastQuery());
    EXPECT_EQ(0u, hosts.Count());
}

TEST_F(EarTest, UnknownCommandsAreDropped) {
    size_t sent = 0;
    for (uint32_t command : {0u, static_cast<uint32_t>(cmd_GetInfo), static_cast<uint32_t>(cmd_SendData), 0x10002u})
        SendAndWait(WhoDatagram(command, u"GOLF"), L"Ear: Invalid command", ++sent);
    EXPECT_EQ(4u, WaitForMessages(capture, L"Ear: Invalid command", 4).size());
    EXPECT_EQ(0, CountAnswersWithALastQuery());
    EXPECT_EQ(0u, hosts.Count());
}

TEST_F(EarTest, ANicknameWithoutTerminatorIsNotTaken) {
    const std::u16string sixteen = u"HOTELHOTELHOTELH";
    ASSERT_EQ(16u, sixteen.size());
    // A query is still answered.
    SendAndWait(WhoDatagram(cmd_WhoQuery, sixteen), L"Ear: No usable nickname");
    ExpectAnswer();
    const std::vector<std::wstring> expected = {ReceiveLine(L"127.0.0.1", senderPort, 56, 0),
                                                L"Ear: Provided nickname IsBadStringPtr",
                                                L"Ear: No usable nickname, host not added"};
    EXPECT_EQ(expected, DiscoveryMessages(capture));
    // An answer is not.
    SendAndWait(WhoDatagram(cmd_WhoAnswer, sixteen), L"Ear: Provided nickname IsBadStringPtr", 2);
    EXPECT_EQ(0, CountAnswersWithALastQuery());
    EXPECT_EQ(0u, hosts.Count());
}

TEST_F(EarTest, AFifteenUnitNameIsTakenWhole) {
    SendAndWait(WhoDatagram(cmd_WhoAnswer, u"INDIAINDIAINDIA"), L"Hosts: AddHost");
    EXPECT_EQ(L"Hosts: AddHost [INDIAINDIAINDIA]", WaitForMessages(capture, L"Hosts: AddHost").front());
}

TEST_F(EarTest, AQueryFromAnotherSourcePortIsAnsweredAtTheUdpPortSetting) {
    // Two senders with ports of their own: both answers arrive at the UDPPort setting.
    CTestDatagramSocket other;
    ASSERT_TRUE(other.Open(0, L"127.0.0.1"));
    ASSERT_NE(senderPort, LocalPort(other.Handle()));
    SendAndWait(WhoDatagram(cmd_WhoQuery, u"JULIET"), L"Hosts: AddHost");
    ExpectAnswer();
    ASSERT_TRUE(other.SendBytes(kLoopback, kEarPort, WhoDatagram(cmd_WhoQuery, u"JULIET")));
    WaitForMessages(capture, L"Ear: ReceiveFrom", 2);
    ExpectAnswer();
    EXPECT_EQ(0u, other.Pending());   // nothing went back to the port that asked
    EXPECT_EQ(1u, hosts.Count());     // one address, one record
}

TEST_F(EarTest, AnAddressAlreadyListedKeepsItsFirstName) {
    SendAndWait(WhoDatagram(cmd_WhoAnswer, u"KILO"), L"Hosts: AddHost");
    // The same address again with another name (a renamed computer, or a second program).
    SendAndWait(WhoDatagram(cmd_WhoQuery, u"LIMA"), L"Ear: ReceiveFrom", 2);
    ExpectAnswer();
    EXPECT_EQ(0, CountAnswersWithALastQuery());
    const auto table = Table();
    ASSERT_EQ(1u, table.size());
    EXPECT_EQ(L"KILO", table[0].Name);
    EXPECT_EQ(1u, WaitForMessages(capture, L"Hosts: AddHost", 0).size());
}

// --- the sockets -----------------------------------------------------------------------------

TEST_F(EarTest, CloseClosesBothSocketsAndFreesThePort) {
    EXPECT_NE(INVALID_SOCKET, ear.ListeningHandle());
    EXPECT_NE(INVALID_SOCKET, ear.AnswerHandle());
    ear.Close();
    EXPECT_EQ(INVALID_SOCKET, ear.ListeningHandle());
    EXPECT_EQ(INVALID_SOCKET, ear.AnswerHandle());
    CTestDatagramSocket again;
    EXPECT_TRUE(again.Open(kEarPort, nullptr));
    ear.Close();   // a second close does nothing
}
