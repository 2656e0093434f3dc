// A remote host's clipboard taken as the local one: its format list is fetched through the
// coordinator and promised on the local clipboard with delayed rendering, owned by the hidden
// window; when an application pastes a promised format the hidden window's WM_RENDERFORMAT asks
// this object to fetch and hand over that format's data.
//
// Threads: everything here runs on the main thread (the hidden window's handlers and the host
// pages' double click), no lock of its own. The pending formats it fills are the coordinator's
// (CServer::Pending), read by the serving threads under the pending list's own lock.
#pragma once

#include <windows.h>

#include <string>

class CServer;
class CSettings;

class CRemoteClipboard {
public:
    // renderedMessage: what Render posts to the owner window once a render has handed its data
    // over; the owner answers it by calling OnRendered.
    CRemoteClipboard(CServer& server, const CSettings& settings, UINT renderedMessage) noexcept
        : m_server(server), m_settings(settings), m_renderedMessage(renderedMessage) {}

    // Makes the host's clipboard the local one, owned by the owner window. Host 0 only forgets
    // the current host. False when the format list could not be had: the coordinator's status
    // says why, and the local clipboard stays as it was.
    bool Take(HWND owner, DWORD host);
    // Empties the clipboard and promises each format of the list (names joined by "/") for
    // delayed rendering, except those that only make sense inside the program that put them
    // there; records them as pending and the host as theirs, and plays "ReadyToTransfer" when
    // something was promised.
    void PlaceRemoteFormats(HWND owner, const std::wstring& list, DWORD host);

    // WM_RENDERFORMAT on the owner window: fetches the format from the host that placed it and
    // puts it on the clipboard. False when the fetch failed (the coordinator's status says why;
    // the pasting application gets nothing for this format).
    bool Render(HWND owner, UINT format);
    // The owner's answer to renderedMessage: the "TransferCompleted" sound, after the pasting
    // application has been let go.
    void OnRendered();

    // Whose clipboard was asked for last, and whose formats the clipboard holds from the last
    // placement (0 before any): pastes fetch from the latter, whatever other host's take failed since.
    [[nodiscard]] DWORD CurrentHost() const noexcept { return m_currentHost; }
    [[nodiscard]] DWORD PlacedHost() const noexcept { return m_placedHost; }

private:
    // Puts a fetched block (and a file list's companions) on the open clipboard. False when the
    // clipboard refused the block, which is then still the caller's.
    bool SetFetchedData(UINT format, HGLOBAL data);
    // A block that arrived after the pasting application stopped waiting: onto the clipboard
    // all the same while the owner still owns it, else freed.
    void KeepLateData(HWND owner, UINT format, HGLOBAL data);

    CServer& m_server;
    const CSettings& m_settings;
    const UINT m_renderedMessage;
    DWORD m_currentHost = 0;
    DWORD m_placedHost = 0;
};
