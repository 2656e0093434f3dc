// The host table: adding, removing, friends, nicks, and the messages it posts to its notify
// window, also while another thread changes it.
#include <windows.h>

#include <gtest/gtest.h>

#include <cwctype>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "../support/RegistryHelpers.h"
#include "../support/RegistryTestLock.h"
#include "../support/DebugOutputCapture.h"
#include "app/WindowMessages.h"
#include "framework/Handles.h"
#include "framework/Window.h"
#include "protocol/Hosts.h"
#include "settings/Settings.h"

namespace {

constexpr wchar_t kSettingsKey[] = L"Software\\Pelko";
constexpr wchar_t kHostsKey[] = L"Software\\Pelko\\Hosts";
constexpr DWORD kGenerousWaitMs = 90000;

struct Posted {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;  // kept for WM_HOSTCHANGED only: the others carry nothing a receiver reads
    bool operator==(const Posted&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Posted& posted) {
    const char* name = posted.message == WM_HOSTADDED     ? "ADDED"
                       : posted.message == WM_HOSTREMOVED ? "REMOVED"
                       : posted.message == WM_HOSTCHANGED ? "CHANGED"
                                                          : "other";
    return out << name << "(" << posted.wParam << ", " << posted.lParam << ")";
}

// A message-only window that records the host table's messages in the order they arrive.
class CRecorderWindow : public CWindow {
public:
    CRecorderWindow() {
        EXPECT_TRUE(RegisterWindowClass(L"PelkoTestRecorder", 0, nullptr, nullptr, nullptr));
        EXPECT_TRUE(CreateEx(0, L"PelkoTestRecorder", L"", 0, 0, 0, 0, 0, HWND_MESSAGE));
    }
    ~CRecorderWindow() override { DestroyWindow(); }
    std::vector<Posted> Recorded;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_HOSTADDED || message == WM_HOSTREMOVED) {
            Recorded.push_back({message, wParam, 0});
            return 0;
        }
        if (message == WM_HOSTCHANGED) {
            Recorded.push_back({message, wParam, lParam});
            return 0;
        }
        return DefaultProc(message, wParam, lParam);
    }
};

// Dispatches this thread's messages until `done` is signalled, then what is still queued.
void PumpUntil(HANDLE done) {
    const ULONGLONG deadline = ::GetTickCount64() + kGenerousWaitMs;
    for (;;) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
        if (::WaitForSingleObject(done, 0) == WAIT_OBJECT_0) break;
        const ULONGLONG now = ::GetTickCount64();
        ASSERT_LT(now, deadline) << "the other thread did not finish";
        ::MsgWaitForMultipleObjects(1, &done, FALSE, static_cast<DWORD>(deadline - now), QS_ALLPOSTMESSAGE);
    }
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
}

// Runs `body` on a second thread while this thread dispatches the messages posted meanwhile.
template <typename Body>
void RunOnOtherThread(Body body) {
    UniqueKernelHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread worker([&] {
        body();
        ::SetEvent(done.Get());
    });
    PumpUntil(done.Get());
    worker.join();
}

bool HostMessageQueued() {
    MSG msg;
    return ::PeekMessageW(&msg, nullptr, WM_HOSTADDED, WM_HOSTCHANGED, PM_NOREMOVE) != FALSE;
}

std::vector<std::wstring> Nicks(const Hosts& hosts) {
    std::vector<std::wstring> nicks;
    hosts.ForEachHost([](const HostInfo& host, void* context) {
        static_cast<std::vector<std::wstring>*>(context)->push_back(host.Nick);
    }, &nicks);
    return nicks;
}

std::wstring LocalName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    EXPECT_TRUE(::GetComputerNameW(name, &length));
    return std::wstring(name, length);
}

class HostsTest : public ::testing::Test {
protected:
    CSettings m_settings;
    Hosts m_hosts{m_settings};
};

// --- adding and removing

TEST_F(HostsTest, LocalNameInOtherLetterCaseIsNeverListed) {
    std::wstring name = LocalName();
    ASSERT_FALSE(name.empty());
    for (auto& c : name) c = static_cast<wchar_t>(std::towlower(c));
    CRecorderWindow window;
    m_hosts.SetNotifyWindow(window.Hwnd());
    EXPECT_EQ(m_hosts.AddHost(0x0A000001, name.c_str()), TRUE);
    EXPECT_EQ(m_hosts.Count(), 0u);
    EXPECT_FALSE(HostMessageQueued());
}

