// The link to the adapter: opening it, keeping it in step, reading answers.
#include <cstring>

#include "adapters/protocol_board.h"

namespace adapters {

using gpibdrv::kDone;

namespace {

// Longer than any answer line an adapter prints: what exceeds it is garbage.
constexpr size_t kMaxLine = 4096;
// Longer than any adapter's version line (they are under 60 characters).
constexpr size_t kMaxVersion = 200;
// How long one version request waits before it is asked again while the
// adapter may still be booting.
constexpr int64_t kVersionRetryUs = 500000;

bool printable(const std::string& line) {
    if (line.empty())
        return false;
    for (unsigned char c : line)
        if (c < 0x20 || c > 0x7E)
            return false;
    return true;
}

}  // namespace

bool isRefusal(std::string_view line) {
    return line == "Unrecognized command" || line == "Invalid parameter" ||
           line == "Missing parameter" || line == "Missing parameters" || line == "Unavailable";
}

int ProtocolBoard::lost() {
    m_connected = m_inStep = false;
    m_tracker.reset();
    m_status = (m_version.empty() ? flavourName() : m_version) + " on " + m_transport->where() +
               ": " + m_transport->lostReason() + " (ibfind opens it again)";
    m_transport->close();
    return GPIB_ENEB;
}

int ProtocolBoard::connect(std::string& reason) {
    const int64_t deadline = monotonicUs() + int64_t(m_options.openTimeoutMs) * 1000;
    m_connected = m_inStep = false;
    m_tracker.reset();
    m_pending.clear();
    m_lines.clear();
    m_skipLine = false;
    m_addressed.reset();
    m_versionsAsked = 0;
    auto fail = [&](const std::string& why) {
        m_connected = false;
        m_transport->close();
        m_status = flavourName() + " on " + m_transport->where() + ": " + why;
        reason = m_status;
        return GPIB_ENEB;
    };
    std::string why;
    if (!m_transport->open(deadline, why))
        return fail(why);
    m_connected = true;
    // The version line first: it names the adapter, and only it may be asked
    // before we know what answers. The empty line ends whatever an earlier
    // user left half-written in the adapter's line buffer. An Arduino that
    // restarted as its port opened answers once booted: ask again.
    std::string line;
    for (int64_t next = 0;;) {
        if (monotonicUs() >= next) {
            if (int r = write("\n++ver\n", deadline); r != kDone)
                return r == GPIB_ENEB ? fail(m_transport->lostReason()) : fail("no answer");
            next = monotonicUs() + kVersionRetryUs;
        }
        int r = readLine(std::min(next, deadline), line);
        if (r == GPIB_ENEB)
            return fail(m_transport->lostReason());
        if (r == GPIB_EDVR)
            return fail("answers ++ver with a line longer than " + std::to_string(kMaxLine) +
                        " bytes");
        if (r == kDone && line.size() > kMaxVersion)
            return fail("answers ++ver with a line of " + std::to_string(line.size()) +
                        " bytes, not a version line");
        if (r == kDone && printable(line) && !isRefusal(line))
            break;
        if (monotonicUs() >= deadline)
            return fail(r == kDone ? "answers no version line (\"" + line.substr(0, 40) + "\")"
                                   : "no answer to ++ver");
    }
    m_version = line;
    // Every read ends in this line (read_tracker.h), with the adapter's own
    // line end.
    m_tracker.setMarker(m_version + (m_lastLineCr ? "\r\n" : "\n"));
    m_noEoi.clear();
    m_eor = -1;
    // A Prologix keeps each setting in its own memory unless told not to. An
    // AR488 saves when it hears ++savecfg, whatever follows: never send it one,
    // even one that was named a Prologix.
    bool saves = !ar488() && m_version.find("AR488") == std::string::npos;
    std::string setup = saves ? "++savecfg 0\n" : "";
    setup += "++mode 1\n++auto 0\n++eos 3\n++eoi 1\n++eot_enable 1\n++eot_char " +
             std::to_string(m_options.eotChar) + "\n++read_tmo_ms " +
             std::to_string(m_options.readTmoMs) + "\n++eot_char\n";
    if (int r = write(setup, deadline); r != kDone)
        return fail(r == GPIB_ENEB ? m_transport->lostReason() : "does not take its settings");
    int mark = -1;
    for (;;) {
        int r = readLine(deadline, line);
        if (r != kDone)
            return fail(r == GPIB_ENEB ? m_transport->lostReason() : "does not take its settings");
        if (line == m_version)
            continue;  // a second answer to a version request asked again
        if (number(line, 255, mark) == kDone)
            break;
        if (!isRefusal(line))
            return fail("answers garbage to ++eot_char (\"" + line.substr(0, 40) + "\")");
    }
    if (mark != m_options.eotChar)
        return fail("did not take ++eot_char " + std::to_string(m_options.eotChar));
    m_inStep = true;
    m_status = m_version + " on " + m_transport->where();
    return kDone;
}

int ProtocolBoard::ready(int64_t deadlineUs) {
    if (!m_connected)
        return GPIB_ENEB;
    // A read still running ends in its marker line, which follows its last
    // byte at once; one whose marker never comes is given up, and the link
    // with it until the version line answers again.
    while (m_tracker.running()) {
        if (monotonicUs() >= deadlineUs) {
            // Its marker may still come: it is skipped like any version line
            // owed to an earlier request.
            m_tracker.reset();
            ++m_versionsAsked;
            m_inStep = false;
            return GPIB_EABO;
        }
        if (int r = pump(deadlineUs); r == GPIB_ENEB)
            return r;
    }
    // Whatever else arrived since is stale.
    for (;;) {
        int r = pump(monotonicUs());
        if (r == GPIB_ENEB)
            return r;
        if (r == GPIB_EABO)
            break;
        if (monotonicUs() >= deadlineUs)
            return GPIB_EABO;
    }
    m_lines.clear();
    return m_inStep ? kDone : resync(deadlineUs);
}

int ProtocolBoard::resync(int64_t deadlineUs) {
    if (int r = write("\n++ver\n", deadlineUs); r != kDone)
        return r;
    ++m_versionsAsked;
    std::string line;
    while (m_versionsAsked > 0) {
        if (int r = readLine(deadlineUs, line, true); r != kDone) {
            // Requests the adapter never answered are forgotten; a late
            // answer to one is garbage to whatever waits then, and leads here.
            m_versionsAsked = 0;
            return r;
        }
        if (line == m_version)
            --m_versionsAsked;
    }
    m_inStep = true;
    return kDone;
}

int ProtocolBoard::pump(int64_t untilUs) {
    char buffer[4096];
    size_t got = 0;
    Transport::Io io = m_transport->readSome(buffer, sizeof buffer, untilUs, got);
    if (io == Transport::Io::Lost)
        return lost();
    if (io == Transport::Io::Timeout && m_transport->interrupted()) {
        // Interrupted: the operation ends as on a lost line, but the line
        // stays open; what the adapter still sends is sorted out by the
        // next command.
        m_inStep = false;
        return GPIB_ENEB;
    }
    if (io != Transport::Io::Done)
        return monotonicUs() >= untilUs ? GPIB_EABO : kDone;
    size_t used = 0;
    if (m_tracker.running()) {
        const gpibdrv::BusAddress from = m_tracker.address();
        used = m_tracker.feed(buffer, got, monotonicUs(), pending(from));
        if (!m_tracker.running())
            learn(from);
    }
    takeLines(buffer + used, got - used);
    return kDone;
}

void ProtocolBoard::takeLines(const char* bytes, size_t n) {
    if (m_skipLine) {
        const char* end = static_cast<const char*>(std::memchr(bytes, '\n', n));
        if (!end)
            return;
        m_skipLine = false;
        n -= size_t(end + 1 - bytes);
        bytes = end + 1;
    }
    if (m_lines.size() + n > 4 * kMaxLine) {
        // Far more than any command asked for: garbage, and out of step.
        m_lines.clear();
        m_skipLine = true;
        m_inStep = false;
        return;
    }
    m_lines.append(bytes, n);
}

int ProtocolBoard::write(const std::string& lines, int64_t deadlineUs, size_t* written) {
    if (!m_connected)
        return GPIB_ENEB;
    switch (m_transport->writeAll(lines.data(), lines.size(), deadlineUs, written)) {
        case Transport::Io::Done:
            return kDone;
        case Transport::Io::Lost:
            return lost();
        case Transport::Io::Timeout:
            break;
    }
    m_inStep = false;  // part of a line may wait in the adapter
    m_addressed.reset();
    return GPIB_EABO;
}

int ProtocolBoard::readLine(int64_t deadlineUs, std::string& line, bool wantVersion) {
    for (;;) {
        size_t end = m_lines.find('\n');
        if (end != std::string::npos) {
            line.assign(m_lines, 0, end);
            m_lines.erase(0, end + 1);
            m_lastLineCr = !line.empty() && line.back() == '\r';
            if (m_lastLineCr)
                line.pop_back();
            if (!wantVersion && m_versionsAsked > 0 && line == m_version) {
                --m_versionsAsked;
                continue;
            }
            return kDone;
        }
        if (m_lines.size() > kMaxLine) {
            // An overlong line is garbage to its end, never a line of its own.
            m_lines.clear();
            m_skipLine = true;
            m_inStep = false;
            return GPIB_EDVR;
        }
        if (monotonicUs() >= deadlineUs) {
            m_inStep = false;
            return GPIB_EABO;
        }
        if (int r = pump(deadlineUs); r == GPIB_ENEB)
            return r;
    }
}

std::string ProtocolBoard::addressLine(gpibdrv::BusAddress a) {
    if (m_addressed == a)
        return "";
    m_addressed = a;
    return "++addr " + std::to_string(a.pad) +
           (a.sad >= 0 ? " " + std::to_string(96 + a.sad) : std::string()) + "\n";
}

int ProtocolBoard::number(const std::string& line, int max, int& value) {
    if (isRefusal(line))
        return GPIB_ECAP;
    value = 0;
    bool digits = !line.empty() && line.size() <= 5;
    for (char c : line) digits = digits && c >= '0' && c <= '9';
    if (digits)
        value = std::stoi(line);
    if (!digits || value > max) {
        m_inStep = false;  // whatever else it sends is not to be trusted
        return GPIB_EDVR;
    }
    return kDone;
}

}  // namespace adapters
