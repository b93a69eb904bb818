// The bus commands: serial poll, trigger, clear, IFC, REN, the SRQ line and
// the listener check, each through what the adapter's flavour has.
#include <algorithm>

#include "adapters/protocol_board.h"

namespace adapters {

using gpibdrv::BusAddress;
using gpibdrv::kDone;

namespace {

std::string spollLine(BusAddress a) {
    return "++spoll " + std::to_string(a.pad) +
           (a.sad >= 0 ? " " + std::to_string(96 + a.sad) : std::string()) + "\n";
}

// AR488's ++fndl answer: "9,5:97,7:98", empty when nobody listens. It names
// only addresses it was asked about, each once (fndl_h() in AR488.ino walks
// the list or range once): anything else is garbage.
bool parseListeners(const std::string& line, const std::vector<int>& asked,
                    std::vector<BusAddress>& out) {
    size_t at = 0;
    while (at < line.size()) {
        size_t comma = std::min(line.find(',', at), line.size());
        std::string item = line.substr(at, comma - at);
        size_t colon = item.find(':');
        auto value = [](const std::string& s, int low, int high, int& v) {
            if (s.empty() || s.size() > 3 ||
                !std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }))
                return false;
            v = std::stoi(s);
            return v >= low && v <= high;
        };
        int pad = 0, sad = 96;
        if (!value(item.substr(0, colon), 0, 30, pad))
            return false;
        if (colon != std::string::npos && !value(item.substr(colon + 1), 96, 126, sad))
            return false;
        const BusAddress a{pad, colon == std::string::npos ? -1 : sad - 96};
        if (std::find(asked.begin(), asked.end(), pad) == asked.end() ||
            std::find(out.begin(), out.end(), a) != out.end())
            return false;
        out.push_back(a);
        at = comma + 1;
    }
    return true;
}

}  // namespace

int ProtocolBoard::poll(BusAddress device, int64_t deadlineUs, int64_t tmoLimitUs, Poll& result,
                        uint8_t& status) {
    result = Poll::Silent;
    if (int r = ready(deadlineUs); r != kDone)
        return r;
    // The version request after the poll says when the poll is over: a
    // device that does not answer leaves no line at all (AR488), and nothing
    // else tells us how long to wait for one. The adapter gives up on a
    // silent device at its read timeout (++read_tmo_ms governs ++spoll too).
    const std::string tmo = tmoLimitUs >= 0 ? readTimeoutLine(tmoLimitUs) : "";
    if (int r = write(tmo + spollLine(device) + "++ver\n", deadlineUs); r != kDone)
        return r;
    ++m_versionsAsked;
    int lines = 0, value = 0, error = kDone;
    for (;;) {
        std::string line;
        int r = readLine(deadlineUs, line, true);
        if (r != kDone) {
            if (lines == 1 && error == kDone)
                break;  // the status came; only the version line is late
            return r;
        }
        if (line == m_version) {
            if (--m_versionsAsked > 0)
                continue;  // owed to an earlier request
            break;
        }
        if (++lines == 1)
            error = number(line, 255, value);
    }
    if (lines > 1) {
        m_inStep = false;
        return GPIB_EDVR;
    }
    if (error != kDone)
        return error;
    if (lines == 1) {
        result = Poll::Answered;
        status = uint8_t(value);
    }
    return kDone;
}

int ProtocolBoard::serialPoll(BusAddress device, gpibdrv::Timeout t, uint8_t& status) {
    const int64_t limit = limitOf(t);
    const int64_t deadline = monotonicUs() + limit;
    if (ar488() && device.sad >= 0)
        return GPIB_ECAP;  // its ++spoll addresses primaries only
    Poll result;
    if (int r = poll(device, deadline, limit, result, status); r != kDone)
        return r;
    return result == Poll::Answered ? kDone : GPIB_EABO;
}

int ProtocolBoard::trigger(const BusAddress* device) {
    const int64_t deadline = commandDeadline();
    // AR488's ++trg sends GET to primary addresses only.
    const BusAddress* target = device ? device : (m_addressed ? &*m_addressed : nullptr);
    if (ar488() && target && target->sad >= 0)
        return GPIB_ECAP;
    if (int r = ready(deadline); r != kDone)
        return r;
    if (!target)
        return kDone;  // nobody is addressed: the trigger reaches no one
    return write(addressLine(*target) + "++trg\n", deadline);
}

int ProtocolBoard::clear(const BusAddress* device) {
    const int64_t deadline = commandDeadline();
    if (!device && !ar488())
        return GPIB_ECAP;  // a Prologix has no Device Clear (DCL) for the whole bus
    if (int r = ready(deadline); r != kDone)
        return r;
    return write(device ? addressLine(*device) + "++clr\n" : "++dcl\n", deadline);
}

int ProtocolBoard::goToLocal(BusAddress device) {
    // Both flavours send GTL to the addressed device on ++loc.
    const int64_t deadline = commandDeadline();
    if (int r = ready(deadline); r != kDone)
        return r;
    return write(addressLine(device) + "++loc\n", deadline);
}

int ProtocolBoard::localLockout(const BusAddress* device) {
    // ++llo sends LLO with the current address addressed to listen (both
    // flavours; an AR488 only while REN is asserted, which it then is).
    const int64_t deadline = commandDeadline();
    if (int r = ready(deadline); r != kDone)
        return r;
    return write((device ? addressLine(*device) : std::string()) + "++llo\n", deadline);
}

