#include "ui/ShowMessage.h"

#include <string>

#include "runtime/Module.h"
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
    const std::wstring text(ResourceText(stringId));
    if (text.empty()) return 0;
    return ShowMessage(text.c_str(), style);
}
