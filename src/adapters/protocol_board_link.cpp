// The link to the adapter: opening it, keeping it in step, reading answers.
#include <cstring>

#include "adapters/protocol_board.h"

namespace adapters {

using gpibdrv::kDone;

namespace {

// Longer than any answer line an adapter prints: what exceeds it is garbage.
constexpr size_t kMaxLine = 4096;

}  // namespace

bool isRefusal(std::string_view line) {
    return line == "Unrecognized command" || line == "Invalid parameter" ||
           line == "Missing parameter" || line == "Missing parameters" || line == "Unavailable";
}

int ProtocolBoard::lost() {
    m_connected = m_inStep = false;
    m_tracker.reset();
    m_owed.clear();
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
    m_owed.clear();
    m_afterRead.clear();
    m_openGivenUp = false;
    m_tmoMs = m_eor = -1;
    m_noEoi.clear();
    m_eoiSeen.clear();
    m_report = {};
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
    m_lastEmptyUs = monotonicUs();
    // In step from the settings on, unless a probe's answer says otherwise.
    if (askVersions(deadline, why) != kDone || probe(deadline, why) != kDone)
        return fail(why);
    return kDone;
}

int ProtocolBoard::ready(int64_t deadlineUs) {
    if (!m_connected)
        return GPIB_ENEB;
    if (!m_inStep)
        return settle(deadlineUs);
    if (m_tracker.open()) {
        // Safe way: the caller is done with the read; its marker goes out in
        // front of this command, in the same write.
        m_tracker.markerAsked();
        m_openGivenUp = false;
        m_owed = m_verLines + m_afterRead + m_owed;
        m_afterRead.clear();
    }
    // Whatever arrived since, beyond the reads under way, is stale.
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
    return kDone;
}

int ProtocolBoard::settle(int64_t deadlineUs) {
    // Every read under way ends in its marker; one whose marker never comes
    // is given up, and the link with it until the version line answers.
    if (m_tracker.open()) {
        m_tracker.markerAsked();
        m_owed = m_verLines + m_owed;
    }
    // What a read to a byte changed goes back even when that read never
    // started (its lines may have reached the adapter in part).
    m_owed += m_afterRead;
    m_afterRead.clear();
    if (!m_owed.empty())
        if (int r = write("", deadlineUs); r != kDone && r != GPIB_EABO)
            return r;
    while (m_tracker.running()) {
        if (monotonicUs() >= deadlineUs) {
            // Their markers may still come: they are skipped like any version
            // line owed to an earlier request.
            m_versionsAsked += int(m_tracker.queued()) * m_report.markerLines;
            m_tracker.reset();
            return GPIB_EABO;
        }
        if (int r = pump(deadlineUs); r == GPIB_ENEB)
            return r;
    }
    for (int r = kDone; r != GPIB_EABO;) {
        r = pump(monotonicUs());
        if (r == GPIB_ENEB)
            return r;
        if (r != GPIB_EABO && monotonicUs() >= deadlineUs)
            return GPIB_EABO;
    }
    m_lines.clear();
    return resync(deadlineUs);
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
    int64_t emptyAt = -1;
    Transport::Io io = m_transport->readSome(buffer, sizeof buffer, untilUs, got, &emptyAt);
    const int64_t now = monotonicUs();
    if (emptyAt >= 0)
        m_lastEmptyUs = emptyAt;
    if (io == Transport::Io::Lost)
        return lost();
    if (io == Transport::Io::Timeout && m_transport->interrupted()) {
        // Interrupted: the operation ends as on a lost line, but the line
        // stays open; what the adapter still sends is sorted out by the
        // next command.
        m_inStep = false;
        return GPIB_ENEB;
    }
    if (io != Transport::Io::Done) {
        // Nothing came: the line was empty up to the end of the wait.
        m_lastEmptyUs = std::max(m_lastEmptyUs, std::min(now, untilUs));
        m_tracker.quiet(m_lastEmptyUs);
        return now >= untilUs ? GPIB_EABO : kDone;
    }
    size_t used = 0;
    while (used < got && m_tracker.running()) {
        PendingInput& out = pending(m_tracker.current().from);
        used += m_tracker.feed(buffer + used, got - used, m_lastEmptyUs, now, out);
        if (auto o = m_tracker.ended())
            readEnded(*o);
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
    // What earlier commands owe goes first, in the same write.
    const std::string out = m_owed + lines;
    const size_t owed = m_owed.size();
    m_owed.clear();
    size_t done = 0;
    Transport::Io io = m_transport->writeAll(out.data(), out.size(), deadlineUs, &done);
    if (written)
        *written = done > owed ? done - owed : 0;
    switch (io) {
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
