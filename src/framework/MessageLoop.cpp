#include "framework/MessageLoop.h"

#include "runtime/Trace.h"

void CMessageLoop::OnWindowDestroyed(CWindow* window) noexcept {
    if (window && window == m_mainWindow) {
        m_mainWindow = nullptr;
        ::PostQuitMessage(0);
    }
}

int RunMessageLoop() {
    MSG msg{};
    for (;;) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) return static_cast<int>(msg.wParam);
        if (got == -1) {
            ExTrace(L"GetMessage failed with %d", static_cast<int>(::GetLastError()));
            return -1;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}