TEST_F(HostsTest, AddTraceLineNamesTheHost) {
    DebugOutputCapture capture;
    m_hosts.AddHost(1, L"PC1");
    m_hosts.AddHost(1, L"PC1");  // already present: no second line
    EXPECT_EQ(capture.Messages(), std::vector<std::wstring>{L"Hosts: AddHost [PC1]"});
}

TEST_F(HostsTest, AnAddressKeepsItsFirstName) {
    m_settings.FriendNicks[L"SECOND"] = L"Friend";
    EXPECT_EQ(m_hosts.AddHost(7, L"FIRST"), TRUE);
    EXPECT_EQ(m_hosts.AddHost(7, L"SECOND"), TRUE);
    EXPECT_EQ(m_hosts.Count(), 1u);
    HostInfo host;
    ASSERT_EQ(m_hosts.GetHost(7, host), TRUE);
    EXPECT_EQ(host.Name, L"FIRST");
    EXPECT_EQ(host.Nick, L"FIRST");
    EXPECT_EQ(host.Friend, FALSE);
}

TEST_F(HostsTest, TwoAddressesWithOneFriendNameAreBothFriends) {
    m_settings.FriendNicks[L"TWIN"] = L"Twins";
    m_hosts.AddHost(1, L"TWIN");
    m_hosts.AddHost(2, L"TWIN");
    HostInfo first, second;
    ASSERT_TRUE(m_hosts.GetHost(1, first));
    ASSERT_TRUE(m_hosts.GetHost(2, second));
    EXPECT_EQ(first.Friend, TRUE);
    EXPECT_EQ(second.Friend, TRUE);
    EXPECT_EQ(first.Nick, L"Twins");
    EXPECT_EQ(second.Nick, L"Twins");
}

TEST_F(HostsTest, FriendArrivesWithItsNickAndIsAnnounced) {
    m_settings.FriendNicks[L"PC1"] = L"Alice";
    CRecorderWindow window;
    m_hosts.SetNotifyWindow(window.Hwnd());
    m_hosts.AddHost(0xC0A80001, L"PC1");
    m_hosts.AddHost(0xC0A80002, L"PC2");
    HostInfo host;
    ASSERT_TRUE(m_hosts.GetHost(0xC0A80001, host));
    EXPECT_EQ(host.Address, 0xC0A80001u);
    EXPECT_EQ(host.Name, L"PC1");
    EXPECT_EQ(host.Nick, L"Alice");
    EXPECT_EQ(host.Friend, TRUE);
    ASSERT_TRUE(m_hosts.GetHost(0xC0A80002, host));
    EXPECT_EQ(host.Nick, L"PC2");
    EXPECT_EQ(host.Friend, FALSE);

    MSG msg;
    ASSERT_TRUE(::PeekMessageW(&msg, window.Hwnd(), WM_HOSTADDED, WM_HOSTADDED, PM_REMOVE));
    EXPECT_EQ(msg.wParam, WPARAM(0xC0A80001));
    ASSERT_TRUE(::PeekMessageW(&msg, window.Hwnd(), WM_HOSTADDED, WM_HOSTADDED, PM_REMOVE));
    EXPECT_EQ(msg.wParam, WPARAM(0xC0A80002));
    EXPECT_FALSE(HostMessageQueued());
}

TEST_F(HostsTest, WithoutANotifyWindowTheTableStillChanges) {
    m_hosts.AddHost(1, L"PC1");  // no window set yet
    {
        CRecorderWindow gone;
        m_hosts.SetNotifyWindow(gone.Hwnd());
    }  // the main window was closed again
    m_hosts.AddHost(2, L"PC2");
    m_hosts.SetFriend(2, TRUE);
    m_hosts.RemoveHost(1);
    EXPECT_EQ(Nicks(m_hosts), std::vector<std::wstring>{L"PC2"});
    EXPECT_FALSE(HostMessageQueued());
}

