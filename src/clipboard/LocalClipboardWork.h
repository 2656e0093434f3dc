// Local clipboard work goes before peers' reads. The main thread's own work on the clipboard
// (placing a remote host's formats, adding the text form of a copied file list) opens it with
// retries and announces itself for as long as it runs; the serving threads, which read the
// clipboard for peers, step aside while it is announced and never retry against it. So a peer's
// read can delay the user's own work by one read at most, and never makes it fail unnoticed: a
// failure to open is traced.
//
// Threads: CLocalClipboardWork on the main thread; CPeerClipboardRead and the two functions below
// on serving threads. The announcement is one interlocked counter.
#pragma once

#include <windows.h>

class CLocalClipboardWork {
public:
    CLocalClipboardWork() noexcept;
    CLocalClipboardWork(const CLocalClipboardWork&) = delete;
    CLocalClipboardWork& operator=(const CLocalClipboardWork&) = delete;
    // Closes the clipboard if Open opened it, and ends the announcement.
    ~CLocalClipboardWork();

    // Opens the clipboard for the owner window, retrying for about half a second while another
    // thread has it open (a peer's read, or Wine's clipboard manager just after a change).
    // False, with a trace line naming `what`, when it stays closed.
    bool Open(HWND owner, const wchar_t* what);

private:
    bool m_open = false;
};

// A peer's read on a serving thread: opens the clipboard without a window (which takes no
// ownership) for one copy, and closes it when the object goes. It gives up rather than compete:
// at once while local work is announced, and after about a tenth of a second of failed attempts.
class CPeerClipboardRead {
public:
    CPeerClipboardRead() noexcept;
    CPeerClipboardRead(const CPeerClipboardRead&) = delete;
    CPeerClipboardRead& operator=(const CPeerClipboardRead&) = delete;
    ~CPeerClipboardRead();

    [[nodiscard]] bool IsOpen() const noexcept { return m_open; }

private:
    bool m_open = false;
};

// True while the main thread waits for the clipboard or works on it.
bool IsLocalClipboardWorkPending() noexcept;
// Waits while local work is pending, at most about a second, before a peer's read.
void YieldToLocalClipboardWork() noexcept;
