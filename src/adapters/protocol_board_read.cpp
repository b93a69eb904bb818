// Receive: reads asked of the adapter in the fast or the safe way
// (read_tracker.h), and what each read that ended showed.
#include "adapters/protocol_board.h"

namespace adapters {

using gpibdrv::BusAddress;
using gpibdrv::kDone;

namespace {

// Reads queued behind one another before a new one waits for the oldest.
constexpr size_t kMaxReads = 4;
// The adapter's read timeout for a talker that has not shown EOI yet, when
// the caller's time is longer: an instrument that never asserts EOI keeps a
// read to EOI running until the adapter's timeout after its last byte, and
// the next command waits behind it. Its margin (half of it) still covers
// delays of a quarter of a second between the mark and the marker.
constexpr int64_t kUnprovenTalkerTmoUs = 500000;
// Safe way: a mark candidate that came last is given this long for more bytes
// before its marker is asked (for speed alone: a 234 inside binary data
// rarely ends a burst).
constexpr int64_t kCandidateQuietUs = 2000;
// Fast way: while a mark candidate came last, the line is looked at this
// often, so that a marker that comes only at the adapter's timeout is seen
// to come apart from it (a wait that ends with bytes bounds nothing).
constexpr int64_t kLookUs = 10000;

// AR488's ++eor codes for the end bytes it can read to (GPIBbus::
// isTerminatorDetected(): 1 CR, 2 LF, 5 ETX); -1 for any other byte.
int eorFor(int eos) {
    return eos == '\r' ? 1 : eos == '\n' ? 2 : eos == 3 ? 5 : -1;
}

}  // namespace

std::string ProtocolBoard::readLines(BusAddress from, int eos, ReadStart& read) {
    read.markPossible = true;
    read.endByte = -1;
    const bool toByte = eos >= 0 && m_noEoi.count(key(from)) > 0;
    if (toByte && !ar488()) {
        read.endByte = eos;
        return "++read " + std::to_string(eos) + "\n";
    }
    const int eor = eorFor(eos);
    if (toByte && eor >= 0 && m_report.eor >= 0) {
        // AR488 0.53 takes a number after ++read for an address (read_h()),
        // and reads to EOI alone while ++eoi is 1 (receiveData()); it reads
        // to its ++eor terminator with ++eoi 0, and marks no EOI then. The
        // fast way restores ++eoi 1 right behind the read (the adapter takes
        // it after the read); the safe way in front of the next command.
        read.markPossible = false;
        read.endByte = eos;
        std::string lines = "++eoi 0\n";
        if (m_eor != eor)
            lines += "++eor " + std::to_string(eor) + "\n";
        m_eor = eor;
        if (!read.fast) {
            m_afterRead = "++eoi 1\n";
            return lines + "++read\n";
        }
        return lines + "++read\n++eoi 1\n";
    }
    return "++read eoi\n";
}

int ProtocolBoard::startRead(BusAddress from, int eos, int64_t deadlineUs, int64_t limitUs) {
    if (int r = ready(deadlineUs); r != kDone)
        return r;
    while (m_tracker.queued() >= kMaxReads)
        if (int r = pump(deadlineUs); r != kDone)
            return r;
    ReadStart read;
    read.from = from;
    read.fast = fast();
    read.callerEos = eos;
    const int64_t tmoUs =
        m_eoiSeen.count(key(from)) ? limitUs : std::min(limitUs, kUnprovenTalkerTmoUs);
    std::string lines = readTimeoutLine(tmoUs) + addressLine(from) + readLines(from, eos, read);
    if (read.fast)
        lines += m_verLines;
    // An EOI mark and its marker leave the adapter together; a data byte and
    // the marker of a read its timeout ended, that timeout apart. The
    // adapter's slowest version answer is added to both.
    read.marginUs = int64_t(m_tmoMs) * 500 + m_verLatencyUs;
    read.startUs = monotonicUs();
    if (int r = write(lines, deadlineUs); r != kDone)
        return r;
    m_tracker.start(read);
    m_openGivenUp = false;
    return kDone;
}

int ProtocolBoard::askMarker(int64_t deadlineUs) {
    m_tracker.markerAsked();
    m_openGivenUp = false;
    const std::string lines = m_verLines + m_afterRead;
    m_afterRead.clear();
    return write(lines, deadlineUs);
}

int ProtocolBoard::awaitRead(int64_t deadlineUs, bool callerDone) {
    // Safe way: the read we wait for holds back a mark candidate with
    // nothing behind it, or the caller has all the bytes it asked for and
    // only wants to know whether the last came with EOI. Once the line holds
    // nothing more, the marker tells.
    if (m_tracker.open() && m_tracker.queued() == 1 && (callerDone || m_tracker.candidateLast())) {
        const int64_t quiet = m_tracker.candidateLast() ? kCandidateQuietUs : 0;
        int r = pump(std::min(deadlineUs, monotonicUs() + quiet));
        if (r == GPIB_EABO && m_tracker.open() && (callerDone || m_tracker.candidateLast()))
            return askMarker(deadlineUs);
        return r == GPIB_ENEB ? r : kDone;
    }
    const int64_t until =
        m_tracker.candidateLast() ? std::min(deadlineUs, monotonicUs() + kLookUs) : deadlineUs;
    return pump(until) == GPIB_ENEB ? GPIB_ENEB : kDone;
}

void ProtocolBoard::readEnded(const ReadTracker::Outcome& o) {
    const ReadStart& r = o.read;
    if (o.cutShort && fast()) {
        // The adapter ended the read when our "++ver" arrived: behind a read
        // nothing may go to it. The caller that still waits reads again.
        useWay(ReadWay::Safe, "safe: a read was cut by host input");
    }
    if (o.cutShort)
        return;  // it shows nothing of the talker
    // What the read showed about its talker.
    const int k = key(r.from);
    const bool toByte = r.endByte >= 0;
    const bool atByte = r.callerEos >= 0 && o.bytes > 0 && o.lastByte == r.callerEos;
    if (o.eoi)
        m_eoiSeen.insert(k);
    if (o.eoi || (toByte && o.bytes > 0 && !atByte))
        m_noEoi.erase(k);  // it asserts EOI, or ended without the byte
    else if (!toByte && atByte)
        m_noEoi.insert(k);  // the byte, no EOI
}

void ProtocolBoard::useWay(ReadWay way, const std::string& why) {
    const bool changed = m_report.way != way || m_report.why != why;
    m_report.way = way;
    m_report.why = why;
    m_status = m_version + " on " + m_transport->where() + " (" + why + ")";
    if (changed && m_notices)
        m_notices(m_status);
}

int ProtocolBoard::receive(BusAddress from, char* dst, long count, int eos, gpibdrv::Timeout t,
                           long& got, int& ended) {
    got = 0;
    ended = 0;
    const int64_t limit = limitOf(t);
    const int64_t deadline = monotonicUs() + limit;
    if (!m_connected)
        return GPIB_ENEB;
    PendingInput& in = pending(from);
    auto readingHere = [&] { return m_tracker.runningFor(from); };
    // A read left open by a caller that gave up at its deadline is over: what
    // it still holds comes before its marker, and a new read follows.
    if (m_openGivenUp && m_tracker.open() && m_inStep)
        if (int r = askMarker(deadline); r != kDone)
            return r;
    // EOI on the last byte taken, once nothing of this read can follow it.
    auto eoiAtEnd = [&] {
        const bool eoi = got > 0 && in.empty() && !readingHere() && in.eoi;
        if (eoi)
            in.eoi = false;
        return eoi ? int(gpibdrv::kEndEoi) : 0;
    };
    for (;;) {
        while (got < count && !in.empty()) {
            const char c = in.front();
            in.pop();
            dst[got++] = c;
            if (eos >= 0 && static_cast<unsigned char>(c) == eos) {
                // Over for the caller: EOI beside it only when already known.
                ended = gpibdrv::kEndChar | (got == count ? gpibdrv::kEndCount : 0) | eoiAtEnd();
                return kDone;
            }
        }
        if (int eoi = eoiAtEnd()) {
            ended = eoi | (got == count ? gpibdrv::kEndCount : 0);
            return kDone;
        }
        if (got == count) {
            // Whether the last byte carried EOI shows in what follows it: more
            // data, or the mark and the marker line.
            while (count > 0 && in.empty() && readingHere() && monotonicUs() < deadline)
                if (awaitRead(deadline, true) == GPIB_ENEB)
                    return GPIB_ENEB;
            ended = gpibdrv::kEndCount | eoiAtEnd();
            return kDone;
        }
        if (monotonicUs() >= deadline) {
            m_openGivenUp = m_tracker.open();
            return GPIB_EABO;
        }
        if (readingHere()) {
            if (awaitRead(deadline, false) == GPIB_ENEB)
                return GPIB_ENEB;
            continue;
        }
        in.eoi = false;  // a mark that came after its byte was read already
        if (int r = startRead(from, eos, deadline, limit); r != kDone)
            return r;
    }
}

}  // namespace adapters
