// The serving connection (see DataSock.h for threads and ownership).
#include "protocol/DataSock.h"

#include <algorithm>
#include <string>

#include "protocol/Server.h"
#include "runtime/Trace.h"
#include "settings/SoundEvents.h"

namespace {

std::wstring Dotted(ULONG address) {
    return std::to_wstring((address >> 24) & 0xFF) + L"." + std::to_wstring((address >> 16) & 0xFF) + L"." +
           std::to_wstring((address >> 8) & 0xFF) + L"." + std::to_wstring(address & 0xFF);
}

void SetLinger(SOCKET handle, u_short onOff, u_short seconds) {
    const linger value{onOff, seconds};
    ::setsockopt(handle, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&value), sizeof value);
}

}  // namespace

CDataSock::~CDataSock() {
    Close(false);
    ReleaseData();
}

bool CDataSock::AcceptFrom(EventSocket& listener, CServer& server, CConnectionSlot slot) {
    sockaddr_in peer{};
    int peerLength = sizeof peer;
    const SOCKET accepted = ::accept(listener.Handle(), reinterpret_cast<sockaddr*>(&peer), &peerLength);
    const ULONG address = ::ntohl(peer.sin_addr.s_addr);
    if (accepted == INVALID_SOCKET) {
        const int reason = ::WSAGetLastError();
        if (reason != WSAEWOULDBLOCK)
            ExTrace(L"Server: Failed to accept connection from IP: %s (%d)", Dotted(address).c_str(), reason);
        ::WSASetLastError(reason);
        return false;
    }
    // The peer and the ownership are in place before the event thread can run a handler.
    auto owned = std::make_unique<CDataSock>(server);
    CDataSock& connection = *owned;
    connection.m_peer = address;
    connection.m_slot = std::move(slot);
    connection.m_self = std::move(owned);
    ExTrace(L"Server: Connection accepted from IP: %s", Dotted(address).c_str());
    if (!connection.Attach(accepted)) {
        // Attach has closed the handle; closing it again could close another connection's.
        ExTrace(L"Server: Failed to accept connection from IP: %s", Dotted(address).c_str());
        std::unique_ptr<CDataSock> gone = std::move(connection.m_self);
        return true;   // the queue may hold more: go on accepting
    }
    return true;
}

void CDataSock::ReleaseSelfIfEnded() {
    if (!m_ended) return;
    std::unique_ptr<CDataSock> self = std::move(m_self);
    // The object goes with `self` here; the dispatch loop no longer touches it.
}

void CDataSock::CloseConnection(bool delivered) {
    const SOCKET handle = Handle();
    if (handle != INVALID_SOCKET) {
        // Every stream socket lingers; a close with unsent data would then hold this thread until
        // the peer takes it or the time runs out. Delivered: linger off, the system sends the rest
        // and ends the stream in the background. Not delivered: a reset, at once.
        if (delivered) SetLinger(handle, 0, 0); else SetLinger(handle, 1, 0);
    }
    Close(delivered);
    m_ended = true;
}

void CDataSock::ReleaseData() {
    ExTrace(L"CDataSock:ReleaseData");
    if (m_data != nullptr) {
        if (m_dataPointer != nullptr) ::GlobalUnlock(m_data);
        ::GlobalFree(m_data);
    }
    m_data = nullptr;
    m_dataPointer = nullptr;
    m_cursor = nullptr;
    m_dataSize = 0;
    m_bytesLeft = 0;
}

void CDataSock::Terminate(bool graceful) {
    ExTrace(L"CDataSock::Terminate");
    ReleaseData();
    CloseConnection(graceful);
}

void CDataSock::SendError(uint32_t error, const CMessage* request) {
    const auto bytes = MakeErrorReply(error, request).Encode();
    if (Send(bytes.data(), static_cast<int>(bytes.size())) == -1)
        ExTrace(L"CDataSock:SendError  Failed to send %d", ::WSAGetLastError());
}

