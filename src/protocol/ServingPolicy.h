// CServingPolicy: whom this host serves its clipboard to, and when. A peer is refused while the
// host is locked, and a stranger (or a known host that is no friend) while it serves friends
// only; a peer it has not heard of is asked to announce itself. The clipboard is refused while
// it holds formats borrowed from another host and not yet fetched, and while the coordinator is
// not serving (before Init, after Shutdown).
//
// Threads: IsRequestAllowed, CanServeClipboard, GetLocalClipInfo and GetClipboardData run on the
// serving connections' event threads, several at once. They read the settings (relaxed atomics),
// the host table (under its own lock), the clipboard owner and the pending count (atomics), and
// this object's serving flag (an atomic, written by the coordinator on the main thread).
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "protocol/ClipboardSource.h"
#include "protocol/ServingSide.h"

class CSettings;
class Hosts;
class PendingFormats;

class CServingPolicy final : public IServingSide {
public:
    // All of them outlive the policy.
    CServingPolicy(const CSettings& settings, const Hosts& hosts, const PendingFormats& pending,
                   const IClipboardSource& clipboard) noexcept
        : m_settings(settings), m_hosts(hosts), m_pending(pending), m_clipboard(clipboard) {}

    bool IsRequestAllowed(ULONG peer, DWORD command) override;
    bool CanServeClipboard(ULONG peer, DWORD command) const override;
    // Fail (FALSE, NULL) while not serving.
    BOOL GetLocalClipInfo(std::wstring& list) const override;
    HGLOBAL GetClipboardData(const wchar_t* name) const override;

    // The clipboard's owner is the program's window and formats placed there wait to be fetched.
    [[nodiscard]] bool HoldsRemoteClipboard() const;
    // Main thread: on between the coordinator's Init and Shutdown.
    void SetServing(bool serving) noexcept { m_serving.store(serving); }
    // The window that owns placed formats and renders them (the hidden window, once it exists).
    void SetClipboardOwner(HWND owner) noexcept { m_clipboardOwner.store(owner); }

private:
    const CSettings& m_settings;
    const Hosts& m_hosts;
    const PendingFormats& m_pending;
    const IClipboardSource& m_clipboard;
    std::atomic<HWND> m_clipboardOwner{nullptr};
    std::atomic<bool> m_serving{false};
};
