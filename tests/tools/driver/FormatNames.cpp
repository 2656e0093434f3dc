#include "FormatNames.h"

#include <cwchar>

#include "Args.h"

namespace {
struct StandardFormat {
    UINT id;
    const wchar_t* name;
};
constexpr StandardFormat kStandardFormats[] = {
    {1, L"CF_TEXT"},        {2, L"CF_BITMAP"},          {3, L"CF_METAFILEPICT"},  {4, L"CF_SYLK"},
    {5, L"CF_DIF"},         {6, L"CF_TIFF"},            {7, L"CF_OEMTEXT"},       {8, L"CF_DIB"},
    {9, L"CF_PALETTE"},     {10, L"CF_PENDATA"},        {11, L"CF_RIFF"},         {12, L"CF_WAVE"},
    {13, L"CF_UNICODETEXT"}, {14, L"CF_ENHMETAFILE"},   {15, L"CF_HDROP"},        {16, L"CF_LOCALE"},
    {17, L"CF_DIBV5"},      {128, L"CF_OWNERDISPLAY"},  {129, L"CF_DSPTEXT"},     {130, L"CF_DSPBITMAP"},
    {131, L"CF_DSPMETAFILEPICT"}, {142, L"CF_DSPENHMETAFILE"},
};
}  // namespace

UINT FormatIdFromName(const std::wstring& name) {
    for (const auto& format : kStandardFormats) {
        if (::_wcsicmp(format.name, name.c_str()) == 0) return format.id;
    }
    std::int64_t number = 0;
    if (name.size() > 1 && name[0] == L'#' && ParseNumber(name.substr(1), number) && number > 0 && number <= 0xFFFF)
        return static_cast<UINT>(number);
    return ::RegisterClipboardFormatW(name.c_str());
}

std::wstring FormatNameFromId(UINT id) {
    for (const auto& format : kStandardFormats) {
        if (format.id == id) return format.name;
    }
    wchar_t buffer[260];
    const int length = ::GetClipboardFormatNameW(id, buffer, 260);
    return length > 0 ? std::wstring(buffer, static_cast<size_t>(length)) : L"(Unknown)";
}
