// CServer, the server coordinator: the one object that owns the network side of a host. It
// starts and stops, in a fixed order, the client CTalker, the discovery listener Ear, the TCP
// listener CServerListener (whose connections serve the local clipboard) and the host table;
// it is the only way the user-interface side asks a remote host for its clipboard; it keeps the
// status of the last request with its user message (CRequestStatus); and its serving policy
// (CServingPolicy) decides whether a peer is served. The local clipboard is the process's
// clipboard source, which the coordinator only refers to.
//
// Threads: Init, Shutdown, ForEachHost, the remote requests and the status run on the main
// thread (a request blocks it until the client's worker has finished; the coordinator then reads
// the client's result and records it as the status). The serving policy runs on the serving
// connections' event threads (ServingPolicy.h). BroadcastWho runs on whichever thread calls it
// and touches nothing of the coordinator but the settings.
#pragma once

#include <windows.h>

#include <string>

#include "protocol/ClipboardSource.h"
#include "protocol/Ear.h"
#include "protocol/Hosts.h"
#include "protocol/Message.h"
#include "protocol/PendingFormats.h"
#include "protocol/RequestStatus.h"
#include "protocol/ServerListener.h"
#include "protocol/ServingPolicy.h"
#include "protocol/Status.h"
#include "protocol/Talker.h"

class CSettings;
class CTransferProgress;

class CServer {
public:
    // The settings record and the local clipboard (the process's own, or a test's) outlive it.
    CServer(CSettings& settings, IClipboardSource& clipboard);
    CServer(const CServer&) = delete;
    CServer& operator=(const CServer&) = delete;
    // Closes whatever is still open (at process exit Shutdown has normally done it).
    virtual ~CServer();

    // Opens the discovery sockets and the TCP listener on the settings' ports, loads the
    // friends and asks the network who is there. False, with everything it opened closed
    // again, when already initialised or when a socket cannot be made or a port is taken.
    bool Init();
    // Says goodbye to the network, closes the sockets and empties the host table. Does nothing
    // unless initialised. Never waits long: every close waits at most for a running handler.
    void Shutdown();
    [[nodiscard]] bool IsInitialized() const noexcept { return m_initialized; }

    // Broadcasts one cmd_Who with the local name and the command (cmd_WhoQuery or cmd_WhoLeave)
    // to 255.255.255.255 at the UDPPort setting, from a socket made for it. TRUE if it was sent.
    BOOL BroadcastWho(DWORD command) { return ::BroadcastWho(m_settings, command); }
    BOOL BroadcastQuery() { return BroadcastWho(cmd_WhoQuery); }
    BOOL BroadcastLeave() { return BroadcastWho(cmd_WhoLeave); }

    // The host table's walk (the tray menu, the host pages, saving the friends).
    BOOL ForEachHost(Hosts::HostCallback callback, void* context) const;
    // The host table itself, for the host pages and the request checks.
    [[nodiscard]] Hosts& HostTable() noexcept { return m_hosts; }

    // Remote requests (main thread). The format list of a host: false, with the status set, on
    // failure or when the list is empty. The data of one format as a movable block that the
    // caller owns, or null with the status set.
    bool GetRemoteClipInfo(ULONG host, std::wstring& list);
    HGLOBAL GetRemoteClipData(ULONG host, UINT format);

    // The status of the last request and its user message.
    void SetStatus(StatusId status, DWORD systemError) { m_status.Set(status, systemError); }
    [[nodiscard]] StatusId Status() const noexcept { return m_status.Id(); }
    [[nodiscard]] const std::wstring& GetStatusText() const noexcept { return m_status.Text(); }

    // Whom the serving side serves, and the clipboard it serves them (serving threads).
    [[nodiscard]] CServingPolicy& Serving() noexcept { return m_serving; }

    // The progress window that the client reports to (set once at start-up), or none.
    void SetProgress(CTransferProgress* progress) noexcept;
    // The window that owns the placed formats and renders them: the hidden window, set once it
    // exists (the serving threads may already be asking).
    void SetClipboardOwner(HWND owner) noexcept { m_serving.SetClipboardOwner(owner); }

    // Format ids and names (main thread; a name is valid until the next call).
    UINT FormatIdFromName(const wchar_t* name) const { return m_clipboard.FormatIdFromName(name); }
    const wchar_t* FormatNameFromId(UINT id) { return m_clipboard.FormatNameFromId(id); }

    // The formats placed on the local clipboard from a remote host and not yet fetched.
    [[nodiscard]] PendingFormats& Pending() noexcept { return m_pending; }

    // The sockets, for tests and diagnostics (INVALID_SOCKET while closed).
    [[nodiscard]] SOCKET ListenerHandle() const noexcept { return m_listener.Handle(); }
    [[nodiscard]] int OpenConnections() const noexcept { return m_listener.OpenConnections(); }
    [[nodiscard]] const Ear& DiscoveryListener() const noexcept { return m_ear; }

private:
    // Ends the client after an internal error; the next request restarts it first.
    void DropTalker();
    // Restarts a dropped client; false (status IDS_INTERNAL_ERROR_DETAIL) if it cannot be started.
    bool EnsureTalker();
    void CloseProgress();
    // Records the client's result as the status, after its wait.
    void TakeTalkResult();

    // Closes the listener and the discovery sockets (used by a failed Init and the destructor).
    void CloseSockets(bool graceful);

    CSettings& m_settings;
    CRequestStatus m_status;
    // The table, the pending formats and the policy come before the sockets whose handlers use
    // them, so they are destroyed after them.
    Hosts m_hosts;
    PendingFormats m_pending;
    IClipboardSource& m_clipboard;
    CServingPolicy m_serving;
    Ear m_ear;
    CServerListener m_listener;
    CTalker m_talker;
    bool m_talkerNeedsRestart = false;   // main thread only
    CTransferProgress* m_progress = nullptr;
    // Main thread (the serving threads ask the policy, which Init and Shutdown switch with it).
    bool m_initialized = false;
};

// The process-wide coordinator (defined with the other process-wide objects).
extern CServer theServer;
