// CTalker: the client side of the clipboard transfer. The coordinator asks it for a remote
// host's format list or for one format's data; the exchange runs on the talker's own worker
// thread over a blocking TCP socket (the reply's checks are CReplyReader's; the payload goes
// straight into its final buffer), while the calling thread waits with an inactivity time-out:
// a transfer may take any time as long as every 7000 ms window sees a step of it.
//
// Threads: GetRemoteClipInfo, GetRemoteClipData, Start and CommitSuicide run on the caller's
// thread (the main thread); Run and the Read operations on the worker. The request fields (peer,
// header, payload) are written by the caller before it signals the request event; the result
// fields (format list, data block) by the worker before it signals the done event, and the
// caller reads them only after that. The busy flag, the activity counter and the result (status
// and Winsock error, which the coordinator reads after the request's wait) are atomics. The one
// cross-thread use of the socket is the caller's close on a time-out, after which the caller
// waits at most a second for the worker to finish its pass; a worker that has not keeps its
// fields (and the busy flag) until it has.
#pragma once

#include <windows.h>

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "runtime/Handles.h"
#include "protocol/Message.h"
#include "protocol/ReplyReader.h"
#include "protocol/Status.h"
#include "runtime/EventSocket.h"
#include "runtime/WorkerThread.h"

class CSettings;
class CTransferProgress;

// How a request ended: its status (kStatusNone: success) and the Winsock error that came with it.
struct TalkResult {
    StatusId status;
    DWORD systemError;
};

class CTalker : public WorkerThread {
public:
    static constexpr DWORD kInactivityTimeoutMs = 7000;
    static constexpr DWORD kProgressThreshold = 5120;
    static constexpr int kDefaultReceiveChunk = 1460;

    explicit CTalker(CSettings& settings) noexcept : m_settings(settings) {}
    ~CTalker() override;

    BOOL Start();
    BOOL GetRemoteClipInfo(ULONG peer);
    BOOL GetRemoteClipData(ULONG peer, const wchar_t* name);
    void CommitSuicide();

    // The progress window, or none (tests, or before it exists).
    void SetProgress(CTransferProgress* progress) noexcept { m_progress = progress; }

    // Results of the last successful request (caller's thread, after it).
    [[nodiscard]] const std::wstring& FormatList() const noexcept { return m_formatList; }
    // The data block of the last cmd_SendData; the caller owns it from here.
    HGLOBAL TakeData() noexcept;
    [[nodiscard]] StatusId Status() const noexcept { return m_result.load().status; }
    // The status of the last request with its Winsock error (caller's thread, after it).
    [[nodiscard]] TalkResult Result() const noexcept { return m_result.load(); }
    // The worker had not finished the pass that a time-out broke off when the caller stopped
    // waiting for it: it finishes by itself, and the talker is busy until then.
    [[nodiscard]] bool IsStuck() const noexcept { return m_stuck; }

    // Records a status with the thread's Winsock error; a request keeps its first failure.
    void Report(StatusId status);

protected:
    DWORD Run(void* parameter) override;

private:
    // Ends the worker: asked to stop, its socket closed and its wait woken. False when it did not
    // come out within a second: it is left to end by itself (never ended from outside).
    bool EndThread();
    BOOL WaitForCompletion();
    void RunPass();
    // The reply header, fed to the reply machine as it arrives, and what the machine made of it.
    ReplyDecision ReceiveReplyHeader(CReplyReader& reader);
    BOOL ReadClipInfo(uint32_t length);
    BOOL ReadClipData(const CReplyReader& reader, uint32_t length);
    BOOL ReadBuffer(uint8_t* buffer, uint32_t length);
    void ReportNetworkError(int received);
    void ReleaseData();
    void Step() noexcept { m_activity.fetch_add(1); }
    // Signals the request event and waits for the pass to end; then the worker is idle.
    void RunRequest();

    CSettings& m_settings;
    CTransferProgress* m_progress = nullptr;

    UniqueKernelHandle m_requestEvent;
    UniqueKernelHandle m_doneEvent;
    EventSocket m_socket;
    CMessage m_request;
    std::vector<uint8_t> m_payload;
    ULONG m_peer = 0;
    UniqueGlobal m_data;
    std::optional<GlobalLockGuard> m_locked;   // m_data, while the worker reads into it
    std::wstring m_formatList;
    std::atomic<LONG> m_busy{0};
    std::atomic<LONG> m_activity{0};
    LONG m_lastActivity = 0;
    std::atomic<TalkResult> m_result{TalkResult{kStatusNone, 0}};
    static_assert(std::atomic<TalkResult>::is_always_lock_free);
    bool m_stuck = false;   // caller's thread only
};
