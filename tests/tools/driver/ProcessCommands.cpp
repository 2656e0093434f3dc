// Process commands: is a program still running (by process id or image name), waiting for it to
// finish its start-up (its first wait for input in its message loop), and waiting for it to end,
// on the process handle itself.
#include <windows.h>
#include <tlhelp32.h>

#include <vector>

#include "Commands.h"
#include "Output.h"
#include "framework/Handles.h"

namespace {

constexpr DWORD kDefaultExitWaitMs = 10000;

// Process ids whose id or image name (any case) matches.
std::vector<DWORD> MatchingProcesses(const std::wstring& what) {
    std::vector<DWORD> pids;
    std::int64_t wanted = -1;
    const bool byId = ParseNumber(what, wanted);
    UniqueKernelHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (snapshot.Get() == INVALID_HANDLE_VALUE) { (void)snapshot.Detach(); return pids; }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); more; more = ::Process32NextW(snapshot.Get(), &entry)) {
        if (byId ? entry.th32ProcessID == static_cast<DWORD>(wanted) : ::_wcsicmp(entry.szExeFile, what.c_str()) == 0)
            pids.push_back(entry.th32ProcessID);
    }
    return pids;
}

}  // namespace

int CmdRunning(CArgs& args) {
    const auto& rest = args.Positional();
    if (args.HasError() || rest.size() != 1) return Fail(L"running: give one process id or image name");
    const auto pids = MatchingProcesses(rest[0]);
    for (DWORD pid : pids) PrintLine(std::to_wstring(pid));
    if (pids.empty()) return Fail(L"not running: " + rest[0]);
    return 0;
}

int CmdWaitExit(CArgs& args) {
    const auto timeout = static_cast<DWORD>(args.TakeNumber(L"timeout", kDefaultExitWaitMs));
    const auto& rest = args.Positional();
    if (args.HasError() || rest.size() != 1) return Fail(L"wait-exit: give one process id or image name");
    std::vector<UniqueKernelHandle> processes;
    for (DWORD pid : MatchingProcesses(rest[0])) {
        UniqueKernelHandle process(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
        if (process) processes.push_back(std::move(process));
    }
    // Each in turn against one deadline: all of them must end.
    const ULONGLONG deadline = ::GetTickCount64() + timeout;
    for (const auto& process : processes) {
        const ULONGLONG now = ::GetTickCount64();
        const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
        if (::WaitForSingleObject(process.Get(), left) != WAIT_OBJECT_0) return Fail(L"still running: " + rest[0]);
        DWORD code = 0;
        ::GetExitCodeProcess(process.Get(), &code);
        PrintLine(L"exit code " + std::to_wstring(code));
    }
    return 0;
}

int CmdWaitIdle(CArgs& args) {
    const auto timeout = static_cast<DWORD>(args.TakeNumber(L"timeout", kDefaultExitWaitMs));
    const auto& rest = args.Positional();
    if (args.HasError() || rest.size() != 1) return Fail(L"wait-idle: give one process id or image name");
    const auto pids = MatchingProcesses(rest[0]);
    if (pids.size() != 1) return Fail(L"wait-idle: " + std::to_wstring(pids.size()) + L" processes match " + rest[0]);
    UniqueKernelHandle process(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pids[0]));
    if (!process) return FailWithLastError(L"cannot open process " + std::to_wstring(pids[0]));
    const DWORD result = ::WaitForInputIdle(process.Get(), timeout);
    if (result != 0) return Fail(result == WAIT_TIMEOUT ? L"not idle in time" : L"WaitForInputIdle failed");
    PrintLine(std::to_wstring(pids[0]));
    return 0;
}
