#include "gateway/gateway_identity.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>

#include "net/monotonic.h"

namespace gateway {

namespace {

using scpi::Error;

const Error kDataType{-104, "Data type error"};
const Error kParameterNotAllowed{-108, "Parameter not allowed"};
const Error kMissingParameter{-109, "Missing parameter"};
const Error kUndefinedHeader{-113, "Undefined header"};
const Error kOutOfRange{-222, "Data out of range"};
const Error kTooMuchData{-223, "Too much data"};
const Error kIllegalValue{-224, "Illegal parameter value"};
const Error kHardware{-240, "Hardware error"};
const Error kQueueOverflow{-350, "Queue overflow"};
const Error kInputOverrun{-363, "Input buffer overrun"};
const Error kQueryInterrupted{-410, "Query INTERRUPTED"};
const Error kQueryUnterminated{-420, "Query UNTERMINATED"};

// The event status register's bits an error sets: a command, execution,
// device-specific or query error.
uint8_t eventBit(int code) {
    return code <= -100 && code > -200   ? 0x20
           : code <= -200 && code > -300 ? 0x10
           : code <= -300 && code > -400 ? 0x08
           : code <= -400 && code > -500 ? 0x04
                                         : 0;
}

// A read that nothing bounds still ends: a day is more than any client means.
constexpr int64_t kLongestReadUs = 24LL * 3600 * 1000 * 1000;

enum class Command {
    Idn,
    Cls,
    EseSet,
    EseQuery,
    Esr,
    SreSet,
    SreQuery,
    Stb,
    Opc,
    OpcQuery,
    Rst,
    Tst,
    Wai,
    ErrorNext,
    ErrorCount,
    Version,
    InterfaceList,
    InterfaceInstruments,
    InterfaceDescription,
    InterfaceSearch
};

struct Entry {
    const char* header;  // "*IDN" for a common command, else a SCPI pattern
    bool query;
    int parameters;  // 0 or 1
    Command command;
};

constexpr Entry kCommands[] = {
    {"*IDN", true, 0, Command::Idn},
    {"*CLS", false, 0, Command::Cls},
    {"*ESE", false, 1, Command::EseSet},
    {"*ESE", true, 0, Command::EseQuery},
    {"*ESR", true, 0, Command::Esr},
    {"*SRE", false, 1, Command::SreSet},
    {"*SRE", true, 0, Command::SreQuery},
    {"*STB", true, 0, Command::Stb},
    {"*OPC", false, 0, Command::Opc},
    {"*OPC", true, 0, Command::OpcQuery},
    {"*RST", false, 0, Command::Rst},
    {"*TST", true, 0, Command::Tst},
    {"*WAI", false, 0, Command::Wai},
    {"SYSTem:ERRor[:NEXT]", true, 0, Command::ErrorNext},
    {"SYSTem:ERRor:COUNt", true, 0, Command::ErrorCount},
    {"SYSTem:VERSion", true, 0, Command::Version},
    {"SYSTem:INTerface:LIST", true, 0, Command::InterfaceList},
    {"SYSTem:INTerface:INSTrument:LIST", true, 1, Command::InterfaceInstruments},
    {"SYSTem:INTerface:DESCription", true, 1, Command::InterfaceDescription},
    {"SYSTem:INTerface:SEARch", false, 1, Command::InterfaceSearch},
};

// A field of *IDN? holds no comma, semicolon or control character, and is
// not longer than a person reads at a glance.
std::string field(std::string_view text) {
    std::string out(text.substr(0, 40));
    for (char& c : out)
        if (c == ',' || c == ';' || c == '"' || static_cast<unsigned char>(c) < 32 ||
            static_cast<unsigned char>(c) > 126)
            c = '-';
    return out.empty() ? "0" : out;
}

// An NRf value for a register: 0-255, rounded.
bool registerValue(const scpi::Parameter& p, uint8_t& value, Error& error) {
    std::string_view text = p.text;
    if (!text.empty() && text[0] == '+')
        text.remove_prefix(1);
    double d = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), d);
    if (p.quoted || text.empty() || ec != std::errc() || end != text.data() + text.size()) {
        error = kDataType;
        return false;
    }
    if (!(d > -0.5 && d < 255.5)) {
        error = kOutOfRange;
        return false;
    }
    value = uint8_t(std::lround(d));
    return true;
}

std::string listOf(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& item : items) out += (out.empty() ? "" : ",") + scpi::quoted(item);
    return out.empty() ? scpi::quoted("") : out;
}

}  // namespace

