// The client side against a stand-in server (a thread of this test on 127.0.0.1, in the protocol's
// own bytes): every way a request can end is the status the user is shown; a slow peer that keeps
// making progress is never timed out; a transfer above 5120 bytes opens the progress window; a
// cancel pressed in the last percent counts, and the next request starts uncancelled. Fixed ports:
// the "discovery" lock runs this test alone.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "clipboard/LocalClipboard.h"
#include "protocol/Checksum.h"
#include "protocol/Server.h"
#include "protocol/TransferProgress.h"
#include "resource.h"
#include "settings/Settings.h"
#include "ui/Progressor.h"
#include "support/TestHelpers.h"

namespace {

constexpr USHORT kUdpPort = 24530, kTcpPort = 24531, kFakePort = 24532;
constexpr uint32_t kSize = 6000, kHeld = 40;   // the data, and its end held back in LastPercent

// Every reply shape, its header cut every way, is fed to the reply machine natively (MachinesTest);
// here each way a request can end reaches the user once.
enum class Mode { Absent, Ok, Empty, Error, Silent, BadSum, Reset, Huge, Slow, LastPercent };

// The progress window itself, whose cancel button the user presses once the last percent has
// begun (when told to), after the report that showed it.
struct CUserAtProgress : CTransferProgress {
    CUserAtProgress(CProgressor& shown, bool pressCancel) : window(shown), press(pressCancel) {}
    CProgressor& window;
    const bool press;
    std::atomic<int> opened{0};
    TestEvent nearEnd;   // a report came within the last percent before the held bytes
    void InitProgress() override { ++opened, window.InitProgress(); }
    BOOL UpdateProgress(DWORD done, DWORD total) override {
        const BOOL result = window.UpdateProgress(done, total);
        if (done + kHeld <= total && done + kHeld + total / 100 > total) {
            const HWND button = ::GetDlgItem(window.Window(), CProgressWnd::kCancelId);
            if (press) ::SendMessageW(window.Window(), WM_COMMAND, MAKEWPARAM(CProgressWnd::kCancelId, BN_CLICKED), LPARAM(button));
            nearEnd.Set();
        }
        return result;
    }
    void CloseProgress() override { window.CloseProgress(); }
};

void Send(SOCKET s, const std::vector<uint8_t>& bytes, size_t from = 0, size_t to = SIZE_MAX) {
    to = std::min(to, bytes.size());
    ::send(s, reinterpret_cast<const char*>(bytes.data() + from), static_cast<int>(to - from), 0);
}

bool ReceiveAll(SOCKET s, uint8_t* p, uint32_t n) {
    for (int got = 0; n > 0; p += got, n -= got)
        if ((got = ::recv(s, reinterpret_cast<char*>(p), static_cast<int>(n), 0)) <= 0) return false;
    return true;
}

void WaitUntilClosed(SOCKET s) {
    for (char byte; ::recv(s, &byte, 1, 0) > 0;) {}
}

std::vector<uint8_t> Header(uint32_t command, uint32_t error, uint32_t length, uint32_t checksum, uint32_t sequence) {
    std::vector<uint8_t> bytes;
    for (uint32_t field : {MessageSignature, command, error, length, checksum, sequence})
        for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<uint8_t>(field >> shift));
    return bytes;
}

