// The commands that work the bus: ++read, ++spoll, ++trg and AR488's ++fndl.
#include "emulators/adapter_emulator.h"

#include "net/monotonic.h"
#include "sim/instrument.h"

namespace emulators {

using gpibdrv::BusAddress;
using gpibdrv::kDone;

namespace {

std::vector<std::string_view> words(std::string_view text, std::string_view separators) {
    std::vector<std::string_view> out;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = std::min(text.find_first_of(separators, at), text.size());
        if (end > at)
            out.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return out;
}

// AR488's read terminators (++eor): CR LF, CR, LF, none, LF CR, ETX, CR LF ETX.
bool terminated(const std::string& got, int eor) {
    static const char* const kEnds[] = {"\r\n", "\r", "\n", "", "\n\r", "\x03", "\r\n\x03"};
    std::string_view end = eor >= 0 && eor <= 6 ? kEnds[eor] : "";
    return !end.empty() && got.size() >= end.size() &&
           std::string_view(got).substr(got.size() - end.size()) == end;
}

}  // namespace

void AdapterEmulator::read(std::string_view arg) {
    enum class Until { Timeout, Eoi, Byte, Terminator } until;
    int endByte = -1;
    BusAddress from = current();
    if (ar488()) {
        // AR488 0.53 (read_h()): a number first is the address to read
        // from, a second one its secondary (0-30 or 96-126); then "eoi" or
        // an end byte. "++read 10" reads from address 10.
        std::vector<std::string_view> w = words(arg, " ,\t");
        size_t at = 0;
        int pad = 0, sad = 0;
        if (at < w.size() && readNumber(w[at], 0, 255, pad)) {
            if (pad > 30)
                return refuse("Invalid parameter");
            from = {pad, -1};
            if (++at < w.size() && readNumber(w[at], 0, 255, sad)) {
                if (sad < 31)
                    sad += 96;
                if (sad < 96 || sad > 126)
                    return refuse("Invalid parameter");
                from.sad = sad - 96;
                ++at;
            }
        }
        arg = at < w.size() ? w[at] : std::string_view();
    }
    // An AR488 reads up to EOI whenever ++eoi is 1, whatever end byte is
    // named (receiveData()), and marks EOI only then.
    const bool eoiAlways = ar488() && (m_eoi || m_eor == 7);
    if (arg.empty())
        until = ar488() ? (eoiAlways ? Until::Eoi : Until::Terminator) : Until::Timeout;
    else if (arg == "eoi")
        until = Until::Eoi;
    else if (readNumber(arg, 0, 255, endByte))
        until = eoiAlways ? Until::Eoi : Until::Byte;
    else
        return refuse("Invalid parameter");

    auto* board = m_bench.board.get();
    // One end byte is looked for by the bench's own read; AR488's two- and
    // three-byte terminators a byte at a time, and every byte on its own
    // where host input may end the read between two bytes.
    static const int kSingleEnd[] = {-1, '\r', '\n', -1, -1, 3, -1};
    const int stopAt = until == Until::Byte                                     ? endByte
                       : until == Until::Terminator && m_eor >= 0 && m_eor <= 6 ? kSingleEnd[m_eor]
                                                                                : -1;
    const bool byteWise = (until == Until::Terminator && stopAt < 0) || m_options.readEndsOnInput;
    const bool instant = m_bench.bus->clock().instant();
    // The adapter's timer runs from the last byte. In real bus time the bench
    // waits in slices, so that each byte goes on to the host as it comes.
    const int64_t tmoUs = int64_t(m_readTmoMs) * 1000;
    int64_t lastByteUs = net::monotonicUs();
    std::string tail;  // the last bytes, for AR488's terminators
    size_t total = 0;
    // The read's bytes are one answer for the faults: decided at its first.
    int fault = -1;
    auto forward = [&](const std::string& bytes) {
        if (bytes.empty())
            return true;
        if (fault < 0)
            fault = faulted(false) ? 1 : 0;
        if (fault == 0)
            return m_line.write(bytes);
        if (m_options.fault == AdapterFault::CloseMidAnswer) {
            m_line.write(bytes.substr(0, bytes.size() / 2));
            hangUp();
            return false;
        }
        return true;  // silent
    };
    char buffer[4096];
    for (;;) {
        if (m_options.readEndsOnInput && commandWaiting())
            break;  // ended between bytes, no mark: the line is carried out next
        long got = 0;
        int ended = 0;
        const int64_t left = std::max<int64_t>(0, lastByteUs + tmoUs - net::monotonicUs());
        const auto wait = gpibdrv::Timeout::ofUs(instant ? left : std::min<int64_t>(20000, left));
        int r = board->receive(from, buffer, byteWise ? 1 : long(sizeof buffer), stopAt, wait, got,
                               ended);
        const bool end = (ended & gpibdrv::kEndEoi) != 0;
        if (got > 0) {
            lastByteUs = net::monotonicUs();
            total += size_t(got);
            tail = (tail + std::string(buffer, size_t(got)))
                       .substr(tail.size() + size_t(got) > 3 ? tail.size() + size_t(got) - 3 : 0);
            if (!forward(std::string(buffer, size_t(got))))
                return;
        }
        // A Prologix reading to a byte stops at EOI too and marks it (not
        // in its manual, which names the byte and the timeout only); an AR488
        // looks for EOI only in a read to EOI.
        if (end && (!ar488() || until == Until::Eoi)) {
            if (m_eotEnable && !forward(std::string(1, char(m_eotChar))))
                return;
            if (until == Until::Timeout)
                waitOwnTimeout(net::monotonicUs() + tmoUs);  // more that never comes
            break;
        }
        if (r == GPIB_EABO && !instant && net::monotonicUs() < lastByteUs + tmoUs)
            continue;  // a slice
        if (r == GPIB_ENOL || r == GPIB_EABO) {
            // Nobody talks, or the talker stopped: the handshake waits out
            // the adapter's timeout.
            if (r == GPIB_ENOL)
                lastByteUs = net::monotonicUs();
            if (instant || r == GPIB_ENOL)
                waitOwnTimeout(lastByteUs + tmoUs);
            break;
        }
        if (r != kDone || total > (16u << 20))
            break;
        if ((ended & gpibdrv::kEndChar) || (until == Until::Terminator && terminated(tail, m_eor)))
            break;
    }
}

void AdapterEmulator::spoll(std::string_view arg) {
    std::vector<BusAddress> targets;
    const bool all = ar488() && arg.substr(0, 3) == "all";
    int pad = 0, sad = -1;
    if (arg.empty()) {
        // An AR488 polls the primary address alone.
        targets.push_back(ar488() ? BusAddress{m_pad, -1} : current());
    } else if (all) {
        for (int p = 0; p < 30; ++p)
            if (p != kControllerAddress)
                targets.push_back({p, -1});
    } else if (ar488()) {
        for (std::string_view w : words(arg, " \t")) {
            if (targets.size() == 15)
                break;
            if (!readNumber(w, 1, 30, pad))
                return refuse("Invalid parameter");
            targets.push_back({pad, -1});
        }
    } else {
        std::vector<std::string_view> w = words(arg, " \t");
        if (w.empty() || w.size() > 2 || !readNumber(w[0], 0, 30, pad) ||
            (w.size() == 2 && !readNumber(w[1], 96, 126, sad)))
            return;
        targets.push_back({pad, w.size() == 2 ? sad - 96 : -1});
    }
    for (const BusAddress& a : targets) {
        uint8_t status = 0;
        int r = m_bench.board->serialPoll(a, readTimeout(), status);
        if (r == GPIB_ENOL)
            m_bench.bus->spend(m_readTmoMs * 1000.0);  // no handshake until the timeout
        if (r != kDone)
            continue;
        if (!all) {
            answer(std::to_string(status), true);
            return;
        }
        if (status & 0x40) {
            answer("SRQ:" + std::to_string(a.pad) + "," + std::to_string(status), true);
            break;
        }
    }
    if (all)
        answer("");
}

void AdapterEmulator::trigger(std::string_view arg) {
    std::vector<BusAddress> targets;
    int v = 0;
    for (std::string_view w : words(arg, " \t")) {
        if (targets.size() == 15)
            break;
        // A Prologix takes PAD [SAD] pairs; an AR488 primaries 1-30 only.
        if (!ar488() && !targets.empty() && targets.back().sad < 0 && readNumber(w, 96, 126, v))
            targets.back().sad = v - 96;
        else if (readNumber(w, ar488() ? 1 : 0, 30, v))
            targets.push_back({v, -1});
        else
            return refuse("Invalid parameter");
    }
    if (arg.empty())
        targets.push_back(ar488() ? BusAddress{m_pad, -1} : current());
    for (const BusAddress& a : targets) m_bench.board->trigger(&a);
}

void AdapterEmulator::findListeners(std::string_view arg) {
    std::vector<int> pads;
    int a = 0, b = 0;
    size_t dash = arg.find('-');
    if (arg.empty())
        return refuse("Missing parameter");
    if (arg == "all") {
        for (int p = 0; p <= 30; ++p) pads.push_back(p);
    } else if (dash != std::string_view::npos) {
        if (!readNumber(arg.substr(0, dash), 0, 29, a) ||
            !readNumber(arg.substr(dash + 1), a, 30, b))
            return refuse("Invalid parameter");
        for (int p = a; p <= b; ++p) pads.push_back(p);
    } else {
        for (std::string_view w : words(arg, " ,\t")) {
            if (pads.size() == 15)
                break;
            if (w.size() > 2 || !readNumber(w, 0, 30, a))
                return refuse("Invalid parameter");
            pads.push_back(a);
        }
    }
    // Per primary: one check of the primary alone; else all 31 secondaries
    // at once, then each that answered on its own.
    const double probeUs = m_bench.bus->definition().timing.probeUs;
    const int index = m_options.boardIndex;
    std::string out;
    for (int p : pads) {
        if (p == kControllerAddress)
            continue;
        bool yes = false;
        m_bench.board->listens({p, -1}, yes);
        if (yes) {
            out += (out.empty() ? "" : ",") + std::to_string(p);
            continue;
        }
        m_bench.bus->spend(probeUs);
        for (int s = 0; s <= 30; ++s) {
            sim::Instrument* inst = m_bench.bus->instrumentAt({index, p, s});
            if (!inst || !inst->listens())
                continue;
            m_bench.bus->spend(probeUs);
            out += (out.empty() ? "" : ",") + std::to_string(p) + ":" + std::to_string(96 + s);
        }
    }
    answer(out, true);
}

}  // namespace emulators
