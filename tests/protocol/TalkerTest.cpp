// The client against a stand-in server (a test thread on 127.0.0.1): every way a request ends is the
// status the user is shown; a slow peer that keeps making progress is never timed out; above 5120
// bytes the progress window opens; a cancel in the last percent counts. Fixed ports: "discovery" lock.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "clipboard/LocalClipboard.h"
#include "protocol/Checksum.h"
#include "protocol/Server.h"
#include "protocol/TransferProgress.h"
#include "settings/Settings.h"
#include "ui/Progressor.h"
#include "support/TestHelpers.h"

namespace {

constexpr USHORT kUdpPort = 24530, kTcpPort = 24531, kFakePort = 24532, kNobodyPort = 24533;
constexpr uint32_t kSize = 6000, kHeld = 40;   // the data, and its end held back in LastPercent

// Each way a request can end, once (every reply shape, cut every way, is fed natively in MachinesTest).
enum class Mode { Absent, Ok, Empty, Error, Silent, BadSum, Reset, Huge, Slow, LastPercent };

// The progress window, whose cancel button the user presses (when told to) once the last percent began.
struct CUserAtProgress : CTransferProgress {
    CUserAtProgress(CProgressor& shown, bool pressCancel) : window(shown), press(pressCancel) {}
    CProgressor& window;
    const bool press;
    std::atomic<int> opened{0};
    TestEvent nearEnd;   // a report came within the last percent before the held bytes
    void InitProgress() override { ++opened, window.InitProgress(); }
    void CloseProgress() override { window.CloseProgress(); }
    BOOL UpdateProgress(DWORD done, DWORD total) override {
        const BOOL result = window.UpdateProgress(done, total);
        if (done + kHeld <= total && done + kHeld + total / 100 > total) {
            const HWND dialog = window.Window(), button = ::GetDlgItem(dialog, CProgressWnd::kCancelId);
            if (press) ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(CProgressWnd::kCancelId, BN_CLICKED), LPARAM(button));
            nearEnd.Set();
        }
        return result;
    }
};

void Send(SOCKET s, const std::vector<uint8_t>& bytes, size_t from = 0, size_t to = SIZE_MAX) {
    ::send(s, reinterpret_cast<const char*>(bytes.data() + from), static_cast<int>(std::min(to, bytes.size()) - from), 0);
}
bool ReceiveAll(SOCKET s, uint8_t* p, uint32_t n) {
    for (int got = 0; n > 0; p += got, n -= got)
        if ((got = ::recv(s, reinterpret_cast<char*>(p), static_cast<int>(n), 0)) <= 0) return false;
    return true;
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
    std::vector<uint8_t> payload(1 << 16);
    CMessage request;
    if (!ReceiveAll(conn, head, sizeof head) || !request.Decode(head, sizeof head) || request.length > payload.size()) return;
    if (!ReceiveAll(conn, payload.data(), request.length)) return;
    if (const linger abort{1, 0}; mode == Mode::Reset)   // the close is abortive
        return (void)::setsockopt(conn, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
    if (mode == Mode::Huge) Send(conn, Header(cmd_SendData, 0, 0x7FFFFFFF, 0, request.sequence));
    if (mode == Mode::Error) Send(conn, Header(request.command, error, 0, 0, request.sequence));
    const bool waits = mode == Mode::Silent || mode == Mode::Huge || mode == Mode::Error;   // until the client closes
    for (char byte; waits && ::recv(conn, &byte, 1, 0) > 0;) {}
    if (waits) return;
    if (request.command == cmd_GetInfo) {
        const std::u16string list = mode == Mode::Empty ? u"" : u"Pelko Fake Data";
        std::vector<uint8_t> reply = Header(cmd_SendInfo, 0, uint32_t(2 * list.size() + 2), 0, request.sequence);
        const auto* units = reinterpret_cast<const uint8_t*>(list.c_str());
        return reply.insert(reply.end(), units, units + 2 * list.size() + 2), Send(conn, reply);
    }
    std::vector<uint8_t> data(kSize);
    for (uint32_t i = 0; i < kSize; ++i) data[i] = static_cast<uint8_t>(i * 131 ^ i >> 11);
    const uint32_t checksum = theChecksum.Compute(data.data(), kSize) ^ (mode == Mode::BadSum);
    Send(conn, Header(cmd_SendData, 0, kSize, checksum, request.sequence));
    const int pieces = mode == Mode::Slow ? 9 : 1;   // 0.9 s apart: never 7 s without a step
    for (int i = 0; i < pieces; ++i) {
        if (mode == Mode::Slow) ::Sleep(900);
        Send(conn, data, kSize * i / pieces, mode == Mode::LastPercent ? kSize - kHeld : kSize * (i + 1) / pieces);
    }
    if (mode == Mode::LastPercent) progress.nearEnd.Wait(), Send(conn, data, kSize - kHeld);
}

TEST(TalkerTest, EveryOutcomeIsTheStatusShownAndProgressOpensAndCancelsAsTheUserSees) {
    CSettings settings;
    settings.UDPPort = kUdpPort, settings.TCPPort = kTcpPort;
    CLocalClipboard clipboard;
    CServer server{settings, clipboard};
    CProgressor window;
    EventSocket listener;   // the stand-in's
    ASSERT_TRUE(window.CreateThread() && server.Init());
    ASSERT_TRUE(listener.Create(SOCK_STREAM, 0, true) && listener.Listen(kFakePort, L"127.0.0.1", 1));
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
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "mode " << int(row.mode));
        CUserAtProgress progress(window, row.mode == Mode::LastPercent);
        server.SetProgress(&progress);
        settings.TCPPort = row.mode == Mode::Absent ? kNobodyPort : kFakePort;   // the client asks the stand-in
        std::thread fake([&] {
            const SOCKET conn = row.mode == Mode::Absent ? INVALID_SOCKET : ::accept(listener.Handle(), nullptr, nullptr);
            if (conn != INVALID_SOCKET) Serve(conn, row.mode, row.error, progress), ::closesocket(conn);
        });
        std::wstring list;
        const UniqueGlobal data(row.data ? server.GetRemoteClipData(INADDR_LOOPBACK, CF_UNICODETEXT) : nullptr);
        const bool ok = row.data ? data.IsValid() : server.GetRemoteClipInfo(INADDR_LOOPBACK, list);
        fake.join();
        server.SetProgress(nullptr);
        EXPECT_EQ(row.status == kStatusNone, ok);
        EXPECT_EQ(row.status, server.Status());
        const std::wstring& text = server.GetStatusText();   // a reset: the system's own words on line 2
        if (row.mode == Mode::Reset) { EXPECT_LT(text.find(L".\n"), text.size() - 3); }
        if (row.data && ok) { EXPECT_EQ(1, progress.opened.load()); }   // 6000 bytes: the window opens
    }
}

}  // namespace
