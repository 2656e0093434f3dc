// Starts pelko_clip_owner.exe (beside the test program) and keeps it as the clipboard's owner
// for the object's lifetime. Its waits pump messages, since a test window in the viewer chain
// must keep receiving messages while the test waits.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/Handles.h"
#include "support/TestHelpers.h"
#include "support/UiWait.h"

class CClipOwnerProcess {
public:
    explicit CClipOwnerProcess(const std::vector<std::wstring>& items) {
        static LONG s_count = 0;
        const std::wstring tag = std::to_wstring(::GetCurrentProcessId()) + L"-" +
                                 std::to_wstring(::InterlockedIncrement(&s_count));
        m_ready.Reset(::CreateEventW(nullptr, TRUE, FALSE, (L"PelkoClipOwnerReady-" + tag).c_str()));
        m_quit.Reset(::CreateEventW(nullptr, TRUE, FALSE, (L"PelkoClipOwnerQuit-" + tag).c_str()));

        const std::wstring program = testutil::ProgramFolderFile(L"pelko_clip_owner.exe");
        std::wstring command = L"\"" + program + L"\" " + tag;
        for (const auto& item : items) command += L" " + Quoted(item);

        STARTUPINFOW startup{sizeof(startup)};
        PROCESS_INFORMATION info{};
        if (!::CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &info)) {
            return;
        }
        ::CloseHandle(info.hThread);
        m_process.Reset(info.hProcess);
        m_processId = info.dwProcessId;
        // Ready, or the helper ended (it failed): either wakes the wait.
        HANDLE process = m_process.Get();
        uitest::PumpUntil([&] { return ::WaitForSingleObject(m_ready.Get(), 0) == WAIT_OBJECT_0 ||
                                       ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0; }, kHelperWaitMs);
        m_isReady = ::WaitForSingleObject(m_ready.Get(), 0) == WAIT_OBJECT_0;
    }
    CClipOwnerProcess(const CClipOwnerProcess&) = delete;
    CClipOwnerProcess& operator=(const CClipOwnerProcess&) = delete;
    ~CClipOwnerProcess() { Quit(); }

    // Lets the helper go and waits for its end; its exit code (0 when all went well).
    DWORD Quit() {
        if (!m_process) return m_exitCode;
        ::SetEvent(m_quit.Get());
        HANDLE process = m_process.Get();
        uitest::PumpUntil([&] { return ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0; }, kHelperWaitMs);
        ::GetExitCodeProcess(process, &m_exitCode);
        m_process.Reset();
        return m_exitCode;
    }

    [[nodiscard]] bool IsReady() const noexcept { return m_isReady; }
    [[nodiscard]] DWORD ProcessId() const noexcept { return m_processId; }

private:
    static constexpr DWORD kHelperWaitMs = 60000;  // only a guard against a hang

    // One argument as the C runtime splits a command line: backslashes before a quote, and
    // before the closing quote, are doubled.
    static std::wstring Quoted(const std::wstring& argument) {
        std::wstring quoted = L"\"";
        std::size_t backslashes = 0;
        for (wchar_t c : argument) {
            if (c == L'\\') {
                ++backslashes;
                continue;
            }
            quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
            backslashes = 0;
            quoted += c;
        }
        quoted.append(2 * backslashes, L'\\');
        return quoted + L"\"";
    }

    UniqueKernelHandle m_ready;
    UniqueKernelHandle m_quit;
    UniqueKernelHandle m_process;
    DWORD m_processId = 0;
    DWORD m_exitCode = STILL_ACTIVE;
    bool m_isReady = false;
};
