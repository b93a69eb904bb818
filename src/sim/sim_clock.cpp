#include "sim/sim_clock.h"

#include <thread>

namespace sim {

int64_t SimClock::nowUs() const {
    auto t = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::microseconds>(t).count() + m_offsetUs;
}

void SimClock::waitUntil(int64_t us) {
    int64_t now = nowUs();
    if (us <= now)
        return;
    if (m_instant) {
        m_offsetUs += us - now;
        return;
    }
    // Sleep for the long part; spin the last stretch, which a sleep would
    // overshoot (a byte of bus time is a microsecond).
    while (us - now > 2000) {
        std::this_thread::sleep_for(std::chrono::microseconds(us - now - 1000));
        now = nowUs();
    }
    while (nowUs() < us) {
    }
}

int64_t timeoutUs(int code) {
    static constexpr int64_t kTable[] = {
        0,      10,     30,      100,     300,      1000,     3000,      10000,     30000,
        100000, 300000, 1000000, 3000000, 10000000, 30000000, 100000000, 300000000, 1000000000};
    return code >= 0 && code <= 17 ? kTable[code] : 0;
}

}  // namespace sim
