// The serving connection (see DataSock.h for threads and ownership).
#include "protocol/DataSock.h"

#include <algorithm>
#include <string>

#include "protocol/TransferMessages.h"
#include "protocol/WideText.h"
#include "runtime/Trace.h"
#include "settings/SoundEvents.h"

namespace {

// A trace line that the request machine chose.
void Trace(const TraceNote& note) {
    if (note) ExTrace(note.format, note.first, note.second);
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

void CDataSock::Serve(SOCKET accepted, ULONG peer, IServingSide& side, CConnectionSlot slot) {
    const std::wstring from = DottedAddress(peer);
    // The peer and the ownership are in place before the event thread can run a handler.
    auto owned = std::make_unique<CDataSock>(side);
    CDataSock& connection = *owned;
    connection.m_peer = peer;
    connection.m_slot = std::move(slot);
    connection.m_self = std::move(owned);
    ExTrace(L"Server: Connection accepted from IP: %s", from.c_str());
    if (!connection.Attach(accepted)) {
        // Attach has closed the handle; closing it again could close another connection's.
        ExTrace(L"Server: Failed to accept connection from IP: %s", from.c_str());
        connection.m_self.reset();   // the object goes here
    }
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
    m_locked.reset();
    m_data.Reset();
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
    UniqueGlobal block(m_side.GetClipboardData(name));
    GlobalLockGuard locked(block.Get());
    if (locked.Data() == nullptr) return FALSE;   // the block, if any, goes with `block`
    m_dataPointer = static_cast<const uint8_t*>(locked.Data());
    m_dataSize = static_cast<uint32_t>(locked.Size());
    m_locked.emplace(std::move(locked));
    m_data = std::move(block);
    return TRUE;
}

void CDataSock::OnReceive(int /*error*/, u_long bytesAvailable) {
    ExTrace(L"CDataSock:OnReceive %d of %d", static_cast<int>(bytesAvailable), static_cast<int>(MessageHeaderSize));
    const std::span<uint8_t> space = m_assembler.Space();
    const int got = Receive(space.data(), static_cast<int>(space.size()));
    if (got == -1 && ::WSAGetLastError() == WSAEWOULDBLOCK) return;   // a read event already served
    if (got <= 0) {
        // Once the request is answered the peer's close is expected: OnClose follows.
        if (m_assembler.IsAnswered()) return;
        ExTrace(L"DataSock: ReceiveFrom failed with %d", ::WSAGetLastError());
        Terminate(false);
    } else {
        Carry(m_assembler.Received(static_cast<size_t>(got), ::GetTickCount64()));
    }
    ReleaseSelfIfEnded();
}

DWORD CDataSock::IdleInterval() const noexcept {
    const std::optional<uint64_t> left = m_assembler.TimeLeft(::GetTickCount64());
    return left ? static_cast<DWORD>(std::min<uint64_t>(*left, WSA_INFINITE - 1)) : WSA_INFINITE;
}

void CDataSock::OnIdle() {
    Carry(m_assembler.Expired(::GetTickCount64()));
    ReleaseSelfIfEnded();
}

void CDataSock::Carry(const RequestDecision& decision) {
    switch (decision.action) {
        case RequestDecision::Action::Wait:
            Trace(decision.note);
            return;
        case RequestDecision::Action::End:
            Trace(decision.note);
            Terminate(false);
            return;
        case RequestDecision::Action::Refuse:
            if (!decision.noteAfterReply) Trace(decision.note);
            SendError(decision.error, decision.request);
            if (decision.noteAfterReply) Trace(decision.note);
            if (decision.end) Terminate(true);
            return;
        case RequestDecision::Action::Serve: {
            CMessage request = *decision.request;
            if (request.command == cmd_GetInfo) ServeInfo(request);
            else ServeData(request, decision);
            return;
        }
    }
}

void CDataSock::ServeInfo(CMessage& request) {
    ExTrace(L"DataSock cmd_GetInfo");
    if (!m_side.IsRequestAllowed(m_peer, cmd_GetInfo)) return SendError(SrvErr_Rejected, &request);
    if (!m_side.CanServeClipboard(m_peer, cmd_GetInfo)) return SendError(SrvErr_Busy, &request);
    std::wstring list;
    if (!m_side.GetLocalClipInfo(list)) {
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

void CDataSock::ServeData(CMessage& request, const RequestDecision& decision) {
    ExTrace(L"DataSock cmd_GetData");
    if (!m_side.IsRequestAllowed(m_peer, cmd_GetData)) return SendError(SrvErr_Rejected, &request);
    if (!m_side.CanServeClipboard(m_peer, cmd_GetData)) return SendError(SrvErr_Busy, &request);
    if (decision.nameError != SrvErr_None) {
        Trace(decision.note);
        return SendError(decision.nameError, &request);
    }
    request.command = cmd_SendData;
    const std::wstring wideName = ToWide(decision.name);
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
    m_assembler.Sending(::GetTickCount64());
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
        m_assembler.Sent(::GetTickCount64());
        ExTrace(L"DataSock : cmd_SendData %d of %d;  err=%d", static_cast<int>(m_cursor - m_dataPointer),
                static_cast<int>(m_dataSize), ::WSAGetLastError());
        if (m_bytesLeft <= 0) break;
    }
    const uint32_t lastReply = m_lastReply;
    ReleaseData();
    ExTrace(L"DataSock: Finished to cmd_SendData");
    // Only a data reply has data to send (a header whose send failed leaves no reply recorded).
    if (!failed && lastReply == cmd_SendData) PlaySoundEvent(kSoundDataTransmitted, kSoundFlagsSync);
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
