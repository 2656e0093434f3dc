// Ear: the discovery listener. Every host listens on the UDPPort setting for the 56-byte cmd_Who
// datagrams of the others: a query is answered (to the sender's address at the UDPPort setting,
// whatever port it came from) and its sender listed, an answer lists its sender, a leave
// removes it. What is heard goes into the host table; every failure is a trace line and dropped.
//
// Two datagram sockets: the listening socket (Ear itself: non-blocking, its own event thread,
// bound by the server coordinator) and the answer socket (blocking, no event thread, never
// bound: its first send gives it a port).
//
// Threads: OnReceive runs on the listening socket's event thread, one datagram at a time; it
// reads the settings (UDPPort, LocalName) without a lock (UDPPort is one word written whole;
// LocalName is written only by the start-up's Load, before this thread exists) and calls the
// host table, which locks itself. Create, Bind and Close run on the main thread; Close waits for
// a running OnReceive before it returns.
#pragma once

#include "runtime/EventSocket.h"

class CSettings;
class Hosts;

// Broadcasts one cmd_Who with the local name and the command (cmd_WhoQuery or cmd_WhoLeave) to
// 255.255.255.255 at the UDPPort setting, from a socket made for it. TRUE if it was sent. Any
// thread; it touches nothing but the settings.
BOOL BroadcastWho(const CSettings& settings, DWORD command);

class Ear : private EventSocket {
public:
    Ear(Hosts& hosts, const CSettings& settings) noexcept;
    ~Ear() override;

    // Makes the answer socket, then the listening socket with its event thread. FALSE if either
    // fails; a failed listening socket leaves the answer socket open until Close.
    BOOL Create();
    // Binds the listening socket to the port on every local address.
    bool Bind(USHORT port);
    // Closes the listening socket (waiting for a running OnReceive), then the answer socket
    // that OnReceive sends on; each gracefully. Safe when closed.
    void Close();

    // The listening socket's handle (INVALID_SOCKET while closed) and the answer socket's.
    [[nodiscard]] SOCKET ListeningHandle() const noexcept { return Handle(); }
    [[nodiscard]] SOCKET AnswerHandle() const noexcept { return m_answer.Handle(); }

protected:
    // Reads and handles one datagram; both arguments are ignored.
    void OnReceive(int error, u_long bytesAvailable) override;

private:
    // Sends a cmd_WhoAnswer with the local name to the address at the UDPPort setting.
    void Answer(ULONG address);
    // A host said goodbye: traced if it was listed, then removed from the table.
    void ForgetHost(ULONG address);

    Hosts& m_hosts;
    const CSettings& m_settings;
    EventSocket m_answer;
};
