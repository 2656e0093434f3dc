// The counter that numbers message headers. A client accepts a reply only when it carries the
// number of its own request, so every header takes a new number, from any thread, atomically.
#pragma once

#include <atomic>
#include <cstdint>

class CSequenceCounter {
public:
    constexpr explicit CSequenceCounter(uint32_t start = 0) noexcept : m_value(start) {}
    CSequenceCounter(const CSequenceCounter&) = delete;
    CSequenceCounter& operator=(const CSequenceCounter&) = delete;

    // Advances the counter and returns the new value; wraps from 0xFFFFFFFF to 0.
    uint32_t Next() noexcept { return m_value.fetch_add(1, std::memory_order_relaxed) + 1; }

private:
    std::atomic<uint32_t> m_value;
};
