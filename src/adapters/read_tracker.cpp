#include "adapters/read_tracker.h"

#include <algorithm>

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

void ReadTracker::setMarker(std::string marker) {
    m_marker = std::move(marker);
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

void ReadTracker::start(const ReadStart& read) {
    if (m_reads.empty()) {
        clearHeld();
        m_outcome = {};
        m_dataAfterUs = read.startUs;
    }
    m_reads.push_back({read, read.fast});
}

bool ReadTracker::runningFor(gpibdrv::BusAddress a) const {
    return std::any_of(m_reads.begin(), m_reads.end(),
                       [&](const Entry& e) { return e.start.from == a; });
}

void ReadTracker::reset() {
    m_reads.clear();
    m_ended.reset();
    m_outcome = {};
    clearHeld();
}

void ReadTracker::clearHeld() {
    m_held.clear();
    m_heldAfter.clear();
    m_heldBy.clear();
    m_markHeld = false;
    m_matched = 0;
    m_gapUs = 0;
}

std::optional<ReadTracker::Outcome> ReadTracker::ended() {
    std::optional<Outcome> o;
    o.swap(m_ended);
    return o;
}

void ReadTracker::look(int64_t us) {
    // The candidate was there by m_heldBy[0]; the marker was not at us.
    if (candidateLast())
        m_gapUs = std::max(m_gapUs, us - m_heldBy[0]);
}

void ReadTracker::quiet(int64_t us) {
    if (running())
        look(us);
}

void ReadTracker::releaseOne(char c, int64_t afterUs, PendingInput& out) {
    out.push(c);
    ++m_outcome.bytes;
    m_outcome.lastByte = static_cast<unsigned char>(c);
    m_dataAfterUs = std::max(m_dataAfterUs, afterUs);
}

void ReadTracker::release(size_t count, PendingInput& out) {
    for (size_t i = 0; i < count; ++i) releaseOne(m_held[i], m_heldAfter[i], out);
    m_held.erase(0, count);
    m_heldAfter.erase(m_heldAfter.begin(), m_heldAfter.begin() + long(count));
    m_heldBy.erase(m_heldBy.begin(), m_heldBy.begin() + long(count));
}

size_t ReadTracker::feed(const char* bytes, size_t n, int64_t afterUs, int64_t byUs,
                         PendingInput& out) {
    if (!running() || m_marker.empty())
        return 0;
    look(afterUs);
    const bool markPossible = current().markPossible;
    for (size_t i = 0; i < n; ++i) {
        const char c = bytes[i];
        if (m_held.empty() && c != m_marker[0] && !(markPossible && c == m_mark)) {
            releaseOne(c, afterUs, out);  // plain data: most bytes of a long answer
            continue;
        }
        take(c, afterUs, byUs, out);
        if (m_matched == m_marker.size()) {
            finish(out);
            return i + 1;
        }
    }
    return n;
}

void ReadTracker::take(char c, int64_t afterUs, int64_t byUs, PendingInput& out) {
    m_held.push_back(c);
    m_heldAfter.push_back(afterUs);
    m_heldBy.push_back(byUs);
    size_t k = m_matched;
    while (k > 0 && c != m_marker[k]) k = m_fallback[k];
    if (c == m_marker[k])
        ++k;
    m_matched = k;
    // Keep the matched start of the marker and, before it, one byte that
    // may be the mark; everything earlier is data.
    size_t keep = m_matched;
    const size_t before = m_held.size() - keep;
    const bool markHeld = current().markPossible && before >= 1 && m_held[before - 1] == m_mark;
    if (markHeld)
        ++keep;
    const size_t drop = m_held.size() - keep;
    release(drop, out);
    if (markHeld && (!m_markHeld || drop > 0))
        m_gapUs = 0;  // another byte is the candidate now
    m_markHeld = markHeld;
}

void ReadTracker::finish(PendingInput& out) {
    const ReadStart read = current();
    const size_t markerAt = m_markHeld ? 1 : 0;
    const int64_t markerBy = m_heldBy[markerAt];
    bool eoi = false;
    if (m_markHeld) {
        // A mark needs a byte before it. The safe way asks for the marker
        // once the candidate came last: right behind it means EOI. The fast
        // way asked for it before: one seen well apart from it was data
        // that ended the read at the adapter's timeout.
        eoi = m_outcome.bytes > 0 && (!read.fast || m_gapUs < read.marginUs);
        if (!eoi)
            release(1, out);
    }
    const int64_t dataAfter = m_dataAfterUs;  // the newest byte that was data
    out.eoi = eoi;
    m_outcome.eoi = eoi;
    m_outcome.read = read;
    const bool atEndByte = read.endByte >= 0 && m_outcome.lastByte == read.endByte;
    m_outcome.cutShort = read.fast && !eoi && !atEndByte && markerBy - dataAfter < read.marginUs;
    m_ended = m_outcome;
    m_reads.pop_front();
    clearHeld();
    m_outcome = {};
    if (running())
        m_dataAfterUs = current().startUs;
}

}  // namespace adapters