int ProtocolBoard::interfaceClear() {
    const int64_t deadline = commandDeadline();
    if (int r = ready(deadline); r != kDone)
        return r;
    return write("++ifc\n", deadline);
}

int ProtocolBoard::remoteEnable(bool on) {
    if (!ar488()) {
        // A Prologix asserts REN in controller mode and has no way to drop it.
        if (!on)
            return GPIB_ECAP;
        return m_connected ? kDone : GPIB_ENEB;
    }
    // Asking back shows whether it took: some AR488 builds cannot drive REN
    // and say "Unavailable".
    int value = 0;
    if (int r = askNumber(std::string("++ren ") + (on ? "1" : "0") + "\n++ren\n", 1, value);
        r != kDone)
        return r;
    return (value == 1) == on ? kDone : GPIB_ECAP;
}

int ProtocolBoard::askNumber(const std::string& lines, int max, int& value) {
    const int64_t deadline = commandDeadline();
    if (int r = ready(deadline); r != kDone)
        return r;
    if (int r = write(lines, deadline); r != kDone)
        return r;
    std::string line;
    if (int r = readLine(deadline, line); r != kDone)
        return r;
    return number(line, max, value);
}

int ProtocolBoard::srqLine(bool& asserted) {
    int value = 0;
    if (int r = askNumber("++srq\n", 1, value); r != kDone)
        return r;
    asserted = value == 1;
    return kDone;
}

int ProtocolBoard::listens(BusAddress device, bool& listening) {
    std::vector<BusAddress> found;
    const int pads[] = {device.pad};
    int r = kDone;
    if (ar488() && m_report.fndl == AdapterReport::Fndl::Yes) {
        r = findByFndl(pads, 31, found);
    } else {
        // One probe: the primary alone, or the one secondary asked for.
        std::vector<BusAddress> secondary;
        if (device.sad >= 0)
            secondary.push_back(device);
        r = findByProbes(pads, secondary, 31, found);
    }
    listening = std::find(found.begin(), found.end(), device) != found.end();
    return r;
}

int ProtocolBoard::findListeners(std::span<const int> pads, size_t stopAfter,
                                 std::vector<BusAddress>& found) {
    if (pads.empty())
        return m_connected ? kDone : GPIB_ENEB;
    return ar488() && m_report.fndl == AdapterReport::Fndl::Yes
               ? findByFndl(pads, stopAfter, found)
               : findByProbes(pads, m_options.secondaries, stopAfter, found);
}

int ProtocolBoard::findByProbes(std::span<const int> pads,
                                const std::vector<BusAddress>& secondaries, size_t stopAfter,
                                std::vector<BusAddress>& found) {
    // A Prologix cannot ask who listens; a device that answers a serial
    // poll is there. Each silent address costs the short probe timeout.
    const size_t probes = pads.size() + secondaries.size();
    const int64_t deadline =
        monotonicUs() + int64_t(probes) * (m_options.probeTmoMs + 200) * 1000 + 1000000;
    int result = ready(deadline);
    const int64_t probeUs = int64_t(m_options.probeTmoMs) * 1000;
    for (size_t i = 0; result == kDone && i < pads.size() && found.size() <= stopAfter; ++i) {
        std::vector<BusAddress> candidates{{pads[i], -1}};
        for (const BusAddress& s : secondaries)
            if (s.pad == pads[i] && s.sad >= 0)
                candidates.push_back(s);
        for (const BusAddress& a : candidates) {
            Poll answer;
            uint8_t status = 0;
            result = poll(a, deadline, probeUs, answer, status);
            if (result != kDone)
                break;
            if (answer == Poll::Answered) {
                found.push_back(a);
                if (a.sad < 0)
                    break;  // a listener at the primary alone: no secondaries
            }
        }
    }
    return result;  // the next read sets its own read timeout
}

int ProtocolBoard::findByFndl(std::span<const int> pads, size_t stopAfter,
                              std::vector<BusAddress>& found) {
    const int64_t deadline = std::max(commandDeadline(), monotonicUs() + 5000000);
    if (int r = ready(deadline); r != kDone)
        return r;
    // A list takes at most 15 addresses; "all" covers the rest.
    std::string list;
    std::vector<int> asked(pads.begin(), pads.end());
    for (int pad : pads) list += (list.empty() ? "" : ",") + std::to_string(pad);
    if (pads.size() > 15) {
        list = "all";
        asked.clear();
        for (int pad = 0; pad <= 30; ++pad) asked.push_back(pad);
    }
    if (int r = write("++fndl " + list + "\n", deadline); r != kDone)
        return r;
    std::string line;
    if (int r = readLine(deadline, line); r != kDone)
        return r;
    if (isRefusal(line))
        return GPIB_ECAP;  // firmware without ++fndl
    std::vector<BusAddress> listeners;
    if (!parseListeners(line, asked, listeners)) {
        m_inStep = false;
        return GPIB_EDVR;
    }
    std::sort(listeners.begin(), listeners.end(),
              [](BusAddress a, BusAddress b) { return a.pad * 32 + a.sad < b.pad * 32 + b.sad; });
    for (int pad : pads) {
        for (const BusAddress& a : listeners) {
            if (a.pad == pad && found.size() <= stopAfter)
                found.push_back(a);
        }
        if (found.size() > stopAfter)
            break;
    }
    return kDone;
}

}  // namespace adapters
