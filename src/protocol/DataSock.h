// CDataSock: one accepted connection that serves this host's clipboard to a peer. Its request is
// assembled and checked by CRequestAssembler, which it feeds with the bytes it receives and asks
// again when its wait for events times out; it does what the machine decides: asks the
// coordinator whether the peer may be served, and answers with the format list, with the data of
// one format (streamed from the locked block in pieces, resuming on each write event), or with an
// error reply, and ends the connection. What it asks of the host it serves for goes through
// IServingSide (the coordinator's serving policy).
//
// Threads: every handler (the timer's too) runs on the connection's own event thread, so its fields
// need no lock.
// The object owns itself from the accept on (m_self) and lets go of itself as the last act of
// the handler that ended it; nothing waits for its thread, and nothing touches it afterwards.
// Several connections run at once; what they share is the serving side (ServingPolicy.h says
// how it copes) and the read-only checksum table.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>

#include "protocol/ConnectionCount.h"
#include "protocol/Message.h"
#include "protocol/RequestAssembler.h"
#include "protocol/ServingSide.h"
#include "runtime/EventSocket.h"
#include "runtime/Handles.h"

class CDataSock : public EventSocket {
public:
    static constexpr int kSendChunk = 2920;

    // The request's time starts here, at the accept.
    explicit CDataSock(IServingSide& side) noexcept : m_side(side), m_assembler(::GetTickCount64()) {}
    ~CDataSock() override;

    // Makes an accepted socket (from the peer at the address, host order) a new connection that
    // owns itself and holds the slot for its lifetime; if its event thread cannot be had, the
    // socket is closed and the object is gone again.
    static void Serve(SOCKET accepted, ULONG peer, IServingSide& side, CConnectionSlot slot);

    // Hands pending data to the socket; TRUE when it did anything.
    BOOL SendPending();
    // Gets the named format's block from the serving side and locks it.
    BOOL GetData(const wchar_t* name);
    void ReleaseData();
    // Ends the connection: data released, socket closed (graceful: sending direction shut first).
    void Terminate(bool graceful);
    // One error reply; with a request header its command and sequence are copied in.
    void SendError(uint32_t error, const CMessage* request);

protected:
    void OnClose(int error) override;
    void OnReceive(int error, u_long bytesAvailable) override;
    void OnSend(int error) override;
    // Until the request machine's time runs out, and then whether it has.
    [[nodiscard]] DWORD IdleInterval() const noexcept override;
    void OnIdle() override;

private:
    // Does what the request machine decided.
    void Carry(const RequestDecision& decision);
    void ServeInfo(CMessage& request);
    void ServeData(CMessage& request, const RequestDecision& decision);
    // Closes without lingering where the peer has it all, abortively where it never will:
    // either way the close returns at once (see the README's notes on lingering).
    void CloseConnection(bool delivered);
    // The handler that ended the connection lets go of the object as its last act.
    void ReleaseSelfIfEnded();

    IServingSide& m_side;
    CConnectionSlot m_slot;              // counts this connection as open while it lives
    std::unique_ptr<CDataSock> m_self;   // set at accept, released when the connection ends
    bool m_ended = false;

    UniqueGlobal m_data;
    std::optional<GlobalLockGuard> m_locked;   // m_data, locked while it is sent
    const uint8_t* m_dataPointer = nullptr;
    const uint8_t* m_cursor = nullptr;
    uint32_t m_dataSize = 0;
    int32_t m_bytesLeft = 0;
    CRequestAssembler m_assembler;
    ULONG m_peer = 0;
    uint32_t m_lastReply = 0;
};
