#pragma once
// One bus, one operation at a time: a lock that lets its waiters in in the
// order they came, and that a waiter may give up on at its deadline. Every
// face of the driver holds a board's lock around each of its operations, so
// that calls on one board run one after another while other boards go on.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

namespace gpibdrv {

class BusLock {
  public:
    // Waits for the bus in arrival order until deadlineUs (monotonic
    // microseconds); false, and nothing held, when the deadline came first.
    bool lockUntil(int64_t deadlineUs);
    // The same, and gives up as well (false) once cancelled is set and
    // wake() was called after setting it: a server's client may abort or
    // go away while its operation waits for the bus.
    bool lockUntil(int64_t deadlineUs, const std::atomic<bool>& cancelled);
    void wake();
    void lock();
    void unlock();
    bool try_lock();

  private:
    bool acquire(bool timed, int64_t deadlineUs, const std::atomic<bool>* cancelled = nullptr);

    std::mutex m_mutex;
    std::condition_variable m_turn;
    std::deque<uint64_t> m_waiting;  // tickets, oldest first
    uint64_t m_nextTicket = 0;
    bool m_held = false;
};

}  // namespace gpibdrv
