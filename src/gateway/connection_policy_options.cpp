#include "gateway/connection_policy_options.h"
#include "text/text.h"

#include <charconv>

namespace gateway {

namespace {

// Seconds with up to three decimals ("20", "0.5"), in microseconds; -1 for
// anything else.
int64_t parseSeconds(const std::string& text) {
    const size_t dot = text.find('.');
    const std::string whole = text.substr(0, dot);
    const std::string part = dot == std::string::npos ? "" : text.substr(dot + 1);
    if (whole.empty() || whole.size() > 6 || part.size() > 3 ||
        (dot != std::string::npos && part.empty()))
        return -1;
    int64_t seconds = 0, fraction = 0;
    for (const std::string* digits : {&whole, &part})
        if (digits->find_first_not_of("0123456789") != std::string::npos)
            return -1;
    std::from_chars(whole.data(), whole.data() + whole.size(), seconds);
    std::from_chars(part.data(), part.data() + part.size(), fraction);
    for (size_t i = part.size(); i < 3; ++i) fraction *= 10;
    return seconds * 1'000'000 + fraction * 1'000;
}

// An option of seconds within low..high, stored in microseconds.
void seconds(CLI::App& app, const std::string& name, int64_t& us, int64_t lowUs, int64_t highUs,
             const std::string& what) {
    app.add_option_function<std::string>(
           name, [&us](const std::string& text) { us = parseSeconds(text); },
           what + " (default " + std::to_string(us / 1'000'000) + ")")
        ->type_name("S")
        ->check(CLI::Validator(
            [lowUs, highUs](std::string& text) {
                const int64_t value = parseSeconds(text);
                if (value < lowUs || value > highUs)
                    return text + " is not a time in seconds it takes (" + secondsText(lowUs) +
                           " to " + secondsText(highUs) + ")";
                return std::string();
            },
            ""));
}

CLI::Validator countIn(long low, long high) {
    return CLI::Validator(
        [low, high](std::string& text) { return WholeNumberProblem(text, low, high); }, "");
}

}  // namespace

void addPolicyOptions(CLI::App& app, ConnectionPolicy& policy) {
    app.add_option("--max-connections", policy.maxConnections,
                   "connections served at once (default " + std::to_string(policy.maxConnections) +
                       "; as many on the abort port)")
        ->type_name("N")
        ->check(countIn(1, 4096));
    app.add_option("--max-per-client", policy.maxPerClient,
                   "connections of one client address (default a quarter, at least 4)")
        ->type_name("N")
        ->check(countIn(1, 4096));
    seconds(app, "--idle-timeout", policy.idleUs, 100'000, 86'400'000'000,
            "close a connection with no link after S s quiet");
    seconds(app, "--record-timeout", policy.recordUs, 100'000, 3'600'000'000,
            "a call must arrive whole S s from its first byte");
    app.add_option("--portmapper-connections", policy.portmapperConnections,
                   "our own portmapper's connections (default " +
                       std::to_string(policy.portmapperConnections) + ", 4 an address)")
        ->type_name("N")
        ->check(countIn(1, 1024));
    seconds(app, "--portmapper-idle", policy.portmapperIdleUs, 100'000, 3'600'000'000,
            "close a portmapper connection after S s quiet");
}

}  // namespace gateway
