// The floor of the paste latency in the transfer benchmark: a local program that promises formats
// on the clipboard with delayed rendering and renders each from memory when an application pastes
// it, the same delayed rendering as the program's without the network. Each format is SIZE bytes
// of the test pattern. Runs until it is ended.
//   bench_local_render SIZE NAME...     prints "PROMISED" once the formats are on the clipboard
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <vector>

#include "Pattern.h"

namespace {
std::vector<unsigned char> g_data;

LRESULT CALLBACK RenderProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_RENDERFORMAT) return ::DefWindowProcW(hwnd, message, wParam, lParam);
    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, g_data.size());
    if (void* bytes = block ? ::GlobalLock(block) : nullptr) {
        std::memcpy(bytes, g_data.data(), g_data.size());
        ::GlobalUnlock(block);
        if (!::SetClipboardData(static_cast<UINT>(wParam), block)) ::GlobalFree(block);
    }
    return 0;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_local_render SIZE NAME...\n");
        return 2;
    }
    g_data.resize(static_cast<size_t>(std::wcstoull(argv[1], nullptr, 10)));
    for (size_t i = 0; i < g_data.size(); ++i) g_data[i] = PatternByte(i);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = RenderProc;
    windowClass.lpszClassName = L"Pelko Bench Local Render";
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    if (!::RegisterClassW(&windowClass)) return 3;
    HWND owner = ::CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   windowClass.hInstance, nullptr);
    if (!owner) return 4;
    int attempt = 0;
    while (!::OpenClipboard(owner)) {
        if (++attempt == 100) return 5;
        ::Sleep(10);
    }
    ::EmptyClipboard();
    for (int i = 2; i < argc; ++i) ::SetClipboardData(::RegisterClipboardFormatW(argv[i]), nullptr);
    ::CloseClipboard();
    std::printf("PROMISED\n");
    std::fflush(stdout);
    for (MSG msg; ::GetMessageW(&msg, nullptr, 0, 0) > 0;) ::DispatchMessageW(&msg);
    return 0;
}
