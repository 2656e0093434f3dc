// The progress window of a long transfer and the user-interface thread that owns it. The
// transfer runs while the main thread is held inside a clipboard render request, so the window
// lives on a thread of its own (CProgressor), started once at start-up; it stays, hidden, for the
// whole life of the process, and shows "N% Transferred", a bar and a cancel button while a
// payload above 5120 bytes arrives.
//
// Threads: InitProgress and UpdateProgress run on the client's worker thread, CloseProgress on
// the main thread; the window and its handlers on the progressor's thread. Opening and closing
// are handed to the window's thread by SendMessageTimeout (that thread never blocks, and the
// time-out bounds the wait if it ever did); percentages travel only by posted messages. The
// cancel counter is an atomic written by the window and read by the worker; `active` is an
// atomic flag.
#pragma once

#include <windows.h>

#include <atomic>

#include "framework/UiThread.h"
#include "framework/Window.h"
#include "protocol/TransferProgress.h"

class CProgressBar : public CWindow {
public:
    bool Create(HWND parent);
    void SetRange(DWORD range) noexcept { m_range = range; }
    void SetPosition(DWORD position);
    void Paint(HDC dc, const RECT& client) const;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    DWORD m_range = 0;
    DWORD m_position = 0;
};

class CProgressWnd : public CWindow {
public:
    static constexpr int kWidth = 320;
    static constexpr int kHeight = 54;
    static constexpr int kCancelId = 4;

    bool Create();
    [[nodiscard]] bool IsCancelled() const noexcept { return m_cancelled.load() != 0; }
    [[nodiscard]] int LastPercent() const noexcept { return m_lastPercent; }
    [[nodiscard]] const CProgressBar& Bar() const noexcept { return m_bar; }
    void Paint(HDC dc, const RECT& client) const;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void Open();
    void OnProgress(DWORD done, DWORD total);

    CProgressBar m_bar;
    bool m_firstReport = true;          // window thread
    std::atomic<LONG> m_cancelled{0};
    int m_lastPercent = -1;             // window thread
};

class CProgressor : public CUiThread, public CTransferProgress {
public:
    ~CProgressor() override;

    void InitProgress() override;
    BOOL UpdateProgress(DWORD done, DWORD total) override;
    void CloseProgress() override;

    [[nodiscard]] HWND Window() const noexcept { return m_window.Hwnd(); }
    [[nodiscard]] bool IsActive() const noexcept { return m_active.load(); }

protected:
    bool InitInstance() override;
    int ExitInstance() override;

private:
    CProgressWnd m_window;
    std::atomic<bool> m_active{false};
};

// The process-wide progressor (defined with the other process-wide objects).
extern CProgressor theProgressor;
