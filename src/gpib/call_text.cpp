// The decoded texts of a trace line. Only the trace calls these, and only
// while it is on, so they favour plain code over speed.

#include "gpib/call_text.h"

#include <algorithm>
#include <cstdio>

#include "abi/gpib_abi.h"

namespace calltext {

namespace {

std::string hex(unsigned value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

// A byte as a name where it has a common one: the end-of-string bytes.
std::string byteName(int byte) {
    switch (byte) {
        case '\n':
            return "LF";
        case '\r':
            return "CR";
        case 0:
            return "NUL";
        default:
            break;
    }
    if (byte > 0x20 && byte < 0x7F && byte != '\'')
        return std::string("'") + static_cast<char>(byte) + "'";
    return hex(static_cast<unsigned>(byte), 2);
}

struct Named {
    int code;
    const char* name;
};

// The ibask/ibconfig options this program uses, and a few neighbours a
// driver's own trace would show too.
constexpr Named kOptions[] = {
    {GPIB_IbcPAD, "PAD"}, {GPIB_IbcSAD, "SAD"},
    {GPIB_IbcTMO, "TMO"}, {GPIB_IbcEOT, "EOT"},
    {GPIB_IbcSC, "SC"},   {GPIB_IbcSRE, "SRE"},
    {GPIB_IbcEOS, "EOS"}, {GPIB_IbcSPollTime, "SPollTime"},
};

constexpr const char* kTimeouts[] = {"TNONE", "T10us", "T30us", "T100us", "T300us", "T1ms",
                                     "T3ms",  "T10ms", "T30ms", "T100ms", "T300ms", "T1s",
                                     "T3s",   "T10s",  "T30s",  "T100s",  "T300s",  "T1000s"};

constexpr Named kBits[] = {
    {0x8000, "ERR"},  {0x4000, "TIMO"},  {0x2000, "END"},   {0x1000, "SRQI"},
    {0x0800, "RQS"},  {0x0400, "SPOLL"}, {0x0200, "EVENT"}, {0x0100, "CMPL"},
    {0x0080, "LOK"},  {0x0040, "REM"},   {0x0020, "CIC"},   {0x0010, "ATN"},
    {0x0008, "TACS"}, {0x0004, "LACS"},  {0x0002, "DTAS"},  {0x0001, "DCAS"},
};

constexpr Named kErrors[] = {
    {GPIB_EDVR, "EDVR"}, {GPIB_ECIC, "ECIC"}, {GPIB_ENOL, "ENOL"}, {GPIB_EADR, "EADR"},
    {GPIB_EARG, "EARG"}, {GPIB_ESAC, "ESAC"}, {GPIB_EABO, "EABO"}, {GPIB_ENEB, "ENEB"},
    {GPIB_EDMA, "EDMA"}, {GPIB_EOIP, "EOIP"}, {GPIB_ECAP, "ECAP"}, {GPIB_EFSO, "EFSO"},
    {GPIB_EBUS, "EBUS"}, {GPIB_ESTB, "ESTB"}, {GPIB_ESRQ, "ESRQ"}, {GPIB_ETAB, "ETAB"},
};

const char* nameOf(std::span<const Named> table, int code) {
    auto it =
        std::find_if(table.begin(), table.end(), [code](const Named& n) { return n.code == code; });
    return it == table.end() ? nullptr : it->name;
}

}  // namespace

std::string call(std::string_view entry, std::initializer_list<std::string_view> args) {
    std::string text(entry);
    text += '(';
    bool first = true;
    for (std::string_view arg : args) {
        if (!first)
            text += ", ";
        text += arg;
        first = false;
    }
    text += ')';
    return text;
}

std::string board(int index) {
    return "board " + std::to_string(index);
}

std::string descriptor(int ud) {
    return "ud " + std::to_string(ud);
}

std::string addressWord(uint16_t word) {
    const unsigned primary = word & 0xFF;
    const unsigned high = word >> 8;
    if (primary > 30 || (high != 0 && (high < 0x60 || high > 0x7E)))
        return hex(word, 4);
    std::string text = std::to_string(primary);
    if (high != 0)
        text += "/" + std::to_string(high - 0x60);
    return text;
}

std::string address(int16_t word) {
    const auto raw = static_cast<uint16_t>(word);
    return "addr " + addressWord(raw) + " (" + hex(raw, 4) + ")";
}

std::string addressList(std::span<const int16_t> cells) {
    std::string text = "[";
    size_t i = 0;
    for (; i < cells.size() && cells[i] != -1; ++i) {
        if (i == kShownEntries) {
            size_t rest = i;
            while (rest < cells.size() && cells[rest] != -1) ++rest;
            text += " +" + std::to_string(rest - i) + " more";
            i = rest;
            break;
        }
        if (i > 0)
            text += ' ';
        text += addressWord(static_cast<uint16_t>(cells[i]));
    }
    if (i == cells.size())
        text += i == 0 ? "no end word" : " no end word";
    return text + "]";
}

std::string statusByte(int value) {
    return "stb " + hex(static_cast<uint16_t>(value), 2);
}

std::string statusBytes(std::span<const int16_t> cells, long count) {
    const size_t n = std::min(cells.size(), static_cast<size_t>(std::max(count, 0L)));
    std::string text = "[";
    for (size_t i = 0; i < n && i < kShownEntries; ++i) {
        if (i > 0)
            text += ' ';
        text += hex(static_cast<uint16_t>(cells[i]), 2);
    }
    if (n > kShownEntries)
        text += " +" + std::to_string(n - kShownEntries) + " more";
    return text + "]";
}

std::string secondary(int sad) {
    if (sad == 0)
        return "sad none";
    if (sad >= 0x60 && sad <= 0x7E)
        return "sad " + std::to_string(sad - 0x60) + " (" + hex(static_cast<unsigned>(sad), 2) +
               ")";
    return "sad " + std::to_string(sad) + " (no secondary address)";
}

std::string timeout(int code) {
    if (code >= 0 && code < static_cast<int>(std::size(kTimeouts)))
        return kTimeouts[code];
    return "timeout code " + std::to_string(code) + " (unknown)";
}

std::string endMode(int mode) {
    switch (mode) {
        case GPIB_DABend:
            return "EOI";
        case GPIB_NLend:
            return "LF+EOI";
        case GPIB_NULLend:
            return "no EOI";
        default:
            return "end mode " + std::to_string(mode) + " (unknown)";
    }
}

std::string eot(int flag) {
    return flag != 0 ? "EOI" : "no EOI";
}

std::string eos(int value) {
    const std::string byte = byteName(value & 0xFF);
    std::string modes;
    auto add = [&modes](const std::string& mode) { modes += (modes.empty() ? "" : ", ") + mode; };
    if (value & 0x0400)
        add("stop reads at " + byte);
    if (value & 0x0800)
        add("EOI with " + byte);
    if (value & 0x1000)
        add("8-bit compare");
    return "eos " + hex(static_cast<uint16_t>(value), 4) + " (" + (modes.empty() ? "off" : modes) +
           ")";
}

std::string termination(int value) {
    if (value == GPIB_STOPend)
        return "stop at EOI only";
    if (value >= 0 && value <= 0xFF)
        return "stop at " + byteName(value);
    return "termination " + std::to_string(value) + " (unknown)";
}

std::string option(std::string_view prefix, int option) {
    if (const char* name = nameOf(kOptions, option))
        return std::string(prefix) + name;
    return "option " + hex(static_cast<uint16_t>(option), 4);
}

std::string optionValue(int option, int value) {
    if (option == GPIB_IbcTMO || option == GPIB_IbcSPollTime)
        return timeout(value);
    if (option == GPIB_IbcSRE)
        return value != 0 ? "REN on" : "REN off";
    return std::to_string(value);
}

std::string quoted(std::string_view bytes) {
    std::string text = "\"";
    for (size_t i = 0; i < bytes.size() && i < kShownBytes; ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        switch (c) {
            case '\r':
                text += "\\r";
                break;
            case '\n':
                text += "\\n";
                break;
            case '\t':
                text += "\\t";
                break;
            case 0:
                text += "\\0";
                break;
            case '"':
            case '\\':
                text += '\\';
                text += static_cast<char>(c);
                break;
            default:
                if (c >= 0x20 && c < 0x7F) {
                    text += static_cast<char>(c);
                } else {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
                    text += escaped;
                }
        }
    }
    text += '"';
    if (bytes.size() > kShownBytes)
        text += "...";
    return text;
}

std::string bytes(TextView text, long count) {
    const size_t n = std::min(text.size(), static_cast<size_t>(std::max(count, 0L)));
    // One character more than is shown, so quoted() knows to mark the cut.
    const std::string shown = ToCodePage(text.substr(0, std::min(n, kShownBytes + 1)));
    std::string out = std::to_string(count) + (count == 1 ? " byte" : " bytes");
    if (count > 0)
        out += " " + quoted(shown);
    if (count > static_cast<long>(n) && n <= kShownBytes && count > 0)
        out += "...";
    return out;
}

std::string status(int ibsta, int iberr, long ibcntl) {
    const auto bits = static_cast<uint16_t>(ibsta);
    std::string text = "ibsta " + hex(bits, 4) + " (";
    bool any = false;
    for (const Named& bit : kBits) {
        if (bits & bit.code) {
            text += any ? " " : "";
            text += bit.name;
            any = true;
        }
    }
    text += any ? ")" : "none)";
    if (bits & GPIB_ERR) {
        const char* name = nameOf(kErrors, static_cast<int16_t>(iberr));
        text += " iberr " + (name ? std::string(name) : std::to_string(iberr));
    }
    return text + " ibcntl " + std::to_string(ibcntl);
}

}  // namespace calltext
