// What tm-adapter-check prints of an adapter: each finding on a line of its
// own, with how it was found, so that a report attached to a bug tells what
// the adapter does without the adapter.
#include <algorithm>
#include <cstdio>

#include "adapters/adapter_board.h"

namespace adapters {

namespace {

std::string ms(int64_t us) {
    char text[32];
    std::snprintf(text, sizeof text, us < 10000 ? "%.2f ms" : "%.0f ms", double(us) / 1000.0);
    return text;
}

std::string row(const char* what, const std::string& found) {
    std::string line = what;
    line.resize(std::max<size_t>(line.size() + 1, 18), ' ');
    return line + found + "\n";
}

std::string versionTimes(std::vector<int64_t> us) {
    if (us.empty())
        return "not measured";
    std::sort(us.begin(), us.end());
    return ms(us.front()) + " min, " + ms(us[us.size() / 2]) + " median, " + ms(us.back()) +
           " max (" + std::to_string(us.size()) + " requests)";
}

}  // namespace

std::string formatReport(const AdapterReport& r) {
    const bool ar488 = r.flavour == Flavour::Ar488;
    std::string out;
    out += row("version line:", "\"" + r.version + "\"");
    out += row("dialect:", ar488 ? "AR488 (its version line begins with AR488)"
                                 : "Prologix (its version line does not begin with AR488)");
    out += row("version answer:", versionTimes(r.versionUs));
    if (r.markerLines > 1)
        out += row("", "a short line: asked " + std::to_string(r.markerLines) +
                           " times behind each read, so that data does not hold it");
    out += row("EOI mark:", r.markTaken ? "++eot_char 234 taken (seeing it appended needs an "
                                          "instrument)"
                                        : "not taken");
    if (ar488)
        out += row("read ends:", r.eor >= 0 ? "EOI (++read eoi); a byte through ++eor (it "
                                              "answered " +
                                                  std::to_string(r.eor) + "): CR, LF or ETX"
                                            : "EOI (++read eoi) only: it has no ++eor");
    else
        out += row("read ends:",
                   "EOI (++read eoi); a byte (++read N) as its manual has it, "
                   "not tried");
    out += row("listener search:", r.fndl == AdapterReport::Fndl::Yes  ? "++fndl"
                                   : r.fndl == AdapterReport::Fndl::No ? "none (no ++fndl)"
                                                                       : "not asked (a Prologix "
                                                                         "has none)");
    std::string input;
    switch (r.hostInput) {
        case AdapterReport::HostInput::Waits:
            input = "waits for the read";
            break;
        case AdapterReport::HostInput::EndsRead:
            input = "ends the read";
            break;
        case AdapterReport::HostInput::Untested:
            input = "not tested";
            break;
    }
    out += row("host input:", input + " (" + r.testRead + ")");
    if (r.hostInput == AdapterReport::HostInput::Untested)
        out += row("", "--empty-address N tests it with a read from N, where no instrument is");
    out += row("reads:", r.why);
    return out;
}

}  // namespace adapters
