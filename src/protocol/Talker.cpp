// The remote clipboard client (see Talker.h for threads).
#include "protocol/Talker.h"

#include <algorithm>
#include <cwchar>

#include "protocol/WideText.h"
#include "protocol/TransferProgress.h"
#include "resource.h"
#include "runtime/Trace.h"
#include "settings/Settings.h"

namespace {
// After a time-out has closed the socket, or when the thread is asked to end, its blocking call
// fails at once; this bounds how long the main thread waits for the worker to come out. A worker
// that does not is never ended from outside (it may hold the trace lock or the heap's): it
// finishes its pass by itself, and until then the talker is busy.
constexpr DWORD kPassEndGraceMs = 1000;
// The largest block that goes onto the clipboard: Wine's server takes a block in one write,
// which the system cuts at 2 GiB - 4 KiB (and the cut write ends the calling thread). A larger
// reply counts as memory that cannot be had, before a byte of it is fetched.
constexpr uint32_t kLargestClipboardBlock = 0x7FFF0000;   // 2 GiB - 64 KiB
}  // namespace

// Silent: at process exit the trace log is already closed (Shutdown has normally ended the thread).
CTalker::~CTalker() {
    // A worker that has not come out by now ends with the process; the base class must not
    // wait for it again, nor end it.
    if (!EndThread()) ResetHandle();
}

BOOL CTalker::Start() {
    if (IsRunning()) return FALSE;   // a worker still finishing its pass keeps its events
    m_doneEvent.Reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    m_requestEvent.Reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    m_stuck = false;
    if (!m_doneEvent || !m_requestEvent || !WorkerThread::Start(nullptr)) {
        m_requestEvent.Reset();
        m_doneEvent.Reset();
        return FALSE;
    }
    return TRUE;
}

void CTalker::CommitSuicide() {
    ExTrace(L"Talker:  CommitSuicide");
    EndThread();
}

bool CTalker::EndThread() {
    if (IsRunning()) {
        // Asked, never ended from outside: the thread may be inside a call that holds a lock.
        RequestStop();
        m_socket.Close(false);
        if (m_requestEvent) ::SetEvent(m_requestEvent.Get());
        if (!WaitForEnd(kPassEndGraceMs)) {
            ExTrace(L"Talker: the worker ends when its pass does");
            return false;   // its events, buffers and busy flag stay its own until it has ended
        }
        Stop(false);        // it has ended: this only forgets its handle
    }
    m_requestEvent.Reset();
    ReleaseData();
    m_busy.store(0);
    ResetHandle();
    return true;
}

HGLOBAL CTalker::TakeData() noexcept {
    return m_data.Detach();
}

void CTalker::ReleaseData() {
    m_locked.reset();
    m_data.Reset();
    m_payload.clear();
    m_payload.shrink_to_fit();
}

void CTalker::Report(StatusId status) {
    const int socketError = ::WSAGetLastError();
    const TalkResult result{status, static_cast<DWORD>(socketError)};
    if (status != kStatusNone && status != IDS_PREVIOUS_REQUEST) {
        // The first failure of a request is the one kept, whichever thread reports it. A request
        // refused because the worker is still in an earlier pass has that refusal as its only
        // status, whatever the earlier one left behind.
        TalkResult current = m_result.load();
        do {
            if (current.status != kStatusNone) return;
        } while (!m_result.compare_exchange_weak(current, result));
    } else {
        m_result.store(result);
    }
    ExTrace(L"Talker::Report: Status=%d; Error=%d", static_cast<int>(status), socketError);
}

BOOL CTalker::WaitForCompletion() {
    for (;;) {
        const DWORD result = ::WaitForSingleObject(m_doneEvent.Get(), kInactivityTimeoutMs);
        if (result == WAIT_OBJECT_0) return TRUE;
        if (result != WAIT_TIMEOUT) {
            Report(IDS_INTERNAL_ERROR_DETAIL);
            return FALSE;
        }
        const LONG activity = m_activity.fetch_add(0);
        ExTrace(L"CTalker:WaitForCompletion Timeout Activity=%d Last=%d", static_cast<int>(activity),
                static_cast<int>(m_lastActivity));
        if (activity != m_lastActivity) {
            m_lastActivity = activity;
            continue;
        }
        Report(IDS_TIMEOUT);
        ExTrace(L"CTalker:WaitForCompletion Terminating");
        m_socket.Close(false);
        // The worker now fails at once and ends its pass; until it has, its fields are its own
        // and the talker stays busy (the worker clears the flag at the end of its pass).
        if (::WaitForSingleObject(m_doneEvent.Get(), kPassEndGraceMs) != WAIT_OBJECT_0) m_stuck = true;
        return FALSE;
    }
}

