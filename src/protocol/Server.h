// CServer, the server coordinator: the one object that owns the network side of a host. It
// starts and stops, in a fixed order, the discovery listener Ear, the TCP listener
// CServerListener and the host table, and broadcasts the cmd_Who announcements.
//
// Threads: Init, Shutdown and ForEachHost run on the main thread; BroadcastWho and its two
// forms run on whichever thread calls them and touch nothing of the coordinator but the settings
// (read without a lock). The sockets' handlers run on their own event threads (Ear.h,
// ServerListener.h); the host table locks itself (Hosts.h).
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "clipboard/LocalClipboard.h"
#include "clipboard/PendingFormats.h"
#include "protocol/Ear.h"
#include "protocol/Hosts.h"
#include "protocol/Message.h"
#include "protocol/ServerListener.h"

class CSettings;

class CServer {
public:
    // The coordinator of the process works with theSettings; a test may give its own record.
    // The record's SaveHosts walks this coordinator's host table from now on.
    CServer();
    explicit CServer(CSettings& settings);
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
    BOOL BroadcastWho(DWORD command);
    BOOL BroadcastQuery() { return BroadcastWho(cmd_WhoQuery); }
    BOOL BroadcastLeave() { return BroadcastWho(cmd_WhoLeave); }

    // The host table's walk (the tray menu, the host pages, saving the friends).
    BOOL ForEachHost(Hosts::HostCallback callback, void* context) const;
    // The host table itself, for the host pages and the request checks.
    [[nodiscard]] Hosts& HostTable() noexcept { return m_hosts; }

    // The local clipboard as the serving side sees it (LocalClipboard.h has the threads).
    // GetLocalClipInfo fails, and GetClipboardData gives NULL, while not initialised.
    BOOL GetLocalClipInfo(std::wstring& list) const;
    HGLOBAL GetClipboardData(const wchar_t* name) const;
    static UINT FormatIdFromName(const wchar_t* name) { return CLocalClipboard::FormatIdFromName(name); }
    // Main thread only; valid until the next call.
    const wchar_t* FormatNameFromId(UINT id) { return m_clipboard.FormatNameFromId(id); }

    // The formats placed on the local clipboard from a remote host and not yet fetched.
    [[nodiscard]] PendingFormats& Pending() noexcept { return m_pending; }

    // The sockets, for tests and diagnostics (INVALID_SOCKET while closed).
    [[nodiscard]] SOCKET ListenerHandle() const noexcept { return m_listener.Handle(); }
    [[nodiscard]] const Ear& DiscoveryListener() const noexcept { return m_ear; }

private:
    // Closes the listener and the discovery sockets (used by a failed Init and the destructor).
    void CloseSockets(bool graceful);

    CSettings& m_settings;
    // The table comes before the sockets whose handlers fill it, so it is destroyed after them.
    Hosts m_hosts;
    Ear m_ear;
    CServerListener m_listener;
    CLocalClipboard m_clipboard;
    PendingFormats m_pending;
    // Written on the main thread by Init and Shutdown, read by the serving threads.
    std::atomic<bool> m_initialized{false};
};

// The process-wide coordinator (defined with the other process-wide objects).
extern CServer theServer;