BOOL CDataSock::GetData(const wchar_t* name) {
    HGLOBAL block = m_server.GetClipboardData(name);
    if (block == nullptr) return FALSE;
    void* pointer = ::GlobalLock(block);
    if (pointer == nullptr) {
        ::GlobalFree(block);
        return FALSE;
    }
    m_data = block;
    m_dataPointer = static_cast<const uint8_t*>(pointer);
    m_dataSize = static_cast<uint32_t>(::GlobalSize(block));
    return TRUE;
}

void CDataSock::OnReceive(int /*error*/, u_long bytesAvailable) {
    ExTrace(L"CDataSock:OnReceive %d of %d", static_cast<int>(bytesAvailable), static_cast<int>(MessageHeaderSize));
    if (m_handled) {
        // A connection carries one request: whatever else the peer sends is read and dropped.
        uint8_t scratch[512];
        Receive(scratch, sizeof scratch);
        return;
    }
    if (m_received + bytesAvailable >= RequestBufferSize) {
        ExTrace(L"DataSock: ReceiveFrom too much data %d", static_cast<int>(m_received + bytesAvailable));
        SendError(SrvErr_Protocol, nullptr);
        Terminate(true);
        ReleaseSelfIfEnded();
        return;
    }
    const int got = Receive(m_buffer + m_received, static_cast<int>(RequestBufferSize - m_received));
    if (got == -1 && ::WSAGetLastError() == WSAEWOULDBLOCK) return;   // a read event already served
    if (got <= 0) {
        ExTrace(L"DataSock: ReceiveFrom failed with %d", ::WSAGetLastError());
        Terminate(false);
        ReleaseSelfIfEnded();
        return;
    }
    m_received += static_cast<uint32_t>(got);
    if (m_received < static_cast<uint32_t>(m_expected)) {
        ExTrace(L"DataSock: ReceiveFrom  Waiting for min data  %d of %d", static_cast<int>(m_received), m_expected);
        return;
    }
    if (m_headerPending) {
        m_headerPending = false;
        CMessage header;
        header.Decode(m_buffer, m_received);
        if (!header.HasSignature()) {
            ExTrace(L"DataSock: Invalid message signature");
            SendError(SrvErr_Protocol, nullptr);
            Terminate(true);
            ReleaseSelfIfEnded();
            return;
        }
        if (header.length >= RequestBufferSize) {
            SendError(SrvErr_Protocol, nullptr);
            Terminate(true);
            ReleaseSelfIfEnded();
            return;
        }
        if (header.length != 0) {
            m_expected += static_cast<int32_t>(header.length);
            if (m_received < static_cast<uint32_t>(m_expected)) return;
        }
    }
    HandleRequest();
    ReleaseSelfIfEnded();
}

void CDataSock::HandleRequest() {
    m_handled = true;
    CMessage request;
    request.Decode(m_buffer, m_received);
    switch (request.command) {
        case cmd_GetInfo:
            ServeInfo(request);
            break;
        case cmd_GetData:
            ServeData(request);
            break;
        default:
            SendError(SrvErr_BadCommand, &request);
            ExTrace(L"Ear: Invalid command");
            break;
    }
}

void CDataSock::ServeInfo(CMessage& request) {
    ExTrace(L"DataSock cmd_GetInfo");
    if (!m_server.IsRequestAllowed(m_peer, cmd_GetInfo)) return SendError(SrvErr_Rejected, &request);
    if (!m_server.CanServeClipboard(m_peer, cmd_GetInfo)) return SendError(SrvErr_Busy, &request);
    std::wstring list;
    if (!m_server.GetLocalClipInfo(list)) {
        ExTrace(L"DataSock: Failed to get clip format");
        return SendError(SrvErr_NoFormats, &request);
    }
    const std::vector<uint8_t> payload =
        PrepareSendInfo(request, std::u16string_view(reinterpret_cast<const char16_t*>(list.data()), list.size()));
    const auto header = request.Encode();
    if (Send(header.data(), static_cast<int>(header.size())) == -1 ||
        Send(payload.data(), static_cast<int>(payload.size())) == -1) {
        ExTrace(L"DataSock: Failed to send cmd_SendInfo");
        return SendError(SrvErr_SendFailed, &request);
    }
    m_lastReply = cmd_SendInfo;
    PlaySoundEvent(kSoundDataRequested, kSoundFlagsSync);
    // The peer closes once it has the list.
}

