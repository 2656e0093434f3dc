// CUiThread: start-up on its own thread, its window and message loop, the ways it ends.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

#include "framework/UiThread.h"
#include "framework/Window.h"

namespace {

constexpr wchar_t kTestClass[] = L"Pelko UiThread Test Window";
constexpr UINT WM_TEST_PING = WM_APP + 10;

// A window that counts WM_TEST_PING on the thread that handles it.
class CPingWindow : public CWindow {
public:
    std::atomic<int> pings{0};
    std::atomic<DWORD> handledOn{0};

    bool Create() {
        return RegisterWindowClass(kTestClass, 0, nullptr, nullptr, nullptr) &&
               CreateEx(0, kTestClass, L"ping", WS_POPUP, 0, 0, 10, 10, nullptr);
    }

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_TEST_PING) {
            handledOn = ::GetCurrentThreadId();
            ++pings;
            return static_cast<LRESULT>(wParam) + 1;
        }
        return DefaultProc(message, wParam, lParam);
    }
};

enum class Start { WithWindow, WithoutWindow, Refuse, Throw };

class CTestThread : public CUiThread {
public:
    explicit CTestThread(Start start) : m_start(start) {}
    ~CTestThread() override { Quit(); }

    CPingWindow window;
    std::atomic<DWORD> initOn{0};
    std::atomic<DWORD> exitOn{0};
    std::atomic<bool> windowExistedAtExit{false};
    std::atomic<int> exits{0};
    std::atomic<bool> currentWasThis{false};

protected:
    bool InitInstance() override {
        initOn = ::GetCurrentThreadId();
        currentWasThis = CUiThread::Current() == this;
        switch (m_start) {
            case Start::WithWindow:
                if (!window.Create()) return false;
                SetMainWindow(&window);
                return true;
            case Start::WithoutWindow:
                return true;
            case Start::Refuse:
                return false;
            case Start::Throw:
                throw std::runtime_error("no start");
        }
        return false;
    }
    int ExitInstance() override {
        exitOn = ::GetCurrentThreadId();
        windowExistedAtExit = window.Hwnd() != nullptr;
        window.DestroyWindow();
        ++exits;
        return CUiThread::ExitInstance() + 100;
    }

private:
    Start m_start;
};

DWORD ExitCodeOf(const CUiThread& thread) {
    DWORD code = 0;
    ::GetExitCodeThread(thread.ThreadHandle(), &code);
    return code;
}

bool Ended(const CUiThread& thread) {
    return ::WaitForSingleObject(thread.ThreadHandle(), 30000) == WAIT_OBJECT_0;
}

}  // namespace

TEST(UiThread, InitInstanceHasRunOnTheNewThreadWhenCreateThreadReturns) {
    CTestThread thread(Start::WithWindow);
    ASSERT_TRUE(thread.CreateThread());
    EXPECT_NE(0u, thread.ThreadId());
    EXPECT_NE(::GetCurrentThreadId(), thread.ThreadId());
    EXPECT_EQ(thread.ThreadId(), thread.initOn.load());
    EXPECT_TRUE(thread.currentWasThis.load());
    EXPECT_EQ(nullptr, CUiThread::Current());
    // Its window exists already and belongs to the new thread.
    ASSERT_TRUE(::IsWindow(thread.window.Hwnd()));
    EXPECT_EQ(thread.ThreadId(), ::GetWindowThreadProcessId(thread.window.Hwnd(), nullptr));
    EXPECT_EQ(&thread.window, thread.MainWindow());
}

TEST(UiThread, ItsMessageLoopServesItsWindow) {
    CTestThread thread(Start::WithWindow);
    ASSERT_TRUE(thread.CreateThread());
    EXPECT_EQ(8, ::SendMessageW(thread.window.Hwnd(), WM_TEST_PING, 7, 0));
    EXPECT_EQ(thread.ThreadId(), thread.window.handledOn.load());
    ::PostMessageW(thread.window.Hwnd(), WM_TEST_PING, 0, 0);
    EXPECT_EQ(3, ::SendMessageW(thread.window.Hwnd(), WM_TEST_PING, 2, 0));   // after the posted one
    EXPECT_EQ(3, thread.window.pings.load());
}

TEST(UiThread, DestroyingItsMainWindowEndsTheThread) {
    CTestThread thread(Start::WithWindow);
    ASSERT_TRUE(thread.CreateThread());
    ::PostMessageW(thread.window.Hwnd(), WM_CLOSE, 0, 0);   // the default handling destroys it
    ASSERT_TRUE(Ended(thread));
    EXPECT_EQ(nullptr, thread.MainWindow());
    EXPECT_FALSE(thread.windowExistedAtExit.load());
    EXPECT_EQ(thread.ThreadId(), thread.exitOn.load());
    EXPECT_EQ(1, thread.exits.load());
    EXPECT_EQ(100u, ExitCodeOf(thread));   // WM_QUIT code 0, plus the test's 100
}

TEST(UiThread, QuitEndsTheLoopAndExitInstanceCleansUpOnTheThread) {
    CTestThread thread(Start::WithWindow);
    ASSERT_TRUE(thread.CreateThread());
    EXPECT_TRUE(thread.Quit());
    EXPECT_TRUE(thread.windowExistedAtExit.load());
    EXPECT_EQ(nullptr, thread.window.Hwnd());   // destroyed by ExitInstance, on its own thread
    EXPECT_EQ(thread.ThreadId(), thread.exitOn.load());
    EXPECT_EQ(1, thread.exits.load());
}

TEST(UiThread, TheQuitCodeBecomesTheExitCode) {
    CTestThread thread(Start::WithoutWindow);
    ASSERT_TRUE(thread.CreateThread());
    // The queue exists as soon as CreateThread returns.
    ASSERT_TRUE(thread.PostThreadMessage(WM_QUIT, 7, 0));
    ASSERT_TRUE(Ended(thread));
    EXPECT_EQ(107u, ExitCodeOf(thread));
}

TEST(UiThread, ARefusedStartEndsTheThreadWithoutALoop) {
    CTestThread thread(Start::Refuse);
    ASSERT_TRUE(thread.CreateThread());
    ASSERT_TRUE(Ended(thread));
    EXPECT_EQ(1, thread.exits.load());
    EXPECT_EQ(100u, ExitCodeOf(thread));
}

TEST(UiThread, AThrowingStartEndsTheThreadAndNothingElse) {
    CTestThread thread(Start::Throw);
    ASSERT_TRUE(thread.CreateThread());
    ASSERT_TRUE(Ended(thread));
    EXPECT_EQ(1, thread.exits.load());
}

TEST(UiThread, ASecondCreateThreadIsRefused) {
    CTestThread thread(Start::WithoutWindow);
    ASSERT_TRUE(thread.CreateThread());
    const DWORD first = thread.ThreadId();
    EXPECT_FALSE(thread.CreateThread());
    EXPECT_EQ(first, thread.ThreadId());
}

TEST(UiThread, TheDestructorEndsARunningThread) {
    HANDLE handle = nullptr;
    {
        CTestThread thread(Start::WithWindow);
        ASSERT_TRUE(thread.CreateThread());
        ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), thread.ThreadHandle(), ::GetCurrentProcess(), &handle, 0,
                                      FALSE, DUPLICATE_SAME_ACCESS));
    }
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(handle, 0));
    ::CloseHandle(handle);
}
