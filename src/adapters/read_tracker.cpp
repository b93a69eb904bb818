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

void ReadTracker::setMarker(std::string line) {
    m_marker = std::move(line);
    // Knuth-Morris-Pratt: how much of the marker still matches when the
    // next byte does not, so that each byte is looked at once.
    m_fallback.assign(m_marker.size() + 1, 0);
    for (size_t i = 1, k = 0; i < m_marker.size(); ++i) {
        while (k > 0 && m_marker[i] != m_marker[k]) k = m_fallback[k];
        if (m_marker[i] == m_marker[k])
            ++k;
        m_fallback[i + 1] = k;
    }
}

void ReadTracker::start(gpibdrv::BusAddress from, bool markPossible) {
    m_from = from;
    m_running = true;
    m_markPossible = markPossible;
    m_held.clear();
    m_heldUs.clear();
    m_markHeld = false;
    m_matched = 0;
    m_outcome = {};
}

void ReadTracker::reset() {
    m_running = false;
    m_held.clear();
    m_heldUs.clear();
    m_markHeld = false;
    m_matched = 0;
}

void ReadTracker::release(char c, PendingInput& out) {
    out.push(c);
    ++m_outcome.bytes;
    m_outcome.lastByte = static_cast<unsigned char>(c);
}

size_t ReadTracker::feed(const char* bytes, size_t n, int64_t nowUs, PendingInput& out) {
    if (!m_running || m_marker.empty())
        return 0;
    const char mark = char(m_timing.mark);
    for (size_t i = 0; i < n; ++i) {
        const char c = bytes[i];
        if (m_held.empty() && c != m_marker[0] && !(m_markPossible && c == mark)) {
            release(c, out);  // plain data: most bytes of a long answer
            continue;
        }
        take(c, nowUs, out);
        if (m_matched == m_marker.size()) {
            finish(out);
            return i + 1;
        }
    }
    return n;
}

void ReadTracker::take(char c, int64_t nowUs, PendingInput& out) {
    m_held.push_back(c);
    m_heldUs.push_back(nowUs);
    size_t k = m_matched;
    while (k > 0 && c != m_marker[k]) k = m_fallback[k];
    if (c == m_marker[k])
        ++k;
    m_matched = k;
    // Keep the matched start of the marker and, before it, one byte that
    // may be the EOI mark; everything earlier is data.
    size_t keep = m_matched;
    const size_t before = m_held.size() - keep;
    m_markHeld = m_markPossible && before >= 1 && m_held[before - 1] == char(m_timing.mark);
    if (m_markHeld)
        ++keep;
    const size_t drop = m_held.size() - keep;
    for (size_t i = 0; i < drop; ++i) release(m_held[i], out);
    m_held.erase(0, drop);
    m_heldUs.erase(m_heldUs.begin(), m_heldUs.begin() + long(drop));
}

void ReadTracker::finish(PendingInput& out) {
    bool eoi = false;
    if (m_markHeld) {
        // A mark needs a byte before it, and arrives together with the
        // marker line; one seen well before it was data that ended the read
        // at the adapter's timeout.
        const bool together = m_heldUs[1] - m_heldUs[0] < m_timing.readTmoUs / 2;
        eoi = m_outcome.bytes > 0 && together;
        if (!eoi)
            release(m_held[0], out);
    }
    out.eoi = eoi;
    m_outcome.eoi = eoi;
    m_running = false;
    m_held.clear();
    m_heldUs.clear();
    m_markHeld = false;
    m_matched = 0;
}

}  // namespace adapters
