#include "emulators/adapter_emulator.h"

#include <charconv>
#include <thread>

#include "net/monotonic.h"

namespace emulators {

namespace {

constexpr char kEsc = 27;
// Longer lines than any host sends are cut here rather than held for ever.
constexpr size_t kMaxLine = 1 << 20;

std::pair<std::string_view, std::string_view> split(std::string_view text) {
    size_t blank = text.find_first_of(" \t");
    if (blank == std::string_view::npos)
        return {text, {}};
    std::string_view rest = text.substr(blank);
    rest.remove_prefix(std::min(rest.find_first_not_of(" \t"), rest.size()));
    while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t')) rest.remove_suffix(1);
    return {text.substr(0, blank), rest};
}

}  // namespace

bool readNumber(std::string_view text, int low, int high, int& value) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && value >= low && value <= high;
}

bool parseAdapterFault(std::string_view name, AdapterFault& fault) {
    if (name == "close-mid-answer")
        fault = AdapterFault::CloseMidAnswer;
    else if (name == "garbage")
        fault = AdapterFault::Garbage;
    else if (name == "silent")
        fault = AdapterFault::Silent;
    else
        return false;
    return true;
}

AdapterEmulator::AdapterEmulator(ServedBench& bench, AdapterEmulatorOptions options,
                                 AdapterLine line)
    : m_bench(bench), m_options(options), m_line(std::move(line)) {
    // Each adapter's settings as it comes out of the box.
    if (ar488()) {
        m_eoi = false;
        m_readTmoMs = 1200;
    } else {
        m_readTmoMs = 500;
        m_pad = 0;
    }
}

std::string AdapterEmulator::version() const {
    if (!m_options.verText.empty())
        return m_options.verText;
    return ar488() ? "AR488 GPIB controller, ver. 0.53.04, 13/04/2025"
                   : "Prologix GPIB-USB Controller version 6.107";
}

void AdapterEmulator::newHost() {
    m_input.clear();
    m_raw.clear();
    m_parsed = 0;
    m_escape = m_plusEscaped = false;
}

void AdapterEmulator::receive(const char* data, size_t n) {
    m_raw.append(data, n);
    if (m_parsing)
        return;  // a command under way takes its turn first
    m_parsing = true;
    // A command may stash more bytes in m_raw while it runs: they are taken
    // in turn, by position.
    while (m_parsed < m_raw.size() && !m_hungUp) {
        const char c = m_raw[m_parsed++];
        if (m_escape) {
            m_escape = false;
            if (c == '+' && m_input.size() < 2)
                m_plusEscaped = true;
            m_input.push_back(c);
        } else if (c == kEsc) {
            m_escape = true;
        } else if (c == '\r' || c == '\n') {
            completeLine();
        } else if (m_input.size() < kMaxLine) {
            m_input.push_back(c);
        }
    }
    m_raw.clear();
    m_parsed = 0;
    m_parsing = false;
    if (m_hungUp)
        newHost();
    m_hungUp = false;
}

void AdapterEmulator::hangUp() {
    m_hungUp = true;
    m_line.hangUp();
}

bool AdapterEmulator::commandWaiting() {
    // What has arrived by now; looked for at most every 200 us, as a
    // firmware looks at its serial buffer, not a system call a byte.
    const int64_t now = net::monotonicUs();
    if (m_line.wait && now - m_lookedUs >= 200) {
        m_line.wait(0);
        m_lookedUs = now;
    }
    size_t at = m_raw.find_first_not_of("\r\n", m_parsed);
    return at != std::string::npos && m_raw.compare(at, 2, "++") == 0 &&
           m_raw.find_first_of("\r\n", at) != std::string::npos;
}

bool AdapterEmulator::waitOwnTimeout(int64_t untilUs) {
    if (!m_options.readEndsOnInput || !m_line.wait) {
        std::this_thread::sleep_for(std::chrono::microseconds(untilUs - net::monotonicUs()));
        return false;
    }
    for (;;) {
        if (commandWaiting())
            return true;
        if (net::monotonicUs() >= untilUs)
            return false;
        m_line.wait(untilUs);
    }
}

void AdapterEmulator::completeLine() {
    std::string text;
    text.swap(m_input);
    const bool isCommand = !m_plusEscaped && text.size() > 2 && text.compare(0, 2, "++") == 0;
    m_plusEscaped = false;
    if (text.empty())
        return;  // a line end on an empty line: nothing to do
    if (isCommand)
        command(std::string_view(text).substr(2));
    else
        data(text);
}

void AdapterEmulator::data(const std::string& bytes) {
    ++m_counts["data"];
    if (!m_controller)
        return;
    // ++eos appends its terminator; ++eoi puts EOI on the last byte sent.
    static const char* const kTerminators[] = {"\r\n", "\r", "\n", ""};
    std::string message = bytes + kTerminators[m_eos];
    long sent = 0;
    m_bench.board->send(current(), message.data(), long(message.size()),
                        m_eoi ? gpibdrv::EndMode::EoiOnLast : gpibdrv::EndMode::None, readTimeout(),
                        sent);
}