GatewayIdentity::GatewayIdentity(IdentityFields fields, Interfaces interfaces, Search search)
    : m_fields(std::move(fields)),
      m_interfaces(std::move(interfaces)),
      m_search(std::move(search)) {}

std::string GatewayIdentity::idn() const {
    return field(m_fields.manufacturer) + "," + field(m_fields.model) + "," +
           field(m_fields.serial) + "," + field(m_fields.version);
}

std::string GatewayIdentity::describe() const {
    return "the gateway itself, " + idn();
}

int GatewayIdentity::statusBits() {
    return GPIB_CIC;
}

void GatewayIdentity::pushError(Error e) {
    m_esr |= eventBit(e.code);
    if (e.code <= -100 && e.code > -200)
        ++m_commandErrors;
    if (m_errors.size() < kErrorQueue) {
        m_errors.push_back(e);
    } else {
        m_errors.back() = kQueueOverflow;  // the last place says that some were lost
    }
}

uint8_t GatewayIdentity::statusByte() const {
    uint8_t stb = (m_errors.empty() ? 0 : 0x04) | (m_output.empty() ? 0 : 0x10) |
                  ((m_esr & m_ese) ? 0x20 : 0);
    return (stb & m_sre) ? stb | 0x40 : stb;
}

bool GatewayIdentity::run(const scpi::Unit& u, std::string& response) {
    const std::string common = u.common ? "*" + u.path[0] : "";
    const Entry* entry = nullptr;
    for (const Entry& e : kCommands) {
        const bool named =
            u.common ? common == e.header : e.header[0] != '*' && scpi::matches(u.path, e.header);
        if (named && e.query == u.query) {
            entry = &e;
            break;
        }
    }
    if (!entry) {
        pushError(kUndefinedHeader);
        return false;
    }
    if (int(u.parameters.size()) != entry->parameters) {
        pushError(int(u.parameters.size()) > entry->parameters ? kParameterNotAllowed
                                                               : kMissingParameter);
        return false;
    }
    // The interface a query names, quoted or not, in any case.
    auto named = [&](InterfaceView& out) {
        std::string want = u.parameters[0].text;
        std::transform(want.begin(), want.end(), want.begin(),
                       [](char c) { return char(std::tolower(static_cast<unsigned char>(c))); });
        for (InterfaceView& v : m_interfaces())
            if (v.link == want) {
                out = std::move(v);
                return true;
            }
        pushError(kIllegalValue);
        return false;
    };
    Error error;
    InterfaceView view;
    switch (entry->command) {
        case Command::Idn:
            response = idn();
            return true;
        case Command::Cls:
            m_errors.clear();
            m_esr = 0;
            return false;
        case Command::EseSet:
        case Command::SreSet:
            if (!registerValue(u.parameters[0], entry->command == Command::EseSet ? m_ese : m_sre,
                               error))
                pushError(error);
            return false;
        case Command::EseQuery:
            response = std::to_string(m_ese);
            return true;
        case Command::SreQuery:
            response = std::to_string(m_sre);
            return true;
        case Command::Esr:
            response = std::to_string(m_esr);
            m_esr = 0;
            return true;
        case Command::Stb:
            response = std::to_string(statusByte());
            return true;
        case Command::Opc:
            m_esr |= 0x01;
            return false;
        case Command::OpcQuery:
            response = "1";  // nothing here runs on after its command
            return true;
        case Command::Rst:
        case Command::Wai:
            return false;
        case Command::Tst:
            response = "0";
            return true;
        case Command::ErrorNext:
            if (m_errors.empty()) {
                response = "0,\"No error\"";
            } else {
                response = std::to_string(m_errors.front().code) + "," +
                           scpi::quoted(m_errors.front().text);
                m_errors.pop_front();
            }
            return true;
        case Command::ErrorCount:
            response = std::to_string(m_errors.size());
            return true;
        case Command::Version:
            response = "1999.0";
            return true;
        case Command::InterfaceList: {
            std::vector<std::string> links;
            for (const InterfaceView& v : m_interfaces()) links.push_back(v.link);
            response = listOf(links);
            return true;
        }
        case Command::InterfaceInstruments:
            if (!named(view))
                return false;
            response = listOf(view.instruments);
            return true;
        case Command::InterfaceDescription:
            if (!named(view))
                return false;
            response = scpi::quoted(view.description);
            return true;
        case Command::InterfaceSearch: {
            if (!named(view))
                return false;
            // Bounded by the writer's timeout, as the rest of its message.
            const std::string problem = m_search ? m_search(view.link, m_deadlineUs) : "";
            if (!problem.empty())
                pushError({kHardware.code, kHardware.text + ";" + problem});
            return false;
        }
    }
    return false;
}

