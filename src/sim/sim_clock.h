#pragma once
// Bus time. In real timing a wait really waits, as on hardware. In instant
// timing a wait only moves the clock on, so a 3 s timeout costs nothing and
// yet everything that depends on time (response delays, timeouts) happens in
// the same order as it would on a real bus.

#include <atomic>
#include <chrono>
#include <cstdint>

namespace sim {

class SimClock {
  public:
    explicit SimClock(bool instant) : m_instant(instant) {}

    bool instant() const { return m_instant; }
    // Microseconds since an arbitrary start.
    int64_t nowUs() const;
    // Waits (or, in instant timing, advances) until nowUs() >= us.
    void waitUntil(int64_t us);
    void wait(int64_t us) { waitUntil(nowUs() + us); }

  private:
    bool m_instant;
    // Boards of one bench may run on several threads at once (the driver
    // locks each board, not the bench): the instant clock only moves forward.
    std::atomic<int64_t> m_offsetUs{0};
};

}  // namespace sim
