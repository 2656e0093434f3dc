// The formats promised on the local clipboard with delayed rendering and not yet fetched from
// the remote host, in list order. Placement fills it, each rendered format leaves it, and while
// it is not empty (and the hidden window still owns the clipboard) this host holds a borrowed
// clipboard that it must not serve to others.
//
// Threads: the main thread changes it (placement, rendering); the serving connections' event
// threads ask whether it is empty. The lock guards the array; the count is kept in an atomic
// as well so that the serving side's question never waits on the main thread.
#pragma once

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <vector>

#include "runtime/Handles.h"

class PendingFormats {
public:
    void Clear() {
        CriticalSectionLock lock(m_lock);
        m_ids.clear();
        m_count.store(0, std::memory_order_relaxed);
    }
    void Add(UINT id) {
        CriticalSectionLock lock(m_lock);
        m_ids.push_back(id);
        m_count.store(m_ids.size(), std::memory_order_relaxed);
    }
    // Removes the last entry equal to id (searching from the end); false when there is none.
    bool Remove(UINT id) {
        CriticalSectionLock lock(m_lock);
        auto found = std::find(m_ids.rbegin(), m_ids.rend(), id);
        if (found == m_ids.rend()) return false;
        m_ids.erase(std::next(found).base());
        m_count.store(m_ids.size(), std::memory_order_relaxed);
        return true;
    }
    [[nodiscard]] bool IsEmpty() const noexcept { return m_count.load(std::memory_order_relaxed) == 0; }
    [[nodiscard]] size_t Count() const noexcept { return m_count.load(std::memory_order_relaxed); }
    [[nodiscard]] std::vector<UINT> Ids() const {
        CriticalSectionLock lock(m_lock);
        return m_ids;
    }

private:
    mutable CriticalSection m_lock;
    std::vector<UINT> m_ids;
    std::atomic<size_t> m_count{0};
};
