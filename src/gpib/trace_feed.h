#pragma once
// The latest trace lines in memory, for a window that shows them live. It
// keeps a bounded number of lines (older ones are dropped), so a long run
// never grows it. Lines may come from any thread; a reader collects what
// arrived since it last looked, in batches, instead of being called per line.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

class TraceFeed {
  public:
    static constexpr size_t kLines = 10000;

    explicit TraceFeed(size_t capacity = kLines) : m_capacity(capacity) {}

    void push(std::string line);

    // Every line pushed so far, dropped ones included: a reader's cursor.
    // Cheap enough to poll: no lock.
    uint64_t total() const { return m_total.load(std::memory_order_acquire); }

    // The kept lines pushed after cursor, oldest first, and moves cursor to
    // total(). Lines dropped meanwhile are simply not there.
    std::vector<std::string> since(uint64_t& cursor) const;

    // Forgets the kept lines; total() goes on counting.
    void clear();
    size_t size() const;

  private:
    const size_t m_capacity;
    mutable std::mutex m_mutex;
    std::deque<std::string> m_lines;
    std::atomic<uint64_t> m_total{0};
};
