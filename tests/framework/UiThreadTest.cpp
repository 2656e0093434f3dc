// CUiThread: a thread with its own window and message loop, which ends with its main window or
// with a quit message, its exit code from ExitInstance.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>

#include "framework/UiThread.h"
#include "framework/Window.h"
#include "support/TestHelpers.h"

class CTestThread : public CUiThread {
public:
    explicit CTestThread(bool makeWindow) : withWindow(makeWindow) {}
    ~CTestThread() override { Quit(); }
    const bool withWindow;
    CWindow window;
    std::atomic<DWORD> exitOn{0};

    bool InitInstance() override {
        if (!withWindow) return true;
        SetMainWindow(&window);
        return window.RegisterWindowClass(L"Pelko UiThread Test", 0, nullptr, nullptr, nullptr) &&
               window.CreateEx(0, L"Pelko UiThread Test", L"ping", WS_POPUP, 0, 0, 10, 10, nullptr);
    }
    int ExitInstance() override {
        exitOn = ::GetCurrentThreadId();
        return CUiThread::ExitInstance() + 100;
    }
};

TEST(UiThread, ServesItsWindowOnItsOwnThreadAndEndsWhenTheWindowIsDestroyed) {
    CTestThread thread(true);
    ASSERT_TRUE(thread.CreateThread());
    // InitInstance has run when CreateThread returns: the window exists and is the thread's.
    ASSERT_TRUE(::IsWindow(thread.window.Hwnd()));
    EXPECT_EQ(::GetWindowThreadProcessId(thread.window.Hwnd(), nullptr), thread.ThreadId());
    ::PostMessageW(thread.window.Hwnd(), WM_CLOSE, 0, 0);  // the default handling destroys it
    EXPECT_EQ(WaitForThreadEnd(thread.ThreadHandle()), 100u);      // quit code 0, plus the test's 100
    EXPECT_EQ(thread.exitOn.load(), thread.ThreadId());
}

TEST(UiThread, QuitMessageEndsTheLoopWithItsCode) {
    CTestThread thread(false);
    ASSERT_TRUE(thread.CreateThread());
    ASSERT_TRUE(thread.PostThreadMessage(WM_QUIT, 7, 0));  // the queue exists already
    EXPECT_EQ(WaitForThreadEnd(thread.ThreadHandle()), 107u);
}
