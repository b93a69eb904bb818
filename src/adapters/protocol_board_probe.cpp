// What opening asks of the adapter, none of it of an instrument: its version
// line (the marker, read_tracker.h) and how fast it comes, its settings,
// which read ends and listener search it has, and whether host input ends a
// read, which decides the way reads are asked.
#include <algorithm>

#include "adapters/protocol_board.h"

namespace adapters {

using gpibdrv::kDone;

namespace {

// Longer than any adapter's version line (they are under 60 characters).
constexpr size_t kMaxVersion = 200;
// How long one version request waits before it is asked again while the
// adapter may still be booting.
constexpr int64_t kVersionRetryUs = 500000;
// A marker shorter than this is too easily found in data: a short version
// line is asked for as often as it takes behind each read.
constexpr size_t kMinMarker = 16;
constexpr int kMaxMarkerLines = 4;

bool printable(const std::string& line) {
    if (line.empty())
        return false;
    for (unsigned char c : line)
        if (c < 0x20 || c > 0x7E)
            return false;
    return true;
}

std::string quote(const std::string& s, size_t most = 40) {
    return "\"" + s.substr(0, most) + "\"";
}

}  // namespace

int ProtocolBoard::askVersions(int64_t deadlineUs, std::string& why) {
    // The version line first: it names the adapter, and only it may be asked
    // before we know what answers. The empty line ends whatever an earlier
    // user left half-written in the adapter's line buffer. An Arduino that
    // restarted as its port opened answers once booted: ask again.
    std::string line;
    int asked = 0;
    for (int64_t next = 0;;) {
        if (monotonicUs() >= next) {
            if (int r = write("\n++ver\n", deadlineUs); r != kDone) {
                why = r == GPIB_ENEB ? m_transport->lostReason() : "no answer";
                return GPIB_ENEB;
            }
            ++asked;
            next = monotonicUs() + kVersionRetryUs;
        }
        int r = readLine(std::min(next, deadlineUs), line, true);
        if (r == GPIB_ENEB)
            why = m_transport->lostReason();
        else if (r == GPIB_EDVR)
            why = "answers ++ver with a line longer than 4096 bytes";
        else if (r == kDone && line.size() > kMaxVersion)
            why = "answers ++ver with a line of " + std::to_string(line.size()) +
                  " bytes, not a version line";
        else if (r == kDone && printable(line) && !isRefusal(line))
            break;
        else if (monotonicUs() >= deadlineUs)
            why =
                r == kDone ? "answers no version line (" + quote(line) + ")" : "no answer to ++ver";
        if (!why.empty())
            return GPIB_ENEB;
    }
    m_version = line;
    if (m_flavourFromVersion)
        m_options.flavour = line.rfind("AR488", 0) == 0 ? Flavour::Ar488 : Flavour::Prologix;
    // Requests asked again while it booted owe their answers: they come
    // first, so that the ones timed below get their own.
    for (int owed = asked - 1; owed > 0;) {
        if (readLine(deadlineUs, line, true) != kDone)
            break;
        owed -= line == m_version;
    }
    if (int r = timeVersions(deadlineUs, why); r != kDone)
        return r;
    const std::string eol = m_lastLineCr ? "\r\n" : "\n";
    const size_t lines =
        std::min<size_t>(kMaxMarkerLines, (kMinMarker + m_version.size() + eol.size() - 1) /
                                              (m_version.size() + eol.size()));
    m_report.version = m_version;
    m_report.flavour = m_options.flavour;
    m_report.markerLines = int(lines);
    m_verLines.clear();
    std::string marker;
    for (size_t i = 0; i < lines; ++i) {
        m_verLines += "++ver\n";
        marker += m_version + eol;
    }
    m_tracker.setMarker(marker);
    return kDone;
}

int ProtocolBoard::timeVersions(int64_t deadlineUs, std::string& why) {
    // A line that ends reads must be the same each time.
    std::string line;
    m_report.versionUs.clear();
    for (int i = 0; i < 3; ++i) {
        const int64_t start = monotonicUs();
        if (int r = write("++ver\n", deadlineUs); r != kDone)
            return why = r == GPIB_ENEB ? m_transport->lostReason() : "no answer", GPIB_ENEB;
        if (readLine(deadlineUs, line, true) != kDone)
            return why = "answers ++ver once, then no more", GPIB_ENEB;
        m_report.versionUs.push_back(monotonicUs() - start);
        if (line != m_version)
            return why = "answers ++ver differently each time (" + quote(m_version, kMaxVersion) +
                         ", then " + quote(line, kMaxVersion) +
                         "): no line of it can mark the end of a read",
                   GPIB_ENEB;
    }
    m_verLatencyUs = *std::max_element(m_report.versionUs.begin(), m_report.versionUs.end());
    return kDone;
}

int ProtocolBoard::probe(int64_t deadlineUs, std::string& why) {
    // A Prologix keeps each setting in its own memory unless told not to. An
    // AR488 saves when it hears ++savecfg, whatever follows: never send it one,
    // even one that was named a Prologix.
    bool saves = !ar488() && m_version.find("AR488") == std::string::npos;
    std::string setup = saves ? "++savecfg 0\n" : "";
    setup += "++mode 1\n++auto 0\n++eos 3\n++eoi 1\n++eot_enable 1\n++eot_char " +
             std::to_string(m_options.eotChar) + "\n" +
             readTimeoutLine(m_options.readTmoMs * 1000) + "++eot_char\n";
    if (int r = write(setup, deadlineUs); r != kDone)
        return why = r == GPIB_ENEB ? m_transport->lostReason() : "does not take its settings",
               GPIB_ENEB;
    int mark = -1;
    std::string line;
    bool behind = false;
    for (;;) {
        int r = readLine(deadlineUs, line);
        if (r != kDone)
            return why = r == GPIB_ENEB ? m_transport->lostReason() : "does not take its settings",
                   GPIB_ENEB;
        if (number(line, 255, mark) == kDone)
            break;
        // A version line owed to an earlier host (one that left with its
        // ++ver unanswered) puts every answer one behind: passed over here,
        // the answers from ++eot_char on are in step again.
        behind = behind || line == m_version;
        if (!isRefusal(line) && line != m_version)
            return why = "answers garbage to ++eot_char (" + quote(line) + ")", GPIB_ENEB;
    }
    if (mark != m_options.eotChar)
        return why = "did not take ++eot_char " + std::to_string(m_options.eotChar), GPIB_ENEB;
    // One behind, each timed answer was the one before it, there at once:
    // timed again, in step.
    if (behind)
        if (int r = timeVersions(deadlineUs, why); r != kDone)
            return r;
    m_report.markTaken = true;
    m_inStep = true;
    if (ar488()) {
        // Its read terminators (++eor, a number), which reads to a byte need;
        // a firmware without them reads to EOI alone.
        int eor = -1;
        int r = askNumber("++eor\n", 15, eor);
        if (r != kDone && r != GPIB_ECAP)
            return why = "answers garbage to ++eor", GPIB_ENEB;
        m_report.eor = m_eor = r == kDone ? eor : -1;
        // Its listener search, asked without a parameter: refused either way
        // before it addresses anyone (fndl_h()), but the refusal leaves the
        // read timeout at 35 ms: it is set again before the next read.
        if (write("++fndl\n", deadlineUs) != kDone || readLine(deadlineUs, line) != kDone)
            return why = "no answer to ++fndl", GPIB_ENEB;
        m_report.fndl =
            line == "Missing parameter" ? AdapterReport::Fndl::Yes : AdapterReport::Fndl::No;
        m_tmoMs = -1;
    }
    if (m_options.reads != ReadWay::Probe) {
        m_report.testRead = "none: the board map sets the way";
        const bool fastSet = m_options.reads == ReadWay::Fast;
        useWay(m_options.reads,
               fastSet ? "fast: set in the board map" : "safe: set in the board map");
        return kDone;
    }
    int address = m_testAddress;
    if (address < 0 && ar488()) {
        // AR488 refuses to address itself (addr_h()): so refused, the address
        // is its own, where no instrument can be (read_h() reads from any).
        const int own = m_options.controllerAddress;
        if (write("++addr " + std::to_string(own) + "\n++ver\n", deadlineUs) != kDone ||
            readLine(deadlineUs, line, true) != kDone)
            return why = "no answer to ++addr", GPIB_ENEB;
        if (isRefusal(line)) {
            if (readLine(deadlineUs, line, true) != kDone || line != m_version)
                return why = "no answer to ++addr", GPIB_ENEB;
            address = own;
        } else {
            m_addressed = gpibdrv::BusAddress{own, -1};
            m_report.testRead = "none: it takes " + std::to_string(own) +
                                " for an instrument's address, so " + std::to_string(own) +
                                " is not its own";
        }
    } else if (address < 0) {
        m_report.testRead = "none: a Prologix's manual names no address of its own to read from";
    }
    if (address >= 0)
        if (int r = testRead(address, deadlineUs); r != kDone)
            return why = r == GPIB_ENEB ? m_transport->lostReason() : "no answer to a test read",
                   GPIB_ENEB;
    switch (m_report.hostInput) {
        case AdapterReport::HostInput::Waits:
            useWay(ReadWay::Fast, "fast: host input waits for the read");
            break;
        case AdapterReport::HostInput::EndsRead:
            useWay(ReadWay::Safe, "safe: host input ended a test read");
            break;
        case AdapterReport::HostInput::Untested:
            useWay(ReadWay::Safe, "safe: no harmless test read");
            break;
    }
    return kDone;
}

int ProtocolBoard::testRead(int address, int64_t deadlineUs) {
    // A read from an address where no instrument is, with the marker right
    // behind it: an adapter that waits for the read first answers after its
    // read timeout, one that ends the read on host input at once. The timeout
    // is well above the slowest version answer seen.
    const int64_t tmoUs = std::clamp<int64_t>(4 * m_verLatencyUs, 100000, 1000000);
    std::string lines = readTimeoutLine(tmoUs);
    if (ar488()) {
        lines += "++read " + std::to_string(address) + " eoi\n";
    } else {
        lines += addressLine({address, -1}) + "++read eoi\n";
    }
    const int64_t start = monotonicUs();
    if (int r = write(lines + m_verLines, deadlineUs); r != kDone)
        return r;
    std::string line;
    if (int r = readLine(deadlineUs, line, true); r != kDone)
        return r;
    const int64_t took = monotonicUs() - start;
    const std::string at = "a read from " + std::to_string(address) + ", ++read_tmo_ms " +
                           std::to_string(m_tmoMs) + ",";
    if (line != m_version) {
        m_versionsAsked += m_report.markerLines;
        m_inStep = false;
        m_report.testRead = at + " brought an answer: the address is not empty";
        return kDone;
    }
    m_versionsAsked += m_report.markerLines - 1;
    const bool ended = took < tmoUs / 2;
    m_report.hostInput =
        ended ? AdapterReport::HostInput::EndsRead : AdapterReport::HostInput::Waits;
    m_report.testRead = at + " ended after " + std::to_string((took + 500) / 1000) + " ms";
    return kDone;
}

int checkAdapter(const AdapterOptions& options, int testAddress, bool flavourFromVersion,
                 AdapterReport& report, std::string& why) {
    auto transport = options.host.empty() ? makeSerialTransport(options.port, options.baud)
                                          : makeTcpTransport(options.host, options.tcpPort);
    ProtocolBoard board(options, std::move(transport));
    board.setTestAddress(testAddress);
    if (flavourFromVersion)
        board.setFlavourFromVersion();
    int r = board.open(why);
    report = board.report();
    return r;
}

}  // namespace adapters
