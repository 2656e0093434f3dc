// What the driver prints: UTF-8 on stdout (results) and stderr (why a command failed).
// Lines end with "\n" only, whatever the console would do, so tests compare exact bytes.
#pragma once

#include <string>

void PrintLine(const std::wstring& text);
void PrintRaw(const std::string& bytes);   // already UTF-8 or binary-safe text
// Prints "pelkodrv: TEXT" on stderr and returns the failure exit code 1.
int Fail(const std::wstring& text);
// Fail with the text of the calling thread's last error appended.
int FailWithLastError(const std::wstring& text);

std::string ToUtf8(const std::wstring& text);
std::wstring FormatHex(unsigned long long value, int digits = 8);  // "0x0001002A"
