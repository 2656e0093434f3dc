#include "Output.h"

#include <windows.h>

#include <cstdio>

namespace {
void WriteBytes(FILE* stream, const std::string& bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::fflush(stream);
}
}  // namespace

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
    return bytes;
}

void PrintLine(const std::wstring& text) {
    WriteBytes(stdout, ToUtf8(text) + "\n");
}

void PrintRaw(const std::string& bytes) {
    WriteBytes(stdout, bytes);
}

int Fail(const std::wstring& text) {
    WriteBytes(stderr, "pelkodrv: " + ToUtf8(text) + "\n");
    return 1;
}

int FailWithLastError(const std::wstring& text) {
    const DWORD error = ::GetLastError();
    return Fail(text + L" (error " + std::to_wstring(error) + L")");
}

std::wstring FormatHex(unsigned long long value, int digits) {
    wchar_t buffer[32];
    std::swprintf(buffer, 32, L"0x%0*llX", digits, value);
    return buffer;
}
