#include "gateway/link_name.h"

#include <cctype>
#include <string>

#include "vxi11/vxi11_codes.h"

namespace gateway {

namespace {

// Digits only, no more than two, the value at most high.
bool number(std::string_view text, int high, int& value) {
    if (text.empty() || text.size() > 2)
        return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    return value <= high;
}

}  // namespace

int parseLinkName(std::string_view name, const std::optional<LinkTarget>& inst0, LinkTarget& out) {
    std::string lower(name);
    for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (lower == "inst0") {
        out = inst0 ? *inst0 : LinkTarget{kGatewayBoard, false, {0, -1}, true};
        return vxi11::kNoError;
    }
    if (lower.rfind("gpib", 0) != 0 && lower.rfind("hpib", 0) != 0)
        return vxi11::kDeviceNotAccessible;
    std::string_view rest = std::string_view(lower).substr(4);
    const size_t comma = rest.find(',');
    const std::string_view boardText = rest.substr(0, comma);
    out = LinkTarget{};
    if (!boardText.empty() &&
        (!number(boardText, 15, out.board) || (boardText.size() == 2 && boardText[0] == '0')))
        return vxi11::kDeviceNotAccessible;  // "gpib99", "gpibx": no interface of ours
    if (comma == std::string_view::npos) {
        out.interface = true;
        return vxi11::kNoError;
    }
    rest = rest.substr(comma + 1);
    const size_t second = rest.find(',');
    if (!number(rest.substr(0, second), 30, out.address.pad))
        return vxi11::kInvalidAddress;
    if (second != std::string_view::npos && !number(rest.substr(second + 1), 30, out.address.sad))
        return vxi11::kInvalidAddress;
    return vxi11::kNoError;
}

std::string describeTarget(const LinkTarget& t) {
    if (t.gateway)
        return "the gateway itself";
    std::string text = "GPIB" + std::to_string(t.board);
    if (t.interface)
        return text + " (the interface)";
    text += " " + std::to_string(t.address.pad);
    return t.address.sad < 0 ? text : text + "," + std::to_string(t.address.sad);
}

}  // namespace gateway
