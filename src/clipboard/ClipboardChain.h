// The hidden window's place in the clipboard viewer chain: joining and leaving it, passing the
// chain's messages on, adding a text form to a file list copied without one, and the
// once-a-second watchdog that notices when a badly behaved neighbour has cut this window off
// and puts it back. The hidden window holds one CClipboardChain and calls it from its handlers:
//   WM_CREATE         -> Join(own)            (after the default creation succeeded)
//   WM_DRAWCLIPBOARD  -> OnDrawClipboard(own)
//   WM_CHANGECBCHAIN  -> OnChangeCBChain(own, HWND(wParam), HWND(lParam))
//   WM_TIMER          -> OnTimer(own), then the default handling
//   before DestroyWindow -> Leave(own)
// Threads: everything runs on the main thread, which owns the hidden window; no lock.
#pragma once

#include <windows.h>

#include <string>
#include <utility>

class CClipboardChain {
public:
    // One place in the chain: a copy would act for it a second time; a move hands it over and
    // leaves the source outside the chain.
    CClipboardChain() = default;
    CClipboardChain(const CClipboardChain&) = delete;
    CClipboardChain& operator=(const CClipboardChain&) = delete;
    CClipboardChain(CClipboardChain&& other) noexcept { *this = std::move(other); }
    CClipboardChain& operator=(CClipboardChain&& other) noexcept {
        m_nextViewer = std::exchange(other.m_nextViewer, nullptr);
        m_inChain = std::exchange(other.m_inChain, FALSE);
        m_absenceCount = std::exchange(other.m_absenceCount, 0);
        m_timerId = std::exchange(other.m_timerId, 0);
        return *this;
    }

    static constexpr UINT_PTR kTimerId = 1;
    static constexpr UINT kTickMilliseconds = 1000;
    // Ticks of absence behind a foreign first viewer after which the window registers again.
    static constexpr int kAbsenceLimit = 16;

    // Joins the chain (the next viewer is whatever was first) and starts the watchdog's timer.
    void Join(HWND own);
    // Stops the timer and leaves the chain, handing the next viewer to whoever points at us.
    void Leave(HWND own);

    // The clipboard changed, or a probe of the watchdog (ours or another viewer's) came round.
    void OnDrawClipboard(HWND own);
    // A viewer leaves the chain: `removed` is leaving, `after` was behind it.
    void OnChangeCBChain(HWND own, HWND removed, HWND after);
    // One tick of the watchdog (any timer id). The caller passes WM_TIMER on to the default handling.
    void OnTimer(HWND own);

    [[nodiscard]] HWND NextViewer() const noexcept { return m_nextViewer; }
    [[nodiscard]] BOOL InChain() const noexcept { return m_inChain; }
    [[nodiscard]] int AbsenceCount() const noexcept { return m_absenceCount; }
    [[nodiscard]] UINT_PTR TimerId() const noexcept { return m_timerId; }

private:
    void Register(HWND own);
    void AddTextToFileList(HWND own);

    HWND m_nextViewer = nullptr;  // the window after ours in the chain; may be NULL
    BOOL m_inChain = FALSE;       // set by every WM_DRAWCLIPBOARD that reaches the window
    int m_absenceCount = 0;       // consecutive ticks that found the window outside the chain
    UINT_PTR m_timerId = 0;
};

// A time stamp of the watchdog's trace lines: "Tuesday, March 05, 2024   07:08:09".
std::wstring FormatWatchdogTime(const SYSTEMTIME& time);
// The same for the current local time.
std::wstring WatchdogTimeNow();