void GatewayIdentity::execute(std::string_view message) {
    // A new message throws away the answer the last one left unread.
    if (!m_output.empty()) {
        m_output.clear();
        pushError(kQueryInterrupted);
    }
    const scpi::Message m = scpi::parseMessage(message);
    std::string responses;
    bool tooMuch = false;
    for (const scpi::Unit& u : m.units) {
        std::string r;
        const unsigned long commandErrors = m_commandErrors;
        const bool answered = run(u, r);
        // A command error ends the message, as one its parser cannot read does.
        if (m_commandErrors != commandErrors)
            break;
        if (!answered)
            continue;
        if (responses.size() + r.size() + 2 > kMaxOutput)
            tooMuch = true;
        else
            responses += (responses.empty() ? "" : ";") + r;
    }
    if (m.error.code)
        pushError(m.error);
    if (tooMuch)
        pushError(kTooMuchData);
    if (!responses.empty())
        m_output = responses + "\n";
}

int GatewayIdentity::send(gpibdrv::BusAddress, const char* data, long count, gpibdrv::EndMode end,
                          gpibdrv::Timeout t, long& sent) {
    sent = count;
    m_deadlineUs = net::monotonicUs() + t.limitUs(kLongestReadUs);
    std::string_view in(data, size_t(std::max(0L, count)));
    auto finish = [&] {
        if (m_inputOverflow)
            pushError(kInputOverrun);
        else
            execute(m_input);
        m_input.clear();
        m_inputOverflow = false;
    };
    // A line feed ends a message, and so does EOI with the last byte.
    while (!in.empty()) {
        const size_t lf = in.find('\n');
        const std::string_view piece = in.substr(0, lf);
        if (m_input.size() + piece.size() > kMaxInput)
            m_inputOverflow = true;
        else
            m_input.append(piece);
        if (lf == std::string_view::npos)
            break;
        finish();
        in.remove_prefix(lf + 1);
    }
    const bool lfLast = count > 0 && data[count - 1] == '\n';
    if (end != gpibdrv::EndMode::None && !lfLast && (!m_input.empty() || m_inputOverflow))
        finish();
    return gpibdrv::kDone;
}

int GatewayIdentity::receive(gpibdrv::BusAddress, char* dst, long count, int eos,
                             gpibdrv::Timeout t, long& got, int& ended) {
    got = 0;
    ended = 0;
    if (m_output.empty()) {
        // Nothing to say: the read waits its time out, as on an instrument.
        const auto until =
            std::chrono::steady_clock::now() + std::chrono::microseconds(t.limitUs(kLongestReadUs));
        std::unique_lock<std::mutex> hold(m_lock);
        m_wake.wait_until(hold, until, [&] { return m_interrupted; });
        if (!m_interrupted)
            pushError(kQueryUnterminated);
        return GPIB_EABO;
    }
    size_t n = std::min(size_t(std::max(0L, count)), m_output.size());
    if (eos >= 0)
        if (size_t at = m_output.find(char(eos)); at != std::string::npos && at < n) {
            n = at + 1;
            ended |= gpibdrv::kEndChar;
        }
    std::memcpy(dst, m_output.data(), n);
    m_output.erase(0, n);
    got = long(n);
    if (m_output.empty())
        ended |= gpibdrv::kEndEoi;
    if (got == count)
        ended |= gpibdrv::kEndCount;
    return gpibdrv::kDone;
}

int GatewayIdentity::serialPoll(gpibdrv::BusAddress, gpibdrv::Timeout, uint8_t& status) {
    status = statusByte();
    return gpibdrv::kDone;
}

int GatewayIdentity::clear(const gpibdrv::BusAddress*) {
    // Device clear empties the buffers; the status and the errors stay.
    m_input.clear();
    m_inputOverflow = false;
    m_output.clear();
    return gpibdrv::kDone;
}

int GatewayIdentity::listens(gpibdrv::BusAddress, bool& listening) {
    listening = true;
    return gpibdrv::kDone;
}

int GatewayIdentity::srqLine(bool& asserted) {
    asserted = false;
    return gpibdrv::kDone;
}

void GatewayIdentity::interrupt() {
    std::lock_guard<std::mutex> hold(m_lock);
    m_interrupted = true;
    m_wake.notify_all();
}

void GatewayIdentity::clearInterrupt() {
    std::lock_guard<std::mutex> hold(m_lock);
    m_interrupted = false;
}

}  // namespace gateway
