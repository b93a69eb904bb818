// Opening the adapter, and the data transfers: Send and Receive.
#include "adapters/protocol_board.h"

namespace adapters {

using gpibdrv::BusAddress;
using gpibdrv::kDone;

namespace {

// Data lines stay well inside the smallest line buffer we know (AR488:
// 128 bytes); a longer message goes as several lines, EOI on the last only.
constexpr size_t kChunk = 100;

// AR488's ++eor codes for the end bytes it can read to (GPIBbus::
// isTerminatorDetected(): 1 CR, 2 LF, 5 ETX); -1 for any other byte.
int eorFor(int eos) {
    return eos == '\r' ? 1 : eos == '\n' ? 2 : eos == 3 ? 5 : -1;
}

void escaped(std::string& out, const char* data, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        char c = data[i];
        if (c == '\r' || c == '\n' || c == 27 || c == '+')
            out.push_back(27);
        out.push_back(c);
    }
}

}  // namespace

ProtocolBoard::ProtocolBoard(AdapterOptions options, std::unique_ptr<Transport> transport)
    : m_options(std::move(options)),
      m_transport(std::move(transport)),
      m_tracker({m_options.eotChar, int64_t(m_options.readTmoMs) * 1000}) {
    m_status = flavourName() + " on " + m_transport->where() + " (not opened yet)";
}

int64_t ProtocolBoard::deadlineOf(gpibdrv::Timeout t) {
    m_lastTimeout = t.code;
    int64_t us = t.code ? gpibdrv::timeoutUs(t.code) : int64_t(m_options.noTimeoutLimitMs) * 1000;
    return monotonicUs() + us;
}

int64_t ProtocolBoard::commandDeadline() const {
    int64_t us = m_lastTimeout ? gpibdrv::timeoutUs(m_lastTimeout)
                               : int64_t(m_options.noTimeoutLimitMs) * 1000;
    // A bus command needs no answer, but may first wait for a read to end.
    return monotonicUs() + std::max<int64_t>(us, 1000000);
}

int ProtocolBoard::open(std::string& reason) {
    if (m_connected) {
        // Still open: it only has to answer. Reopening would restart an
        // Arduino, and a reopened line loses what the instruments sent.
        m_inStep = false;
        if (ready(monotonicUs() + int64_t(m_options.openTimeoutMs) * 1000) == kDone) {
            m_status = m_version + " on " + m_transport->where();
            return kDone;
        }
    }
    return connect(reason);
}

int ProtocolBoard::setOwnAddress(int pad, int sad) {
    // The adapter's own address is set on the adapter, not through us.
    return pad == m_options.controllerAddress && sad == 0 ? kDone : GPIB_ECAP;
}

int ProtocolBoard::send(BusAddress to, const char* data, long count, gpibdrv::EndMode end,
                        gpibdrv::Timeout t, long& sent) {
    sent = 0;
    const int64_t deadline = deadlineOf(t);
    if (int r = ready(deadline); r != kDone)
        return r;
    const bool appendLf = end == gpibdrv::EndMode::AppendLf;
    const bool eoi = end != gpibdrv::EndMode::None;
    const size_t total = size_t(count) + (appendLf ? 1 : 0);
    if (total == 0)
        return kDone;
    std::string message = count > 0 ? std::string(data, size_t(count)) : std::string();
    if (appendLf)
        message.push_back('\n');
    // ++eoi 1 puts EOI on the last byte of every line: it is off for all
    // but the last line, and for a message that must end without it. The
    // adapter passes a line on when its line end arrives: lineEnds holds
    // where each data line ends in what is written, and how much of the
    // caller's data it completes.
    std::string out = addressLine(to);
    std::vector<std::pair<size_t, long>> lineEnds;
    const bool several = total > kChunk;
    if (several || !eoi)
        out += "++eoi 0\n";
    for (size_t at = 0; at < total; at += kChunk) {
        const size_t n = std::min(kChunk, total - at);
        if (several && eoi && at + n == total)
            out += "++eoi 1\n";
        escaped(out, message.data() + at, n);
        out.push_back('\n');
        lineEnds.emplace_back(out.size(), std::min(long(at + n), count));
    }
    if (!eoi)
        out += "++eoi 1\n";
    size_t written = 0;
    int r = write(out, deadline, &written);
    for (const auto& [end, taken] : lineEnds)
        if (end <= written)
            sent = taken;
    return r;
}

std::string ProtocolBoard::readLines(BusAddress from, int eos, bool& markPossible) {
    markPossible = true;
    m_readToByte = eos >= 0 && m_noEoi.count(key(from)) > 0;
    if (m_readToByte && !ar488())
        return "++read " + std::to_string(eos) + "\n";
    const int eor = eorFor(eos);
    if (m_readToByte && eor >= 0) {
        // AR488 0.53 takes a number after ++read for an address (read_h()),
        // and reads to EOI alone while ++eoi is 1 (receiveData()); it reads
        // to its ++eor terminator with ++eoi 0, and marks no EOI then.
        markPossible = false;
        std::string lines = "++eoi 0\n";
        if (m_eor != eor)
            lines += "++eor " + std::to_string(eor) + "\n";
        m_eor = eor;
        return lines + "++read\n++eoi 1\n";
    }
    m_readToByte = false;
    return "++read eoi\n";
}

void ProtocolBoard::learn(BusAddress from) {
    const ReadTracker::Outcome& o = m_tracker.outcome();
    const bool atByte = m_readEos >= 0 && o.bytes > 0 && o.lastByte == m_readEos;
    if (o.eoi || (m_readToByte && o.bytes > 0 && !atByte))
        m_noEoi.erase(key(from));  // it asserts EOI, or ended without the byte
    else if (!m_readToByte && atByte)
        m_noEoi.insert(key(from));  // the byte, no EOI: the adapter's timeout ended it
}

int ProtocolBoard::receive(BusAddress from, char* dst, long count, int eos, gpibdrv::Timeout t,
                           long& got, int& ended) {
    got = 0;
    ended = 0;
    const int64_t deadline = deadlineOf(t);
    if (!m_connected)
        return GPIB_ENEB;
    PendingInput& in = pending(from);
    auto readingHere = [&] { return m_tracker.running() && m_tracker.address() == from; };
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
            // data, or the mark and the marker line, which come at once.
            while (count > 0 && in.empty() && readingHere() && monotonicUs() < deadline)
                if (pump(deadline) == GPIB_ENEB)
                    return GPIB_ENEB;
            ended = gpibdrv::kEndCount | eoiAtEnd();
            return kDone;
        }
        if (monotonicUs() >= deadline)
            return GPIB_EABO;
        if (readingHere()) {
            if (pump(deadline) == GPIB_ENEB)
                return GPIB_ENEB;
            continue;
        }
        in.eoi = false;  // a mark that came after its byte was read already
        if (int r = ready(deadline); r != kDone)
            return r;
        bool markPossible = true;
        const std::string lines = addressLine(from) + readLines(from, eos, markPossible);
        if (int r = write(lines + "++ver\n", deadline); r != kDone)
            return r;
        m_readEos = eos;
        m_tracker.start(from, markPossible);
    }
}

}  // namespace adapters
