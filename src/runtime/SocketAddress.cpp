// EventSocket's address helpers: resolving a host text to an IPv4 socket address, formatting
// one for the trace, and the ANSI code page conversions that host names need before Winsock.
// They use no socket and may run on any thread.
#include <cstring>
#include <cwchar>
#include <string>

#include "runtime/EventSocket.h"

bool EventSocket::ResolveAddress(sockaddr_in& address, bool allowLookup, USHORT port, const wchar_t* host) {
    std::memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_port = ::htons(port);
    if (host == nullptr || *host == L'\0') {
        address.sin_addr.s_addr = ::htonl(INADDR_ANY);
        return true;
    }
    ULONG value = INADDR_NONE;
    std::string name;
    if (WideToMultiByte(host, name) > 0) {
        value = ::inet_addr(name.c_str());
        if (value == INADDR_NONE && allowLookup) {
            const hostent* entry = ::gethostbyname(name.c_str());
            if (entry != nullptr && entry->h_addrtype == AF_INET && entry->h_length == 4 && entry->h_addr_list[0] != nullptr)
                std::memcpy(&value, entry->h_addr_list[0], sizeof value);
        }
    }
    // INADDR_NONE is also 255.255.255.255 written out: that address cannot be resolved (or bound).
    if (value == INADDR_NONE) {
        ::WSASetLastError(WSAEINVAL);
        return false;
    }
    address.sin_addr.s_addr = value;
    return true;
}

std::wstring EventSocket::DottedAddress(ULONG address) {
    return std::to_wstring((address >> 24) & 0xFF) + L"." + std::to_wstring((address >> 16) & 0xFF) + L"." +
           std::to_wstring((address >> 8) & 0xFF) + L"." + std::to_wstring(address & 0xFF);
}

const wchar_t* EventSocket::FormatAddress(ULONG address, USHORT port, std::wstring& text) {
    text = L"IP: " + DottedAddress(address) + L" Port: " + std::to_wstring(port);
    return text.c_str();
}

namespace {
// The count of characters to convert: all of them with the null, or at most the limit.
template <typename Char, typename Length>
int CountToConvert(const Char* text, int limit, Length length) {
    const size_t whole = length(text) + 1;
    if (limit > 0 && static_cast<size_t>(limit) < whole) return limit;
    return whole > static_cast<size_t>(INT32_MAX) ? -1 : static_cast<int>(whole);
}
}  // namespace

int EventSocket::WideToMultiByte(const wchar_t* text, std::string& converted, int limit) {
    converted.clear();
    if (text == nullptr) return 0;
    const int count = CountToConvert(text, limit, std::wcslen);
    if (count <= 0) return 0;
    const int needed = ::WideCharToMultiByte(CP_ACP, 0, text, count, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return 0;
    converted.resize(static_cast<size_t>(needed));
    const int written = ::WideCharToMultiByte(CP_ACP, 0, text, count, converted.data(), needed, nullptr, nullptr);
    if (written <= 0) {
        converted.clear();
        return 0;
    }
    converted.resize(static_cast<size_t>(written));
    if (!converted.empty() && converted.back() == '\0') converted.pop_back();
    return written;
}

int EventSocket::MultiByteToWide(std::wstring& converted, const char* text, int limit) {
    converted.clear();
    if (text == nullptr) return 0;
    const int count = CountToConvert(text, limit, std::strlen);
    if (count <= 0) return 0;
    const int needed = ::MultiByteToWideChar(CP_ACP, 0, text, count, nullptr, 0);
    if (needed <= 0) return 0;
    converted.resize(static_cast<size_t>(needed));
    const int written = ::MultiByteToWideChar(CP_ACP, 0, text, count, converted.data(), needed);
    if (written <= 0) {
        converted.clear();
        return 0;
    }
    converted.resize(static_cast<size_t>(written));
    if (!converted.empty() && converted.back() == L'\0') converted.pop_back();
    return written;
}