TEST_F(HostsTest, RemovingTheMiddleRecordKeepsTheOrder) {
    CRecorderWindow window;
    m_hosts.SetNotifyWindow(window.Hwnd());
    m_hosts.AddHost(1, L"A");
    m_hosts.AddHost(2, L"B");
    m_hosts.AddHost(3, L"C");
    m_hosts.RemoveHost(2);
    m_hosts.RemoveHost(99);  // unknown: nothing
    EXPECT_EQ(Nicks(m_hosts), (std::vector<std::wstring>{L"A", L"C"}));
    m_hosts.AddHost(2, L"B");
    EXPECT_EQ(Nicks(m_hosts), (std::vector<std::wstring>{L"A", L"C", L"B"}));
    UniqueKernelHandle signalled(::CreateEventW(nullptr, TRUE, TRUE, nullptr));
    PumpUntil(signalled.Get());
    EXPECT_EQ(window.Recorded, (std::vector<Posted>{{WM_HOSTADDED, 1, 0},
                                                    {WM_HOSTADDED, 2, 0},
                                                    {WM_HOSTADDED, 3, 0},
                                                    {WM_HOSTREMOVED, 2, 0},
                                                    {WM_HOSTADDED, 2, 0}}));
}

TEST_F(HostsTest, RemoveAllEmptiesTheTableSilently) {
    CRecorderWindow window;
    m_hosts.AddHost(1, L"A");
    m_hosts.AddHost(2, L"B");
    m_hosts.SetNotifyWindow(window.Hwnd());
    m_hosts.RemoveAll();
    EXPECT_EQ(m_hosts.Count(), 0u);
    EXPECT_FALSE(HostMessageQueued());
    EXPECT_EQ(m_hosts.AddHost(1, L"A"), TRUE);  // still usable
    EXPECT_EQ(m_hosts.Count(), 1u);
}

// --- reading

TEST_F(HostsTest, GetHostOfAnUnknownAddressFails) {
    HostInfo host;
    host.Nick = L"untouched";
    EXPECT_EQ(m_hosts.GetHost(5, host), FALSE);
    EXPECT_EQ(host.Nick, L"untouched");
}

TEST_F(HostsTest, ForEachHostWithoutCallbackFails) {
    m_hosts.AddHost(1, L"A");
    EXPECT_EQ(m_hosts.ForEachHost(nullptr, nullptr), FALSE);
    int calls = 0;
    EXPECT_EQ(m_hosts.ForEachHost([](const HostInfo&, void* c) { ++*static_cast<int*>(c); }, &calls), TRUE);
    EXPECT_EQ(calls, 1);
}

TEST_F(HostsTest, FindNickIgnoresCaseSkipsTheExceptedAddressAndPrefersTheLast) {
    m_hosts.AddHost(1, L"alpha");
    m_hosts.AddHost(2, L"beta");
    m_hosts.AddHost(3, L"Alpha");
    EXPECT_EQ(m_hosts.FindNick(L"ALPHA", 0), 2);
    EXPECT_EQ(m_hosts.FindNick(L"ALPHA", 3), 0);
    EXPECT_EQ(m_hosts.FindNick(L"ALPHA", 1), 2);
    EXPECT_EQ(m_hosts.FindNick(L"BETA", 2), -1);
    EXPECT_EQ(m_hosts.FindNick(L"gamma", 0), -1);
}

// --- friends

TEST_F(HostsTest, SetFriendChangesTheRecordTheMapAndIsAnnounced) {
    CRecorderWindow window;
    m_hosts.AddHost(1, L"PC1");
    m_hosts.SetNotifyWindow(window.Hwnd());
    EXPECT_EQ(m_hosts.SetFriend(1, TRUE), TRUE);
    HostInfo host;
    m_hosts.GetHost(1, host);
    EXPECT_EQ(host.Friend, TRUE);
    EXPECT_EQ(m_settings.FriendNicks, (FriendNickMap{{L"PC1", L"PC1"}}));

    // Leaving and coming back in the same run: still a friend.
    m_hosts.RemoveHost(1);
    m_hosts.AddHost(1, L"PC1");
    m_hosts.GetHost(1, host);
    EXPECT_EQ(host.Friend, TRUE);

    EXPECT_EQ(m_hosts.SetFriend(1, FALSE), TRUE);
    EXPECT_TRUE(m_settings.FriendNicks.empty());
    EXPECT_EQ(m_hosts.SetFriend(42, TRUE), FALSE);

    UniqueKernelHandle signalled(::CreateEventW(nullptr, TRUE, TRUE, nullptr));
    PumpUntil(signalled.Get());
    EXPECT_EQ(window.Recorded, (std::vector<Posted>{{WM_HOSTCHANGED, 1, TRUE},
                                                    {WM_HOSTREMOVED, 1, 0},
                                                    {WM_HOSTADDED, 1, 0},
                                                    {WM_HOSTCHANGED, 1, FALSE}}));
}

