// Texts travel as UTF-16 code units (char16_t) in the portable code. On Windows wchar_t is the
// same 16-bit unit, so the Windows side converts unit for unit with these helpers; where
// wchar_t is wider (the native Linux build) they do not exist and nothing needs them.
#pragma once

#include <cwchar>
#include <string>
#include <string_view>

#if WCHAR_MAX == 0xFFFF
static_assert(sizeof(wchar_t) == sizeof(char16_t));

inline std::u16string ToUtf16(std::wstring_view text) {
    return std::u16string(text.begin(), text.end());
}

inline std::wstring ToWide(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}
#define PELKO_WCHAR_IS_UTF16 1
#endif