void AdapterEmulator::command(std::string_view text) {
    auto [name, arg] = split(text);
    ++m_counts["++" + std::string(name)];
    if (setting(name, arg))
        return;
    auto* board = m_bench.board.get();
    if (name == "ver") {
        // A slow firmware takes nothing else meanwhile.
        std::this_thread::sleep_for(std::chrono::milliseconds(m_options.verDelayMs));
        answer(version());
    } else if (!m_controller) {
        refuse("Unrecognized command");  // controller commands in device mode
    } else if (name == "read") {
        read(arg);
    } else if (name == "spoll") {
        spoll(arg);
    } else if (name == "srq") {
        bool on = false;
        board->srqLine(on);
        answer(on ? "1" : "0", true);
    } else if (name == "trg") {
        trigger(arg);
    } else if (name == "clr") {
        gpibdrv::BusAddress a = current();
        board->clear(&a);
    } else if (name == "ifc") {
        board->interfaceClear();
    } else if (name == "loc" || name == "llo" || name == "rst") {
        // Accepted; the bench has no front panel to lock or release.
    } else if (ar488() && name == "fndl") {
        findListeners(arg);
    } else if (ar488() && (name == "allspoll" || name == "dcl")) {
        if (name == "dcl")
            board->clear(nullptr);
        else
            spoll("all");
    } else if (ar488() && name == "ren") {
        int v = 0;
        if (arg.empty())
            answer(m_ren ? "1" : "0", true);
        else if (readNumber(arg, 0, 1, v))
            board->remoteEnable(m_ren = v == 1);
        else
            refuse("Invalid parameter");
    } else {
        refuse("Unrecognized command");
    }
}

bool AdapterEmulator::setting(std::string_view name, std::string_view arg) {
    struct Setting {
        const char* name;
        int* value;
        int low, high;
    };
    int controller = m_controller, eoi = m_eoi, eotEnable = m_eotEnable;
    const Setting settings[] = {
        {"mode", &controller, 0, 1},
        {"auto", &m_auto, 0, ar488() ? 3 : 1},
        {"eoi", &eoi, 0, 1},
        {"eos", &m_eos, 0, 3},
        {"eot_enable", &eotEnable, 0, 1},
        {"eot_char", &m_eotChar, 0, 255},
        {"read_tmo_ms", &m_readTmoMs, 1, ar488() ? 32000 : 3000},
        {"eor", ar488() ? &m_eor : nullptr, 0, 15},
    };
    if (name == "savecfg") {
        // AR488 saves whenever it hears it (counted, for tests); a Prologix
        // takes 0 or 1.
        int v = 0;
        if (ar488())
            return true;
        if (arg.empty())
            answer(std::to_string(m_saveCfg), true);
        else if (readNumber(arg, 0, 1, v))
            m_saveCfg = v;
        return true;
    }
    if (name == "addr") {
        auto [pad, sad] = split(arg);
        int p = 0, s = -1;
        if (arg.empty()) {
            std::string at = std::to_string(m_pad);
            if (m_sad >= 0)
                at += (ar488() ? "," : " ") + std::to_string(96 + m_sad);
            answer(at, true);
        } else if (readNumber(pad, 0, 30, p) && !(ar488() && p == kControllerAddress) &&
                   (sad.empty() || readNumber(sad, 96, 126, s) ||
                    (ar488() && readNumber(sad, 0, 30, s)))) {
            m_pad = p;
            m_sad = sad.empty() ? -1 : s % 96;
        } else {
            refuse("Invalid parameter");
        }
        return true;
    }
    for (const Setting& s : settings) {
        if (!s.value || name != s.name)
            continue;
        int v = 0;
        if (arg.empty())
            answer(std::to_string(*s.value), true);
        else if (readNumber(arg, s.low, s.high, v))
            *s.value = v;
        else
            refuse("Invalid parameter");
        m_controller = controller == 1;
        m_eoi = eoi == 1;
        m_eotEnable = eotEnable == 1;
        return true;
    }
    return false;
}

void AdapterEmulator::refuse(const char* why) {
    if (ar488())
        answer(why);
}

bool AdapterEmulator::faulted(bool isNumber) {
    const AdapterFault f = m_options.fault;
    if (f == AdapterFault::None || (f == AdapterFault::Garbage && !isNumber))
        return false;
    const long n = m_faultable++;
    return n >= m_options.faultAfter &&
           (m_options.faultTimes < 0 || n < m_options.faultAfter + m_options.faultTimes);
}

void AdapterEmulator::answer(const std::string& line, bool isNumber) {
    if (faulted(isNumber)) {
        switch (m_options.fault) {
            case AdapterFault::Garbage:
                m_line.write("#?\x07garbage\xff\r\n");
                return;
            case AdapterFault::CloseMidAnswer:
                m_line.write(line.substr(0, line.size() / 2));
                hangUp();
                return;
            default:
                return;
        }
    }
    m_line.write(line + "\r\n");
}

void AdapterEmulator::answerData(const std::string& bytes) {
    if (bytes.empty())
        return;
    if (faulted(false)) {
        if (m_options.fault == AdapterFault::CloseMidAnswer) {
            m_line.write(bytes.substr(0, bytes.size() / 2));
            hangUp();
        }
        return;
    }
    m_line.write(bytes);
}

gpibdrv::Timeout AdapterEmulator::readTimeout() const {
    // The bench counts time in the driver's timeout steps: the first that
    // waits at least the adapter's read timeout.
    int code = 1;
    while (code < 17 && gpibdrv::timeoutUs(code) < int64_t(m_readTmoMs) * 1000) ++code;
    return {code};
}

}  // namespace emulators
