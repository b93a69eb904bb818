// Opening the adapter, and the data transfers: Send and Receive.
#include "adapters/protocol_board.h"

namespace adapters {

using gpibdrv::BusAddress;
using gpibdrv::kDone;

namespace {

// Data lines stay well inside the smallest line buffer we know (AR488:
// 128 bytes); a longer message goes as several lines, EOI on the last only.
constexpr size_t kChunk = 100;
// Beyond the adapter's own read timeout, what the line may add before the
// end of a read without EOI shows on our side.
constexpr int64_t kSilenceMarginUs = 50000;

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
      m_tracker({m_options.eotChar, int64_t(m_options.quietMs) * 1000,
                 int64_t(m_options.readTmoMs) * 1000 + kSilenceMarginUs}) {
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
    // but the last line, and for a message that must end without it.
    std::string out = addressLine(to);
    const bool several = total > kChunk;
    if (several || !eoi)
        out += "++eoi 0\n";
    for (size_t at = 0; at < total; at += kChunk) {
        const size_t n = std::min(kChunk, total - at);
        if (several && eoi && at + n == total)
            out += "++eoi 1\n";
        escaped(out, message.data() + at, n);
        out.push_back('\n');
    }
    if (!eoi)
        out += "++eoi 1\n";
    if (int r = write(out, deadline); r != kDone)
        return r;
    sent = count;
    return kDone;
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
    for (;;) {
        while (got < count && !in.empty()) {
            const char c = in.front();
            in.pop();
            dst[got++] = c;
            if (eos >= 0 && static_cast<unsigned char>(c) == eos) {
                ended = gpibdrv::kEndChar | (got == count ? gpibdrv::kEndCount : 0);
                return kDone;
            }
        }
        if (got > 0 && in.empty() && in.eoi) {
            in.eoi = false;
            ended = gpibdrv::kEndEoi | (got == count ? gpibdrv::kEndCount : 0);
            return kDone;
        }
        if (got == count) {
            // Whether the last byte carried EOI shows in what follows it:
            // the mark, or more data, or (the read still going) nothing yet.
            const int64_t until =
                std::min(deadline, monotonicUs() + int64_t(m_options.quietMs) * 1000);
            while (count > 0 && in.empty() && readingHere() && monotonicUs() < until)
                if (pump(until) == GPIB_ENEB)
                    return GPIB_ENEB;
            ended = gpibdrv::kEndCount;
            if (count > 0 && in.empty() && in.eoi) {
                in.eoi = false;
                ended |= gpibdrv::kEndEoi;
            }
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
        if (!in.empty())
            continue;  // more of this address's last read turned up
        // The adapter reads up to EOI (an AR488 ignores an end byte while
        // ++eoi is 1); the count and the termination byte stop us here, and
        // the rest of the answer waits in this address's buffer.
        if (int r = write(addressLine(from) + "++read eoi\n", deadline); r != kDone)
            return r;
        m_tracker.start(from, monotonicUs());
    }
}

}  // namespace adapters
