#include "app/ShowMessage.h"

#include <string>

#include "framework/Window.h"
#include "ui/MessageDlg.h"

int ShowMessage(const wchar_t* text, UINT style) {
    CMessageDlg box(::GetDesktopWindow());
    return box.Show(text, style);
}

int ShowMessageId(UINT stringId, UINT style) {
    // With a zero length LoadStringW hands out the resource's own read-only text, of any length.
    const wchar_t* resource = nullptr;
    const int length = ::LoadStringW(ModuleInstance(), stringId, reinterpret_cast<wchar_t*>(&resource), 0);
    if (length <= 0 || !resource) return 0;
    const std::wstring text(resource, static_cast<size_t>(length));
    return ShowMessage(text.c_str(), style);
}
