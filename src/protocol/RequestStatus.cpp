// A request's status and its user message (see RequestStatus.h).
#include "protocol/RequestStatus.h"

#include "runtime/Handles.h"
#include "runtime/Module.h"

namespace {
// The system's text for an error code, without the line break it ends with; empty when it has none.
std::wstring SystemText(DWORD error) {
    std::wstring detail;
    if (error == 0) return detail;
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, error,
        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    UniqueLocalMemory owned(text);
    if (length != 0 && text != nullptr) detail.assign(text, length);
    // The system's texts end with a line break, which would only leave a blank line below.
    while (!detail.empty() && (detail.back() == L'\n' || detail.back() == L'\r' || detail.back() == L' '))
        detail.pop_back();
    return detail;
}
}  // namespace

void CRequestStatus::Set(StatusId status, DWORD systemError) {
    m_id = status;
    if (status == kStatusNone) {
        m_text.clear();
        return;
    }
    m_text.assign(ResourceText(status));
    if (const size_t at = m_text.find(L"%s"); at != std::wstring::npos) m_text.replace(at, 2, SystemText(systemError));
}