void CTalker::RunRequest() {
    ::ResetEvent(m_doneEvent.Get());
    ::SetEvent(m_requestEvent.Get());
    WaitForCompletion();
}

BOOL CTalker::GetRemoteClipInfo(ULONG peer) {
    if (m_busy.exchange(1) == 1) {
        Report(IDS_PREVIOUS_REQUEST);
        return FALSE;
    }
    m_stuck = false;
    ExTrace(L"CTalker::GetRemoteClipInfo");
    ReleaseData();
    Report(kStatusNone);
    m_lastActivity = m_activity.load();
    m_peer = peer;
    m_request.SetRequest(cmd_GetInfo, 0);
    RunRequest();
    ExTrace(L"CTalker::GetRemoteClipInfo returned %d", static_cast<int>(Status()));
    if (!m_stuck) m_busy.store(0);
    return Status() == kStatusNone;
}

BOOL CTalker::GetRemoteClipData(ULONG peer, const wchar_t* name) {
    if (m_busy.exchange(1) == 1) {
        Report(IDS_PREVIOUS_REQUEST);
        return FALSE;
    }
    m_stuck = false;
    ExTrace(L"CTalker::GetRemoteClipData");
    ReleaseData();
    Report(kStatusNone);
    m_lastActivity = m_activity.load();
    const size_t characters = name ? std::wcslen(name) : 0;
    if (characters == 0) {
        m_busy.store(0);
        Report(IDS_INTERNAL_ERROR);
        return FALSE;
    }
    try {
        m_payload.assign(reinterpret_cast<const uint8_t*>(name),
                         reinterpret_cast<const uint8_t*>(name) + (characters + 1) * sizeof(wchar_t));
    } catch (...) {
        m_busy.store(0);
        Report(IDS_INTERNAL_ERROR_DETAIL);
        return FALSE;
    }
    m_peer = peer;
    m_request.SetRequest(cmd_GetData, static_cast<uint32_t>(m_payload.size()));
    SetPriority(THREAD_PRIORITY_TIME_CRITICAL);
    RunRequest();
    ExTrace(L"CTalker::GetRemoteClipData returned %d", static_cast<int>(Status()));
    if (m_stuck) return FALSE;   // the worker still holds the block: it goes with the thread
    if (Status() != kStatusNone) ReleaseData();
    m_busy.store(0);
    return Status() == kStatusNone;
}

DWORD CTalker::Run(void* /*parameter*/) {
    while (!IsStopRequested()) {
        if (::WaitForSingleObject(m_requestEvent.Get(), INFINITE) != WAIT_OBJECT_0) {
            Report(IDS_INTERNAL_ERROR_DETAIL);
            ::SetEvent(m_doneEvent.Get());
            return IDS_INTERNAL_ERROR_DETAIL;
        }
        if (IsStopRequested()) break;
        try {
            RunPass();
        } catch (...) {
            Report(IDS_INTERNAL_ERROR);
            m_socket.Close(false);
        }
        ::SetEvent(m_doneEvent.Get());
        m_busy.store(0);
    }
    return 0;
}

void CTalker::RunPass() {
    Step();
    Report(kStatusNone);
    if (!m_socket.Create(SOCK_STREAM, EventSocket::AllNetworkEvents, true)) {
        Report(IDS_NETWORK_ERROR);
        return;
    }
    if (!m_socket.Connect(m_peer, static_cast<USHORT>(m_settings.TCPPort))) {
        Report(IDS_NOT_ANSWERING);
        m_socket.Close(true);
        return;
    }
    Step();
    const auto header = m_request.Encode();
    bool sent = m_socket.Send(header.data(), static_cast<int>(header.size())) == static_cast<int>(header.size());
    Step();
    if (sent && m_request.length != 0 && !m_payload.empty()) {
        sent = m_socket.Send(m_payload.data(), static_cast<int>(m_request.length)) == static_cast<int>(m_request.length);
        m_payload.clear();
        Step();
    }
    if (!sent) {
        Report(IDS_NETWORK_ERROR);
        m_socket.Close(true);
        return;
    }
    CReplyReader reader(m_request);
    const ReplyDecision reply = ReceiveReplyHeader(reader);
    Step();
    switch (reply.action) {
        case ReplyDecision::Action::ReadList:
            ReadClipInfo(reply.length);
            break;
        case ReplyDecision::Action::ReadData:
            ReadClipData(reader, reply.length);
            break;
        default:
            if (reply.endedEarly) ReportNetworkError(0);
            else Report(reply.status);
            break;
    }
    Step();
    m_socket.Close(true);
}

