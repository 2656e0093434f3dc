// The driver's command line: options are taken out by name, what is left are the positional
// arguments in their order. Numbers are decimal or 0x-prefixed hexadecimal, optionally negative.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class CArgs {
public:
    explicit CArgs(std::vector<std::wstring> args) : m_args(std::move(args)) {}

    // Removes "--name VALUE" and returns VALUE; nothing if the option is absent.
    // A missing value is an error (Error() tells).
    std::optional<std::wstring> TakeOption(const wchar_t* name);
    // Removes every "--name VALUE" and returns the values in order.
    std::vector<std::wstring> TakeOptions(const wchar_t* name);
    // Removes "--name FIRST SECOND" and returns both; nothing if absent.
    std::optional<std::pair<std::wstring, std::wstring>> TakeOptionPair(const wchar_t* name);
    // Removes "--name" and tells whether it was there.
    bool TakeFlag(const wchar_t* name);
    // Removes "--name" and everything after it, which it returns (for lists such as file names).
    std::optional<std::vector<std::wstring>> TakeRest(const wchar_t* name);

    // A number option with a default; an unparsable value is an error.
    std::int64_t TakeNumber(const wchar_t* name, std::int64_t fallback);

    // The positional arguments left; an argument that looks like an unknown option is an error.
    const std::vector<std::wstring>& Positional();

    [[nodiscard]] bool HasError() const { return !m_error.empty(); }
    [[nodiscard]] const std::wstring& Error() const { return m_error; }
    void SetError(std::wstring error) { if (m_error.empty()) m_error = std::move(error); }

private:
    std::vector<std::wstring> m_args;
    std::wstring m_error;
};

// Parses decimal or 0x-hexadecimal, with an optional leading '-'. False if not a whole number.
bool ParseNumber(const std::wstring& text, std::int64_t& value);
