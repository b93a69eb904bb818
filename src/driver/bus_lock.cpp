#include "driver/bus_lock.h"

#include <algorithm>
#include <chrono>

namespace gpibdrv {

bool BusLock::acquire(bool timed, int64_t deadlineUs, const std::atomic<bool>* cancelled) {
    using namespace std::chrono;
    const steady_clock::time_point deadline{
        duration_cast<steady_clock::duration>(microseconds(deadlineUs))};
    std::unique_lock<std::mutex> hold(m_mutex);
    const uint64_t ticket = m_nextTicket++;
    m_waiting.push_back(ticket);
    auto myTurn = [&] { return !m_held && m_waiting.front() == ticket; };
    auto gaveUp = [&] { return cancelled && cancelled->load(); };
    auto done = [&] { return myTurn() || gaveUp(); };
    bool got = timed ? m_turn.wait_until(hold, deadline, done) : (m_turn.wait(hold, done), true);
    if (got && !gaveUp()) {
        m_waiting.pop_front();
        m_held = true;
        return true;
    }
    m_waiting.erase(std::find(m_waiting.begin(), m_waiting.end(), ticket));
    // The one behind may be first now.
    m_turn.notify_all();
    return false;
}

bool BusLock::lockUntil(int64_t deadlineUs) {
    return acquire(true, deadlineUs);
}

bool BusLock::lockUntil(int64_t deadlineUs, const std::atomic<bool>& cancelled) {
    return acquire(true, deadlineUs, &cancelled);
}

void BusLock::wake() {
    // Taken and let go: a waiter between its look at the flag and its sleep
    // cannot miss the call.
    { std::lock_guard<std::mutex> hold(m_mutex); }
    m_turn.notify_all();
}

void BusLock::lock() {
    acquire(false, 0);
}

bool BusLock::try_lock() {
    std::lock_guard<std::mutex> hold(m_mutex);
    if (m_held || !m_waiting.empty())
        return false;
    m_held = true;
    return true;
}

void BusLock::unlock() {
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        m_held = false;
    }
    m_turn.notify_all();
}

}  // namespace gpibdrv
