// The discovery listener's sockets and its handling of one datagram (see Ear.h for threads).
#include "protocol/Ear.h"

#include <array>
#include <optional>
#include <string>

#include "protocol/Hosts.h"
#include "protocol/Message.h"
#include "protocol/WhoMessage.h"
#include "protocol/WideText.h"
#include "runtime/Trace.h"
#include "settings/Settings.h"

Ear::Ear(Hosts& hosts, const CSettings& settings) noexcept : m_hosts(hosts), m_settings(settings) {}

Ear::~Ear() {
    // The handler uses this class's members: its thread must end before they go.
    Close();
}

BOOL Ear::Create() {
    if (!m_answer.Create(SOCK_DGRAM, AllNetworkEvents, true)) return FALSE;
    return EventSocket::Create(SOCK_DGRAM, AllNetworkEvents, false) ? TRUE : FALSE;
}

bool Ear::Bind(USHORT port) {
    return EventSocket::Bind(port, nullptr);
}

void Ear::Close() {
    // The listening socket first: its close waits for a running OnReceive, which may be sending
    // an answer on the answer socket; only then can that one go.
    EventSocket::Close(true);
    m_answer.Close(true);
}

void Ear::Answer(ULONG address) {
    CWhoMessage answer(m_settings.LocalName.c_str());
    answer.header.command = cmd_WhoAnswer;
    const auto bytes = answer.Encode();
    const auto port = static_cast<USHORT>(m_settings.UDPPort);
    if (m_answer.SendTo(address, port, bytes.data(), static_cast<int>(bytes.size())) == SOCKET_ERROR)
        ExTrace(L"Ear: SendTo failed with %d", ::WSAGetLastError());
}

void Ear::ForgetHost(ULONG address) {
    // Only this thread adds and removes hosts while the Ear runs, so the record looked up is the
    // one removed. The line names the host, as "Hosts: AddHost" did when it came.
    HostInfo leaving;
    if (m_hosts.GetHost(address, leaving)) ExTrace(L"Ear: Host [%s] left", leaving.Name.c_str());
    m_hosts.RemoveHost(address);
}

void Ear::OnReceive(int, u_long) {
    // The receive buffer is an empty message's image: what a short datagram leaves out keeps the
    // signature and zeros, so even an empty datagram reads as a message (with command 0).
    CWhoMessage message;
    std::array<uint8_t, WhoMessageSize> buffer = message.Encode();
    ULONG address = 0;
    USHORT port = 0;
    // Cleared first so that the traced error belongs to this receive (0 when it succeeded).
    ::WSASetLastError(0);
    const int received = ReceiveFrom(buffer.data(), static_cast<int>(buffer.size()), address, port);
    const int error = ::WSAGetLastError();
    std::wstring sender;
    ExTrace(L"Ear: ReceiveFrom %s;  res=%d; err=%d;", FormatAddress(address, port, sender), received, error);
    // A datagram longer than the buffer is not read at all (WSAEMSGSIZE), like any failed receive.
    if (received < 0) {
        ExTrace(L"Ear: ReceiveFrom failed with %d", error);
        return;
    }
    message.DecodeDatagram(buffer.data(), buffer.size());

    if (!message.header.HasSignature()) {
        ExTrace(L"Ear: Invalid message signature");
        return;
    }
    switch (message.header.command) {
        case cmd_WhoAnswer:
            break;
        case cmd_WhoQuery:
            // Answered whatever follows: a failed answer or a missing name does not undo it.
            Answer(address);
            break;
        case cmd_WhoLeave:
            ForgetHost(address);   // whatever name it carries
            return;
        default:
            ExTrace(L"Ear: Invalid command");
            return;
    }

    // The name counts only when the length field announces it and the field ends within its 16
    // units (the field lies in our own buffer, so ending is all there is to check).
    std::optional<std::u16string> nickname;
    if (message.HasNicknameField()) {
        nickname = message.ReadNickname();
        if (!nickname) ExTrace(L"Ear: Provided nickname IsBadStringPtr");
    }
    if (!nickname) {
        // Hosts of this program always send their name: a nameless datagram is foreign or
        // damaged, and a record without a name could be neither shown nor recognised as friend.
        ExTrace(L"Ear: No usable nickname, host not added");
        return;
    }
    m_hosts.AddHost(address, ToWide(*nickname).c_str());
}

BOOL BroadcastWho(const CSettings& settings, DWORD command) {
    EventSocket socket;
    bool sent = socket.Create(SOCK_DGRAM, EventSocket::AllNetworkEvents, true) && socket.SetBroadcast(true);
    if (sent) {
        CWhoMessage message(settings.LocalName.c_str());
        message.header.command = command;
        const auto bytes = message.Encode();
        sent = socket.Broadcast(static_cast<USHORT>(settings.UDPPort), bytes.data(), static_cast<int>(bytes.size()));
    }
    socket.Close(true);
    if (!sent) ExTrace(L"CServer: Failed to broadcast cmd_Who");
    return sent ? TRUE : FALSE;
}
