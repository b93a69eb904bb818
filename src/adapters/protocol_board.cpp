// Opening the adapter, its timeouts, and Send.
#include "adapters/protocol_board.h"

#include <algorithm>

namespace adapters {

using gpibdrv::BusAddress;
using gpibdrv::kDone;

namespace {

// Data lines stay well inside the smallest line buffer we know (AR488:
// 128 bytes); a longer message goes as several lines, EOI on the last only.
constexpr size_t kChunk = 100;

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
      m_tracker(m_options.eotChar) {
    m_status = flavourName() + " on " + m_transport->where() + " (not opened yet)";
}

int64_t ProtocolBoard::limitOf(gpibdrv::Timeout t) {
    m_lastLimitUs = t.limitUs(int64_t(m_options.noTimeoutLimitMs) * 1000);
    return m_lastLimitUs;
}

int64_t ProtocolBoard::commandDeadline() const {
    // A bus command needs no answer, but may first wait for a read to end.
    return monotonicUs() + std::max<int64_t>(m_lastLimitUs, 1000000);
}

std::string ProtocolBoard::readTimeoutLine(int64_t limitUs) {
    // ++read_tmo_ms takes 1-3000 on a Prologix (its manual) and up to 32000
    // on an AR488 (rtmo_h()); a longer caller's time still ends at the
    // caller's deadline, which the host keeps.
    const int64_t most = ar488() ? 32000 : 3000;
    const int ms = int(std::clamp<int64_t>((limitUs + 999) / 1000, 1, most));
    if (ms == m_tmoMs)
        return "";
    m_tmoMs = ms;
    return "++read_tmo_ms " + std::to_string(ms) + "\n";
}

int ProtocolBoard::open(std::string& reason) {
    if (m_connected) {
        // Still open: it only has to answer. Reopening would restart an
        // Arduino, and a reopened line loses what the instruments sent.
        m_inStep = false;
        if (ready(monotonicUs() + int64_t(m_options.openTimeoutMs) * 1000) == kDone) {
            m_status = m_version + " on " + m_transport->where() + " (" + m_report.why + ")";
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
    const int64_t deadline = monotonicUs() + limitOf(t);
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

}  // namespace adapters