ReplyDecision CTalker::ReceiveReplyHeader(CReplyReader& reader) {
    for (;;) {
        const std::span<uint8_t> space = reader.HeaderSpace();
        const int got = m_socket.Receive(space.data(), static_cast<int>(space.size()));
        if (got < 0) return {ReplyDecision::Action::Fail, IDS_NETWORK_ERROR};
        const ReplyDecision decision = reader.HeaderReceived(static_cast<size_t>(got));
        if (decision.action != ReplyDecision::Action::Wait) return decision;
    }
}

// A peer that closes before its reply is whole has broken the request as a reset would. Under
// Wine a reset can also read as a plain close, which leaves no error code to tell the user.
void CTalker::ReportNetworkError(int received) {
    if (received == 0) ::WSASetLastError(WSAECONNRESET);
    Report(IDS_NETWORK_ERROR);
}

BOOL CTalker::ReadClipInfo(uint32_t length) {
    std::vector<uint8_t> buffer;
    try {
        m_formatList.clear();
        buffer.resize(static_cast<size_t>(length) + 2, 0);
    } catch (...) {
        Report(IDS_INTERNAL_ERROR_DETAIL);
        return FALSE;
    }
    ExTrace(L"CTalker::ReadClipInfo rcv size=%d", static_cast<int>(length));
    // The list is read into its own buffer, then taken up to its first zero unit (or every whole
    // unit received when it has none): a list is a few hundred bytes, so this copy costs nothing.
    if (!ReadBuffer(buffer.data(), length)) return FALSE;
    m_formatList = ToWide(CReplyReader::FormatList({buffer.data(), length}));
    return TRUE;
}

BOOL CTalker::ReadClipData(const CReplyReader& reader, uint32_t length) {
    const DWORD started = ::GetTickCount();
    ExTrace(L"CTalker::ReadClipData:  Total %d;", static_cast<int>(length));
    if (length > kLargestClipboardBlock) {
        ::WSASetLastError(ERROR_NOT_ENOUGH_MEMORY);
        Report(IDS_INTERNAL_ERROR_DETAIL);
        return FALSE;
    }
    m_data.Reset(::GlobalAlloc(GMEM_MOVEABLE, length ? length : 1));   // a lock of 0 bytes would fail
    if (m_data) m_locked.emplace(m_data.Get());
    uint8_t* const into = m_locked ? static_cast<uint8_t*>(m_locked->Data()) : nullptr;
    if (into == nullptr) {
        Report(IDS_INTERNAL_ERROR_DETAIL);
        m_locked.reset();
        m_data.Reset();
        return FALSE;
    }
    BOOL ok = ReadBuffer(into, length);
    if (ok) {
        const auto check = reader.CheckData({into, length});
        ExTrace(L"CTalker::ReadClipData: DataLen=%d;  CRC actual=%X;  expected=%X", static_cast<int>(length), check.actual,
                reader.Reply().checksum);
        if (check.status != kStatusNone) {
            Report(check.status);
            ExTrace(L"CTalker::ReadClipData: CRC check failed");
            ok = FALSE;
        }
    }
    m_locked.reset();
    ExTrace(L"CTalker::ReadClipData Finished  Time %d", static_cast<int>(::GetTickCount() - started));
    if (!ok) m_data.Reset();
    return ok;
}

BOOL CTalker::ReadBuffer(uint8_t* buffer, uint32_t length) {
    if (length > kProgressThreshold && m_progress) m_progress->InitProgress();
    const uint32_t step = length / 100;
    int chunk = m_socket.GetReceiveBufferSize();
    if (chunk <= 0) chunk = kDefaultReceiveChunk;
    ExTrace(L"CTalker::ReadBuffer: RcvBufSize %d", chunk);
    uint32_t received = 0;
    uint32_t sinceReport = 0;
    for (;;) {
        const int wanted = static_cast<int>(std::min<uint32_t>(length - received, static_cast<uint32_t>(chunk)));
        const int got = m_socket.Receive(buffer + received, wanted);
        Step();
        if (got <= 0) {
            ExTrace(L"CTalker::ReadBuffer: Res: %d; Error %d", got, ::WSAGetLastError());
            ReportNetworkError(got);
            return FALSE;
        }
        received += static_cast<uint32_t>(got);
        sinceReport += static_cast<uint32_t>(got);
        ExTrace(L"CTalker::ReadBuffer rcv %d :  %d of %d", got, static_cast<int>(received), static_cast<int>(length));
        // The last receive always reports: a cancel pressed in the last percent still counts.
        if (sinceReport >= step || received == length) {
            if (m_progress && !m_progress->UpdateProgress(received, length)) {
                ExTrace(L"CTalker::User abort");
                Report(IDS_CANCELLED);
                return FALSE;
            }
            sinceReport = 0;
        }
        if (received == length) return TRUE;
    }
}