// --- failures inside an operation

TEST_F(HostsTest, ACallbackThatThrowsLeavesTheTableUsable) {
    m_hosts.AddHost(1, L"A");
    DebugOutputCapture capture;
    EXPECT_EQ(m_hosts.ForEachHost([](const HostInfo&, void*) { throw std::runtime_error("callback"); }, nullptr),
              FALSE);
    EXPECT_EQ(capture.Messages(), std::vector<std::wstring>{L"Exception caught in Hosts::ForEachHost"});
    // The lock was released: another thread gets in.
    BOOL added = FALSE;
    RunOnOtherThread([&] { added = m_hosts.AddHost(2, L"B"); });
    EXPECT_EQ(added, TRUE);
    EXPECT_EQ(m_hosts.Count(), 2u);
}

// --- a second thread

TEST_F(HostsTest, ChangesFromAnotherThreadArriveInOrder) {
    m_settings.FriendNicks[L"PC3"] = L"Carol";
    CRecorderWindow window;
    m_hosts.SetNotifyWindow(window.Hwnd());
    RunOnOtherThread([this] {
        m_hosts.AddHost(1, L"PC1");
        m_hosts.AddHost(2, L"PC2");
        m_hosts.AddHost(2, L"PC2");  // a repeated announcement
        m_hosts.AddHost(3, L"PC3");
        m_hosts.RemoveHost(2);
        m_hosts.SetFriend(1, TRUE);
        m_hosts.RemoveHost(8);
        m_hosts.SetFriend(3, FALSE);
        m_hosts.AddHost(2, L"PC2");
        m_hosts.RemoveAll();
        m_hosts.AddHost(4, L"PC4");
    });
    EXPECT_EQ(window.Recorded, (std::vector<Posted>{{WM_HOSTADDED, 1, 0},
                                                    {WM_HOSTADDED, 2, 0},
                                                    {WM_HOSTADDED, 3, 0},
                                                    {WM_HOSTREMOVED, 2, 0},
                                                    {WM_HOSTCHANGED, 1, TRUE},
                                                    {WM_HOSTCHANGED, 3, FALSE},
                                                    {WM_HOSTADDED, 2, 0},
                                                    {WM_HOSTADDED, 4, 0}}));
    EXPECT_EQ(Nicks(m_hosts), std::vector<std::wstring>{L"PC4"});
}

TEST_F(HostsTest, TwoThreadsAddingWhileTheWindowReads) {
    constexpr DWORD kPerThread = 100;
    CRecorderWindow window;
    m_hosts.SetNotifyWindow(window.Hwnd());
    std::thread other([this] {
        for (DWORD i = 0; i < kPerThread; ++i) m_hosts.AddHost(0x20000 + i, (L"B" + std::to_wstring(i)).c_str());
    });
    RunOnOtherThread([this] {
        for (DWORD i = 0; i < kPerThread; ++i) m_hosts.AddHost(0x10000 + i, (L"A" + std::to_wstring(i)).c_str());
    });
    other.join();
    UniqueKernelHandle signalled(::CreateEventW(nullptr, TRUE, TRUE, nullptr));
    PumpUntil(signalled.Get());

    ASSERT_EQ(window.Recorded.size(), 2 * kPerThread);
    std::vector<WPARAM> fromA, fromB;
    for (const auto& posted : window.Recorded) {
        EXPECT_EQ(posted.message, WM_HOSTADDED);
        (posted.wParam < 0x20000 ? fromA : fromB).push_back(posted.wParam);
    }
    ASSERT_EQ(fromA.size(), size_t(kPerThread));
    ASSERT_EQ(fromB.size(), size_t(kPerThread));
    for (DWORD i = 0; i < kPerThread; ++i) {  // each thread's additions in its own order
        EXPECT_EQ(fromA[i], WPARAM(0x10000 + i));
        EXPECT_EQ(fromB[i], WPARAM(0x20000 + i));
    }
    // The table's order is the order of the messages.
    std::vector<DWORD> tableOrder;
    m_hosts.ForEachHost([](const HostInfo& host, void* c) {
        static_cast<std::vector<DWORD>*>(c)->push_back(host.Address);
    }, &tableOrder);
    ASSERT_EQ(tableOrder.size(), window.Recorded.size());
    for (size_t i = 0; i < tableOrder.size(); ++i) EXPECT_EQ(WPARAM(tableOrder[i]), window.Recorded[i].wParam);
}

