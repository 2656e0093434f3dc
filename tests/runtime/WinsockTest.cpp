// Winsock start-up: the process-wide start, and what happens when Winsock grants another version
// or fails (the Winsock calls are replaced by recording ones).
#include <winsock2.h>

#include <gtest/gtest.h>

#include <cstring>

#include "runtime/EventSocket.h"
#include "runtime/Winsock.h"

namespace {

// What the recording Winsock calls saw and answer.
struct FakeWinsock {
    static inline WORD requested = 0;
    static inline bool dataWasZeroed = false;
    static inline WORD granted = MAKEWORD(1, 1);
    static inline int result = 0;
    static inline int cleanups = 0;

    static void Reset(WORD grant, int answer) {
        requested = 0;
        dataWasZeroed = false;
        granted = grant;
        result = answer;
        cleanups = 0;
    }
    static int WSAAPI Startup(WORD version, WSADATA* data) {
        requested = version;
        WSADATA zero;
        std::memset(&zero, 0, sizeof zero);
        dataWasZeroed = std::memcmp(data, &zero, sizeof zero) == 0;
        if (result == 0) {
            data->wVersion = granted;
            data->wHighVersion = MAKEWORD(2, 2);
        }
        return result;
    }
    static int WSAAPI Cleanup() {
        ++cleanups;
        return 0;
    }
};

// Each test leaves the process as it found it: Winsock 1.1 started (the extra start-up that
// restores it is balanced by one real clean-up).
class WinsockStart : public ::testing::Test {
protected:
    void TearDown() override {
        ASSERT_TRUE(StartSockets());
        ::WSACleanup();
    }
};

TEST(Winsock, ProcessStartedVersionOneOne) {
    EXPECT_TRUE(SocketsStarted());
    EXPECT_EQ(SocketsStartupResult(), 0);
}

TEST_F(WinsockStart, AsksForOneOneWithZeroedData) {
    FakeWinsock::Reset(MAKEWORD(1, 1), 0);
    EXPECT_TRUE(StartSockets(&FakeWinsock::Startup, &FakeWinsock::Cleanup));
    EXPECT_EQ(FakeWinsock::requested, 257);
    EXPECT_TRUE(FakeWinsock::dataWasZeroed);
    EXPECT_EQ(FakeWinsock::cleanups, 0);
    EXPECT_TRUE(SocketsStarted());
}

TEST_F(WinsockStart, AnotherGrantedVersionIsGivenBackAndNoSocketOpens) {
    for (WORD grant : {MAKEWORD(2, 2), MAKEWORD(1, 0), MAKEWORD(0, 1)}) {
        FakeWinsock::Reset(grant, 0);
        EXPECT_FALSE(StartSockets(&FakeWinsock::Startup, &FakeWinsock::Cleanup));
        EXPECT_EQ(FakeWinsock::cleanups, 1) << "grant " << grant;
        EXPECT_FALSE(SocketsStarted());
        EXPECT_EQ(SocketsStartupResult(), 0);
        EventSocket socket;
        EXPECT_FALSE(socket.Create(SOCK_DGRAM, EventSocket::AllNetworkEvents, true));
        EXPECT_FALSE(socket.Create(SOCK_STREAM));
    }
}

TEST_F(WinsockStart, FailedStartKeepsItsResultAndCleansNothing) {
    FakeWinsock::Reset(MAKEWORD(1, 1), WSAVERNOTSUPPORTED);
    EXPECT_FALSE(StartSockets(&FakeWinsock::Startup, &FakeWinsock::Cleanup));
    EXPECT_EQ(SocketsStartupResult(), WSAVERNOTSUPPORTED);
    EXPECT_EQ(FakeWinsock::cleanups, 0);
    CleanupSockets(&FakeWinsock::Cleanup);
    EXPECT_EQ(FakeWinsock::cleanups, 0);  // never started: nothing to clean up
}

TEST_F(WinsockStart, CleanupHappensOnce) {
    FakeWinsock::Reset(MAKEWORD(1, 1), 0);
    ASSERT_TRUE(StartSockets(&FakeWinsock::Startup, &FakeWinsock::Cleanup));
    CleanupSockets(&FakeWinsock::Cleanup);
    CleanupSockets(&FakeWinsock::Cleanup);
    EXPECT_EQ(FakeWinsock::cleanups, 1);
    EXPECT_FALSE(SocketsStarted());
}

}  // namespace