void CDataSock::ServeData(CMessage& request) {
    ExTrace(L"DataSock cmd_GetData");
    if (!m_server.IsRequestAllowed(m_peer, cmd_GetData)) return SendError(SrvErr_Rejected, &request);
    if (!m_server.CanServeClipboard(m_peer, cmd_GetData)) return SendError(SrvErr_Busy, &request);
    if (static_cast<int32_t>(request.length) > static_cast<int32_t>(MaxFormatNameBytes)) {
        ExTrace(L"DataSock: cmd_GetData requested format str too long");
        return SendError(SrvErr_Protocol, &request);
    }
    const std::optional<std::u16string> name = DecodeFormatName(m_buffer + MessageHeaderSize, request.length);
    if (!name || name->size() >= MaxFormatNameBytes) {
        ExTrace(L"DataSock: bad incoming data format");
        return SendError(SrvErr_Protocol, &request);
    }
    request.command = cmd_SendData;
    const std::wstring wideName(name->begin(), name->end());
    if (!GetData(wideName.c_str())) {
        ExTrace(L"DataSock: Failed to get clipboard data");
        return SendError(SrvErr_NoData, &request);
    }
    PrepareSendData(request, m_dataPointer, m_dataSize);
    ExTrace(L"DataSock : cmd_SendData Total=%d; CRC=%X", static_cast<int>(m_dataSize), request.checksum);
    m_cursor = m_dataPointer;
    m_bytesLeft = static_cast<int32_t>(m_dataSize);
    const auto header = request.Encode();
    if (Send(header.data(), static_cast<int>(header.size())) == -1) {
        ExTrace(L"DataSock: Failed to send cmd_SendData");
        return SendError(SrvErr_SendFailed, &request);   // the block stays held until the end
    }
    m_lastReply = cmd_SendData;
    SendPending();
}

BOOL CDataSock::SendPending() {
    if (m_dataPointer == nullptr || m_bytesLeft < 1) return FALSE;
    bool failed = false;
    for (;;) {
        const int piece = std::min(m_bytesLeft, static_cast<int32_t>(kSendChunk));
        const int sent = Send(m_cursor, piece);
        if (sent == -1) {
            const int reason = ::WSAGetLastError();
            if (reason == WSAEWOULDBLOCK) {
                ExTrace(L"DataSock : cmd_SendData WSAEWOULDBLOCK");
                return TRUE;   // the next write event goes on
            }
            ExTrace(L"DataSock : cmd_SendData ERROR=%d", reason);
            ExTrace(L"DataSock: FAILED to cmd_SendData");
            failed = true;
            break;
        }
        m_cursor += sent;
        m_bytesLeft -= sent;
        ExTrace(L"DataSock : cmd_SendData %d of %d;  err=%d", static_cast<int>(m_cursor - m_dataPointer),
                static_cast<int>(m_dataSize), ::WSAGetLastError());
        if (m_bytesLeft <= 0) break;
    }
    const uint32_t lastReply = m_lastReply;
    ReleaseData();
    ExTrace(L"DataSock: Finished to cmd_SendData");
    if (!failed) {
        if (lastReply == cmd_SendData) PlaySoundEvent(kSoundDataTransmitted, kSoundFlagsSync);
        else if (lastReply == cmd_SendInfo) PlaySoundEvent(kSoundDataRequested, kSoundFlagsSync);
    }
    CloseConnection(!failed);
    return TRUE;
}

void CDataSock::OnSend(int /*error*/) {
    SendPending();
    ReleaseSelfIfEnded();
}

void CDataSock::OnClose(int error) {
    ExTrace(L"CDataSock::OnClose %d", error);
    ReleaseData();
    CloseConnection(true);
    ReleaseSelfIfEnded();
}
