// Between the portable core's UTF-16 strings (char16_t) and the system's wide strings: on
// Windows both are 16-bit UTF-16 units, so the text is copied unit by unit, unchanged.
#pragma once

#include <string>
#include <string_view>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide strings are UTF-16");

inline std::wstring ToWide(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}

inline std::u16string ToUtf16(std::wstring_view text) {
    return std::u16string(text.begin(), text.end());
}
