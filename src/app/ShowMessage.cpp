#include "app/ShowMessage.h"

#include <string>

#include "framework/Window.h"
#include "ui/MessageDlg.h"

namespace {
thread_local int t_openBoxes = 0;
}  // namespace

int ShowMessage(const wchar_t* text, UINT style) {
    CMessageDlg box(::GetDesktopWindow());
    ++t_openBoxes;
    const int result = box.Show(text, style);
    --t_openBoxes;
    return result;
}

bool IsMessageBoxOpen() noexcept {
    return t_openBoxes > 0;
}

int ShowMessageId(UINT stringId, UINT style) {
    // With a zero length LoadStringW hands out the resource's own read-only text, of any length.
    const wchar_t* resource = nullptr;
    const int length = ::LoadStringW(ModuleInstance(), stringId, reinterpret_cast<wchar_t*>(&resource), 0);
    if (length <= 0 || !resource) return 0;
    const std::wstring text(resource, static_cast<size_t>(length));
    return ShowMessage(text.c_str(), style);
}
