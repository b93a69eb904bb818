#include "boards/serial_search.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <future>

#include "adapters/adapter_board.h"

namespace boards {

namespace {

// Devices in the folder looked at, at most.
constexpr size_t kMaxDevices = 64;

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

// Control characters and bytes beyond ASCII shown as \xNN: the answer is the
// device's, and goes to a terminal.
std::string printable(const std::string& s) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        if (c >= 0x20 && c < 0x7F) {
            out += char(c);
        } else {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

void probe(SerialCandidate& c, int probeMs) {
    c.probed = true;
    std::string why;
    std::string answer = adapters::askVersion(c.path, 115200, probeMs, why);
    if (answer.empty()) {
        c.problem = why.empty() ? "it answered an empty line" : why;
        return;
    }
    c.version = printable(answer);
    if (answer.rfind("AR488", 0) == 0)
        c.kind = "ar488";
    else if (answer.find("Prologix") != std::string::npos)
        c.kind = "prologix";
    else
        c.kind.clear();  // it answers, but not as an adapter of ours
}

}  // namespace

std::string serialFolder() {
    const char* named = std::getenv("GPIB_SERIAL_BY_ID");
    return named && *named ? named : "/dev/serial/by-id";
}

bool recogniseSerialName(const std::string& name, std::string& chip, std::string& kind) {
    const std::string n = lower(name);
    struct Row {
        const char* part;
        const char* chip;
        const char* kind;
    };
    // In this order: a Prologix carries an FTDI chip, and its name says so.
    static const Row rows[] = {
        {"prologix", "Prologix", "prologix"},
        {"arduino", "Arduino", "ar488"},
        {"1a86", "CH340", "ar488"},
        {"ch34", "CH340", "ar488"},
        {"ftdi", "FTDI", "ar488"},
        {"ft232", "FTDI", "ar488"},
    };
    for (const Row& r : rows)
        if (n.find(r.part) != std::string::npos) {
            chip = r.chip;
            kind = r.kind;
            return true;
        }
    return false;
}

SerialSearch findSerialAdapters(bool probeThem, int probeMs) {
    SerialSearch s;
    s.folder = serialFolder();
    std::error_code ec;
    size_t seen = 0;
    for (std::filesystem::directory_iterator it(s.folder, ec), end;
         !ec && it != end && seen < kMaxDevices; it.increment(ec), ++seen) {
        SerialCandidate c;
        c.path = it->path().string();
        if (recogniseSerialName(it->path().filename().string(), c.chip, c.kind))
            s.found.push_back(c);
        else
            ++s.others;
    }
    std::sort(s.found.begin(), s.found.end(),
              [](const SerialCandidate& a, const SerialCandidate& b) { return a.path < b.path; });
    if (probeThem) {
        // An Arduino takes its boot time to answer: all are asked at once.
        std::vector<std::future<void>> asked;
        for (SerialCandidate& c : s.found)
            asked.push_back(std::async(std::launch::async, [&c, probeMs] { probe(c, probeMs); }));
        for (auto& a : asked) a.get();
    }
    return s;
}

}  // namespace boards