// --- renaming (writes the friends store)

class HostsRenameTest : public HostsTest {
protected:
    void SetUp() override { testreg::DeleteTree(HKEY_LOCAL_MACHINE, kSettingsKey); }
    void TearDown() override { testreg::DeleteTree(HKEY_LOCAL_MACHINE, kSettingsKey); }
    RegistryTestLock m_lock;
};

TEST_F(HostsRenameTest, RenameStoresTheNickAndPostsNothing) {
    CRecorderWindow window;
    m_hosts.AddHost(1, L"PC1");
    m_hosts.SetNotifyWindow(window.Hwnd());
    EXPECT_EQ(m_hosts.RenameHost(1, L"Alice"), TRUE);
    HostInfo host;
    m_hosts.GetHost(1, host);
    EXPECT_EQ(host.Nick, L"Alice");
    EXPECT_EQ(host.Name, L"PC1");
    EXPECT_EQ(host.Friend, FALSE);
    EXPECT_EQ(m_settings.FriendNicks, (FriendNickMap{{L"PC1", L"Alice"}}));
    EXPECT_EQ(testreg::GetValue(HKEY_LOCAL_MACHINE, kHostsKey, L"PC1")->Text(), L"Alice");
    EXPECT_FALSE(HostMessageQueued());
    EXPECT_EQ(m_hosts.RenameHost(2, L"Nobody"), FALSE);
}

TEST_F(HostsRenameTest, RenameFailsAndKeepsTheNickWhenTheStoreCannotBeCreated) {
    // The settings key made volatile: the non-volatile Hosts key cannot be created under it.
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                                nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ::RegCloseKey(key);
    m_settings.FriendNicks[L"PC1"] = L"Alice";
    m_hosts.AddHost(1, L"PC1");
    DebugOutputCapture capture;
    EXPECT_EQ(m_hosts.RenameHost(1, L"Bob"), FALSE);
    HostInfo host;
    m_hosts.GetHost(1, host);
    EXPECT_EQ(host.Nick, L"Alice");
    EXPECT_EQ(m_settings.FriendNicks, (FriendNickMap{{L"PC1", L"Alice"}}));
    auto messages = capture.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind(L"SaveNick res=0;  lasterr=", 0), 0u);
}

TEST_F(HostsRenameTest, RenameFailsAndKeepsTheNickWithoutTheRightToWrite) {
    testreg::SetString(HKEY_LOCAL_MACHINE, kHostsKey, L"PC2", L"Bob");
    ASSERT_EQ(testreg::DenyWrites(HKEY_LOCAL_MACHINE, kHostsKey), ERROR_SUCCESS);
    m_hosts.AddHost(2, L"PC2");
    EXPECT_EQ(m_hosts.RenameHost(2, L"Robert"), FALSE);
    HostInfo host;
    m_hosts.GetHost(2, host);
    EXPECT_EQ(host.Nick, L"PC2");
    EXPECT_TRUE(m_settings.FriendNicks.empty());
    EXPECT_EQ(testreg::GetValue(HKEY_LOCAL_MACHINE, kHostsKey, L"PC2")->Text(), L"Bob");
}

}  // namespace
