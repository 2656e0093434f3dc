// The server coordinator's start, shutdown and broadcasts (see Server.h for threads).
#include "protocol/Server.h"

#include "protocol/Message.h"
#include "protocol/TransferProgress.h"
#include "resource.h"
#include "runtime/FaultGuard.h"
#include "runtime/Trace.h"
#include "settings/Settings.h"

CServer::CServer(CSettings& settings, IClipboardSource& clipboard)
    : m_settings(settings),
      m_clipboard(clipboard),
      m_serving(settings, m_hosts, m_pending, clipboard),
      m_ear(m_hosts, settings),
      m_listener(m_serving),
      m_talker(settings) {}

CServer::~CServer() {
    CloseSockets(false);
}

void CServer::CloseSockets(bool graceful) {
    m_listener.Close(graceful);
    m_ear.Close();
}

bool CServer::Init() {
    if (m_initialized) return false;
    if (!m_talker.Start()) {
        ExTrace(L"CServer: Failed to start the client (%d)", static_cast<int>(::GetLastError()));
        return false;
    }
    if (!m_ear.Create()) {
        ExTrace(L"CServer: Failed to create the discovery sockets (%d)", ::WSAGetLastError());
        m_ear.Close();   // the answer socket may be open
        m_talker.CommitSuicide();
        return false;
    }
    if (!m_listener.Create(SOCK_STREAM, EventSocket::AllNetworkEvents, false)) {
        ExTrace(L"CServer: Failed to create the listener (%d)", ::WSAGetLastError());
        m_ear.Close();
        m_talker.CommitSuicide();
        return false;
    }
    // The options store any number typed as a port: one beyond 65535 fails like a port that
    // cannot be had, instead of binding whatever its low 16 bits name.
    const auto usable = [](DWORD port) {
        if (port <= 0xFFFF) return true;
        ::WSASetLastError(WSAEINVAL);
        return false;
    };
    const DWORD udpPort = m_settings.UDPPort;
    const DWORD tcpPort = m_settings.TCPPort;
    if (!usable(udpPort) || !m_ear.Bind(static_cast<USHORT>(udpPort))) {
        ExTrace(L"CServer: Failed to bind UDP port %d (%d)", static_cast<int>(udpPort), ::WSAGetLastError());
        CloseSockets(false);
        m_talker.CommitSuicide();
        return false;
    }
    if (!usable(tcpPort) || !m_listener.Listen(static_cast<USHORT>(tcpPort), nullptr, CServerListener::Backlog)) {
        ExTrace(L"CServer: Failed to listen on TCP port %d (%d)", static_cast<int>(tcpPort), ::WSAGetLastError());
        CloseSockets(false);
        m_talker.CommitSuicide();
        return false;
    }
    // Discovery may already be adding hosts: the friends are swapped in under the table's lock.
    m_hosts.LoadFriends();
    BroadcastQuery();   // whether it went out or not, the others' queries will find us
    m_initialized = true;
    m_serving.SetServing(true);
    return true;
}

void CServer::Shutdown() {
    if (!m_initialized) return;
    BroadcastLeave();
    m_initialized = false;
    m_serving.SetServing(false);
    m_ear.Close();
    // A listener has nothing to send, so its close never waits on lingering data; the close
    // waits only for a running accept handler, which closes its connections without lingering.
    m_listener.Close(true);
    m_talker.CommitSuicide();
    m_hosts.RemoveAll();
}

void CServer::SetProgress(CTransferProgress* progress) noexcept {
    m_progress = progress;
    m_talker.SetProgress(progress);
}

void CServer::CloseProgress() {
    if (m_progress) m_progress->CloseProgress();
}

void CServer::TakeTalkResult() {
    const TalkResult result = m_talker.Result();
    SetStatus(result.status, result.systemError);
}

void CServer::DropTalker() {
    m_talkerNeedsRestart = true;
    m_talker.CommitSuicide();
}

bool CServer::EnsureTalker() {
    if (!m_talkerNeedsRestart) return true;
    if (!m_talker.Start()) {
        SetStatus(IDS_INTERNAL_ERROR_DETAIL, 0);
        return false;
    }
    m_talkerNeedsRestart = false;
    return true;
}

bool CServer::GetRemoteClipInfo(ULONG host, std::wstring& list) {
    ::SetLastError(0);
    SetStatus(kStatusNone, 0);
    list.clear();
    if (!m_initialized) {
        SetStatus(IDS_NOT_INITIALIZED, 0);
        return false;
    }
    bool result = false;
    const GuardOutcome outcome = RunGuarded([&] {
        if (!EnsureTalker()) return;
        const BOOL fetched = m_talker.GetRemoteClipInfo(host);
        TakeTalkResult();
        if (fetched) {
            list = m_talker.FormatList();
            result = !list.empty();
            if (!result) SetStatus(IDS_REMOTE_EMPTY, 0);
        } else if (Status() == IDS_INTERNAL_ERROR_DETAIL) {
            DropTalker();
        }
        ExTrace(L"GetRemoteClipInfo: %s", list.c_str());
        CloseProgress();
    });
    if (outcome != GuardOutcome::Completed) {
        SetStatus(IDS_INTERNAL_ERROR_DETAIL, ::GetLastError());
        ExTrace(L"Exception caught in CServer::GetRemoteClipInfo");
        CloseProgress();
        return false;
    }
    return result;
}

HGLOBAL CServer::GetRemoteClipData(ULONG host, UINT format) {
    ::SetLastError(0);
    SetStatus(kStatusNone, 0);
    if (!m_initialized) {
        SetStatus(IDS_NOT_INITIALIZED, 0);
        return nullptr;
    }
    HGLOBAL result = nullptr;
    const GuardOutcome outcome = RunGuarded([&] {
        if (!EnsureTalker()) return;
        const wchar_t* name = FormatNameFromId(format);
        ExTrace(L"CServer::GetRemoteClipData format=%s", name ? name : L"");
        const BOOL fetched = m_talker.GetRemoteClipData(host, name ? name : L"");
        TakeTalkResult();
        if (fetched) {
            result = m_talker.TakeData();
            m_pending.Remove(format);
        } else if (Status() == IDS_INTERNAL_ERROR_DETAIL) {
            DropTalker();
        }
        CloseProgress();
    });
    if (outcome != GuardOutcome::Completed) {
        SetStatus(IDS_INTERNAL_ERROR_DETAIL, ::GetLastError());
        ExTrace(L"Exception caught in CServer::GetRemoteClipData");
        CloseProgress();
        if (result) ::GlobalFree(result);
        return nullptr;
    }
    return result;
}

BOOL CServer::ForEachHost(Hosts::HostCallback callback, void* context) const {
    return m_hosts.ForEachHost(callback, context);
}
