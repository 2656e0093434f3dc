// A settings field that other threads read while the main thread may write it (the serving
// connections read Locked and AcceptFriendsOnly, the client reads TCPPort, ...): a 32-bit word
// read and written whole, with relaxed order, since no other data is published through it.
// Reads and writes look like those of the plain value.
#pragma once

#include <atomic>

template <typename T>
class Relaxed {
public:
    constexpr Relaxed(T value = T()) noexcept : m_value(value) {}
    Relaxed(const Relaxed& other) noexcept : m_value(other.Get()) {}
    Relaxed& operator=(const Relaxed& other) noexcept { return *this = other.Get(); }
    Relaxed& operator=(T value) noexcept {
        m_value.store(value, std::memory_order_relaxed);
        return *this;
    }
    [[nodiscard]] T Get() const noexcept { return m_value.load(std::memory_order_relaxed); }
    operator T() const noexcept { return Get(); }

private:
    std::atomic<T> m_value;
};
