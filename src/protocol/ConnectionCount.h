// How many serving connections are open at once, and the slot that each connection holds for
// its lifetime. The listener takes a slot before it accepts; with none left it closes the new
// connection at once. A count, not a list: nothing here knows the connections.
//
// Threads: slots are taken on the listener's event thread and given back on each connection's
// own event thread when the connection object goes; the count is one atomic, shared through a
// shared_ptr so that a connection still open at exit never writes into a freed listener.
#pragma once

#include <atomic>
#include <memory>

class CConnectionSlot {
public:
    CConnectionSlot() noexcept = default;
    CConnectionSlot(CConnectionSlot&&) noexcept = default;
    CConnectionSlot& operator=(CConnectionSlot&& other) noexcept {
        Release();
        m_count = std::move(other.m_count);
        return *this;
    }
    ~CConnectionSlot() { Release(); }
    explicit operator bool() const noexcept { return m_count != nullptr; }

private:
    friend class CConnectionCount;
    explicit CConnectionSlot(std::shared_ptr<std::atomic<int>> count) noexcept : m_count(std::move(count)) {}
    void Release() noexcept {
        if (m_count) m_count->fetch_sub(1);
        m_count.reset();
    }

    std::shared_ptr<std::atomic<int>> m_count;
};

class CConnectionCount {
public:
    explicit CConnectionCount(int limit) : m_limit(limit) {}

    // A slot while fewer than the limit are open; an empty one otherwise.
    [[nodiscard]] CConnectionSlot TryTake() {
        int open = m_open->load();
        do {
            if (open >= m_limit) return {};
        } while (!m_open->compare_exchange_weak(open, open + 1));
        return CConnectionSlot(m_open);
    }
    [[nodiscard]] int Open() const noexcept { return m_open->load(); }
    [[nodiscard]] int Limit() const noexcept { return m_limit; }

private:
    const int m_limit;
    std::shared_ptr<std::atomic<int>> m_open = std::make_shared<std::atomic<int>>(0);
};
