#include "gpib/trace_feed.h"

#include <algorithm>

void TraceFeed::push(std::string line) {
    std::lock_guard lock(m_mutex);
    m_lines.push_back(std::move(line));
    if (m_lines.size() > m_capacity)
        m_lines.pop_front();
    // Counted under the lock, so a reader never sees a total ahead of the lines.
    m_total.fetch_add(1, std::memory_order_release);
}

std::vector<std::string> TraceFeed::since(uint64_t& cursor) const {
    std::lock_guard lock(m_mutex);
    const uint64_t total = m_total.load(std::memory_order_relaxed);
    const uint64_t first = total - m_lines.size();
    const uint64_t from = std::clamp(cursor, first, total);
    cursor = total;
    return {m_lines.begin() + static_cast<std::ptrdiff_t>(from - first), m_lines.end()};
}

void TraceFeed::clear() {
    std::lock_guard lock(m_mutex);
    m_lines.clear();
}

size_t TraceFeed::size() const {
    std::lock_guard lock(m_mutex);
    return m_lines.size();
}
