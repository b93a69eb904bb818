#include "adapters/read_tracker.h"

namespace adapters {

namespace {
// A misbehaving talker that never stops is not allowed to eat the memory.
constexpr size_t kMaxPending = 64u << 20;
}  // namespace

void PendingInput::pop() {
    if (++m_head == m_bytes.size()) {
        m_bytes.clear();
        m_head = 0;
    } else if (m_head >= 4096 && m_head * 2 >= m_bytes.size()) {
        m_bytes.erase(0, m_head);
        m_head = 0;
    }
}

void PendingInput::push(char c) {
    if (m_bytes.size() < kMaxPending)
        m_bytes.push_back(c);
    eoi = false;
}

void PendingInput::clear() {
    m_bytes.clear();
    m_head = 0;
    eoi = false;
}

void ReadTracker::start(gpibdrv::BusAddress from, int64_t nowUs) {
    m_from = from;
    m_running = true;
    m_endedAtMark = false;
    m_markHeld = false;
    m_data = 0;
    m_lastUs = nowUs;
}

void ReadTracker::reset() {
    m_running = m_endedAtMark = m_markHeld = false;
}

void ReadTracker::feed(const char* bytes, size_t n, int64_t nowUs, PendingInput& out) {
    if (n == 0 || !owns())
        return;
    if (!m_running) {
        // The mark we took for EOI was data: the read is still going on.
        m_running = true;
        m_endedAtMark = false;
        m_markHeld = true;
    }
    const char mark = char(m_timing.mark);
    for (size_t i = 0; i < n; ++i) {
        if (m_markHeld) {
            out.push(mark);
            ++m_data;
            m_markHeld = false;
        }
        if (bytes[i] == mark && m_data > 0) {
            m_markHeld = true;
        } else {
            out.push(bytes[i]);
            ++m_data;
        }
    }
    m_lastUs = nowUs;
}

int64_t ReadTracker::decisionUs() const {
    return m_lastUs + (m_markHeld ? m_timing.quietUs : m_timing.endSilenceUs);
}

void ReadTracker::expire(int64_t nowUs, PendingInput& out) {
    if (!m_running || nowUs < decisionUs())
        return;
    m_running = false;
    if (m_markHeld) {
        m_markHeld = false;
        m_endedAtMark = true;
        out.eoi = true;
    }
}

}  // namespace adapters
