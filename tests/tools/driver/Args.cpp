#include "Args.h"

#include <cwchar>

std::optional<std::wstring> CArgs::TakeOption(const wchar_t* name) {
    for (size_t i = 0; i < m_args.size(); ++i) {
        if (m_args[i].size() > 2 && m_args[i].compare(0, 2, L"--") == 0 && m_args[i].substr(2) == name) {
            if (i + 1 >= m_args.size()) {
                SetError(std::wstring(L"option --") + name + L" needs a value");
                m_args.erase(m_args.begin() + static_cast<std::ptrdiff_t>(i));
                return std::nullopt;
            }
            std::wstring value = m_args[i + 1];
            m_args.erase(m_args.begin() + static_cast<std::ptrdiff_t>(i), m_args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
            return value;
        }
    }
    return std::nullopt;
}

std::vector<std::wstring> CArgs::TakeOptions(const wchar_t* name) {
    std::vector<std::wstring> values;
    while (auto value = TakeOption(name)) values.push_back(*value);
    return values;
}

std::optional<std::pair<std::wstring, std::wstring>> CArgs::TakeOptionPair(const wchar_t* name) {
    for (size_t i = 0; i < m_args.size(); ++i) {
        if (m_args[i].size() > 2 && m_args[i].compare(0, 2, L"--") == 0 && m_args[i].substr(2) == name) {
            if (i + 2 >= m_args.size()) {
                SetError(std::wstring(L"option --") + name + L" needs two values");
                m_args.erase(m_args.begin() + static_cast<std::ptrdiff_t>(i), m_args.end());
                return std::nullopt;
            }
            std::pair<std::wstring, std::wstring> values(m_args[i + 1], m_args[i + 2]);
            m_args.erase(m_args.begin() + static_cast<std::ptrdiff_t>(i), m_args.begin() + static_cast<std::ptrdiff_t>(i) + 3);
            return values;
        }
    }
    return std::nullopt;
}

bool CArgs::TakeFlag(const wchar_t* name) {
    for (size_t i = 0; i < m_args.size(); ++i) {
        if (m_args[i].size() > 2 && m_args[i].compare(0, 2, L"--") == 0 && m_args[i].substr(2) == name) {
            m_args.erase(m_args.begin() + static_cast<std::ptrdiff_t>(i));
            return true;
        }
    }
    return false;
}

std::optional<std::vector<std::wstring>> CArgs::TakeRest(const wchar_t* name) {
    for (size_t i = 0; i < m_args.size(); ++i) {
        if (m_args[i].size() > 2 && m_args[i].compare(0, 2, L"--") == 0 && m_args[i].substr(2) == name) {
            std::vector<std::wstring> rest(m_args.begin() + static_cast<std::ptrdiff_t>(i) + 1, m_args.end());
            m_args.erase(m_args.begin() + static_cast<std::ptrdiff_t>(i), m_args.end());
            return rest;
        }
    }
    return std::nullopt;
}

std::int64_t CArgs::TakeNumber(const wchar_t* name, std::int64_t fallback) {
    auto text = TakeOption(name);
    if (!text) return fallback;
    std::int64_t value = 0;
    if (!ParseNumber(*text, value)) {
        SetError(std::wstring(L"option --") + name + L": not a number: " + *text);
        return fallback;
    }
    return value;
}

const std::vector<std::wstring>& CArgs::Positional() {
    for (const auto& arg : m_args) {
        if (arg.size() > 2 && arg.compare(0, 2, L"--") == 0) SetError(L"unknown option " + arg);
    }
    return m_args;
}

bool ParseNumber(const std::wstring& text, std::int64_t& value) {
    const wchar_t* p = text.c_str();
    bool negative = false;
    if (*p == L'-') { negative = true; ++p; }
    int base = 10;
    if (p[0] == L'0' && (p[1] == L'x' || p[1] == L'X')) { base = 16; p += 2; }
    if (*p == 0) return false;
    std::uint64_t result = 0;
    for (; *p; ++p) {
        int digit;
        if (*p >= L'0' && *p <= L'9') digit = *p - L'0';
        else if (base == 16 && *p >= L'a' && *p <= L'f') digit = *p - L'a' + 10;
        else if (base == 16 && *p >= L'A' && *p <= L'F') digit = *p - L'A' + 10;
        else return false;
        result = result * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
    }
    value = negative ? -static_cast<std::int64_t>(result) : static_cast<std::int64_t>(result);
    return true;
}