// Answers one request as the mode says: cmd_GetInfo with one format name, cmd_GetData with kSize
// pattern bytes, unless the mode changes that.
void Serve(SOCKET conn, Mode mode, uint32_t error, CUserAtProgress& progress) {
    uint8_t head[MessageHeaderSize];
    std::vector<uint8_t> request(1 << 16);
    if (!ReceiveAll(conn, head, sizeof head)) return;
    const auto field = [&](int at) { return uint32_t(head[at]) | head[at + 1] << 8 | head[at + 2] << 16 | uint32_t(head[at + 3]) << 24; };
    const uint32_t command = field(4), length = field(12), sequence = field(20);
    if (length > request.size() || !ReceiveAll(conn, request.data(), length)) return;
    if (mode == Mode::Reset) {
        const linger abort{1, 0};
        ::setsockopt(conn, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
        return;
    }
    if (mode == Mode::Silent || mode == Mode::Huge || mode == Mode::Error) {
        if (mode == Mode::Huge) Send(conn, Header(cmd_SendData, 0, 0x7FFFFFFF, 0, sequence));
        if (mode == Mode::Error) Send(conn, Header(command, error, 0, 0, sequence));
        return WaitUntilClosed(conn);
    }
    if (command == cmd_GetInfo) {
        const std::u16string list = mode == Mode::Empty ? u"" : u"Pelko Fake Data";
        std::vector<uint8_t> reply = Header(cmd_SendInfo, 0, uint32_t(2 * list.size() + 2), 0, sequence);
        reply.insert(reply.end(), reinterpret_cast<const uint8_t*>(list.c_str()),
                     reinterpret_cast<const uint8_t*>(list.c_str() + list.size() + 1));
        return Send(conn, reply);
    }
    std::vector<uint8_t> data(kSize);
    for (uint32_t i = 0; i < kSize; ++i) data[i] = static_cast<uint8_t>(i * 131 ^ i >> 11);
    const uint32_t checksum = theChecksum.Compute(data.data(), kSize) ^ (mode == Mode::BadSum);
    const std::vector<uint8_t> reply = Header(cmd_SendData, 0, kSize, checksum, sequence);
    Send(conn, reply);
    const int pieces = mode == Mode::Slow ? 9 : 1;   // 0.9 s apart: never 7 s without a step
    for (int i = 0; i < pieces; ++i) {
        if (mode == Mode::Slow) ::Sleep(900);
        Send(conn, data, kSize * i / pieces, mode == Mode::LastPercent ? kSize - kHeld : kSize * (i + 1) / pieces);
    }
    if (mode == Mode::LastPercent) progress.nearEnd.Wait(), Send(conn, data, kSize - kHeld);
}

TEST(TalkerTest, EveryOutcomeIsTheStatusShownAndProgressOpensAndCancelsAsTheUserSees) {
    CSettings settings;
    settings.UDPPort = kUdpPort;
    settings.TCPPort = kTcpPort;
    CLocalClipboard clipboard;
    CServer server{settings, clipboard};
    CProgressor window;
    ASSERT_TRUE(window.CreateThread() && server.Init());
    settings.TCPPort = kFakePort;   // the client asks the stand-in
    const struct { Mode mode; bool data; StatusId status; uint32_t error = 0; } rows[] = {
        {Mode::Absent, false, IDS_NOT_ANSWERING},
        {Mode::Empty, false, IDS_REMOTE_EMPTY},
        {Mode::Error, false, IDS_REMOTE_BUSY, SrvErr_Busy},
        {Mode::Silent, false, IDS_TIMEOUT},
        {Mode::Error, true, IDS_RENDER_FAILED, SrvErr_NoData},
        {Mode::BadSum, true, IDS_CORRUPTED_DATA},
        {Mode::Reset, true, IDS_NETWORK_ERROR},
        {Mode::Huge, true, IDS_INTERNAL_ERROR_DETAIL},
        {Mode::Slow, true, kStatusNone},
        {Mode::LastPercent, true, IDS_CANCELLED},
        {Mode::Ok, true, kStatusNone},
    };
    SOCKET listener = INVALID_SOCKET;   // opened after the first row, which finds nothing listening
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "mode " << int(row.mode));
        CUserAtProgress progress(window, row.mode == Mode::LastPercent);
        server.SetProgress(&progress);
        if (row.mode != Mode::Absent && listener == INVALID_SOCKET) {
            listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
            sockaddr_in address{AF_INET, ::htons(kFakePort), {}, {}};
            address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
            ASSERT_TRUE(!::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) && !::listen(listener, 1));
        }
        std::thread fake([&] {
            if (row.mode == Mode::Absent) return;
            const SOCKET conn = ::accept(listener, nullptr, nullptr);
            Serve(conn, row.mode, row.error, progress);
            ::closesocket(conn);
        });
        std::wstring list;
        const HGLOBAL data = row.data ? server.GetRemoteClipData(INADDR_LOOPBACK, CF_UNICODETEXT) : nullptr;
        const bool ok = row.data ? data != nullptr : server.GetRemoteClipInfo(INADDR_LOOPBACK, list);
        fake.join();
        server.SetProgress(nullptr);
        if (data) ::GlobalFree(data);
        EXPECT_EQ(row.status == kStatusNone, ok);
        EXPECT_EQ(row.status, server.Status());
        // A reset reads as the text and, on its second line, the system's own words for it.
        if (row.mode == Mode::Reset) { EXPECT_LT(server.GetStatusText().find(L".\n"), server.GetStatusText().size() - 3); }
        if (row.data && ok) { EXPECT_EQ(1, progress.opened.load()); }   // 6000 bytes: the window opens
    }
    ::closesocket(listener);
    server.Shutdown();
}

}  // namespace
