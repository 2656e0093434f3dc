// The server coordinator's start, shutdown and broadcasts (see Server.h for threads).
#include "protocol/Server.h"

#include "protocol/Message.h"
#include "protocol/WhoMessage.h"
#include "runtime/Trace.h"
#include "settings/Settings.h"

namespace {
constexpr int kListenBacklog = 5;
}  // namespace

CServer::CServer() : CServer(theSettings) {}

CServer::CServer(CSettings& settings) : m_settings(settings), m_hosts(settings), m_ear(m_hosts, settings) {
    m_settings.SetHostTable(&m_hosts);
}

CServer::~CServer() {
    CloseSockets(false);
    // The settings record outlives this object: it must not walk a table that is gone.
    m_settings.SetHostTable(nullptr);
}

void CServer::CloseSockets(bool graceful) {
    m_listener.Close(graceful);
    m_ear.Close();
}

bool CServer::Init() {
    if (m_initialized) return false;
    if (!m_ear.Create()) {
        ExTrace(L"CServer: Failed to create the discovery sockets (%d)", ::WSAGetLastError());
        m_ear.Close();   // the answer socket may be open
        return false;
    }
    if (!m_listener.Create(SOCK_STREAM, EventSocket::AllNetworkEvents, false)) {
        ExTrace(L"CServer: Failed to create the listener (%d)", ::WSAGetLastError());
        m_ear.Close();
        return false;
    }
    const auto udpPort = static_cast<USHORT>(m_settings.UDPPort);
    const auto tcpPort = static_cast<USHORT>(m_settings.TCPPort);
    if (!m_ear.Bind(udpPort)) {
        ExTrace(L"CServer: Failed to bind UDP port %d (%d)", static_cast<int>(udpPort), ::WSAGetLastError());
        CloseSockets(false);
        return false;
    }
    if (!m_listener.Listen(tcpPort, nullptr, kListenBacklog)) {
        ExTrace(L"CServer: Failed to listen on TCP port %d (%d)", static_cast<int>(tcpPort), ::WSAGetLastError());
        CloseSockets(false);
        return false;
    }
    // Discovery may already be adding hosts: LoadHosts swaps the friends in under the table's lock.
    m_settings.SetHostTable(&m_hosts);
    m_settings.LoadHosts();
    BroadcastQuery();   // whether it went out or not, the others' queries will find us
    m_initialized = true;
    return true;
}

void CServer::Shutdown() {
    if (!m_initialized) return;
    BroadcastLeave();
    m_initialized = false;
    m_ear.Close();
    // A listener has nothing to send, so its close never waits on lingering data; the close
    // waits only for a running accept handler, which closes its connections without lingering.
    m_listener.Close(true);
    m_hosts.RemoveAll();
}

BOOL CServer::GetLocalClipInfo(std::wstring& list) const {
    list.clear();
    return m_initialized && m_clipboard.GetLocalClipInfo(list);
}

HGLOBAL CServer::GetClipboardData(const wchar_t* name) const {
    return m_initialized ? m_clipboard.GetClipboardData(name) : nullptr;
}

BOOL CServer::BroadcastWho(DWORD command) {
    EventSocket socket;
    bool sent = socket.Create(SOCK_DGRAM, EventSocket::AllNetworkEvents, true) && socket.SetBroadcast(true);
    if (sent) {
        CWhoMessage message(m_settings.LocalName.c_str());
        message.header.command = command;
        const auto bytes = message.Encode();
        sent = socket.Broadcast(static_cast<USHORT>(m_settings.UDPPort), bytes.data(), static_cast<int>(bytes.size()));
    }
    socket.Close(true);
    if (!sent) ExTrace(L"CServer: Failed to broadcast cmd_Who");
    return sent ? TRUE : FALSE;
}

BOOL CServer::ForEachHost(Hosts::HostCallback callback, void* context) const {
    return m_hosts.ForEachHost(callback, context);
}
