#include "runtime/Module.h"

HINSTANCE ModuleInstance() {
    return ::GetModuleHandleW(nullptr);
}

std::wstring_view ResourceText(UINT id) {
    // With a zero length LoadStringW hands out the resource's own read-only text, of any length
    // and not terminated.
    const wchar_t* text = nullptr;
    const int length = ::LoadStringW(ModuleInstance(), id, reinterpret_cast<wchar_t*>(&text), 0);
    if (length <= 0 || !text) return {};
    return std::wstring_view(text, static_cast<size_t>(length));
}
