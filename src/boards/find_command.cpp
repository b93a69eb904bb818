#include "boards/find_command.h"

#include <cctype>
#include <cstdio>
#include <optional>
#include <string_view>

#include "boards/gateway_finder.h"
#include "boards/library_search.h"
#include "boards/map_file.h"
#include "boards/serial_search.h"
#include "bundled/board_map.h"

namespace boards {

namespace {

std::string lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// An Arduino answers only after its boot, which its port's opening starts.
constexpr int kMinProbeMs = 2500;

// The boards of the map tm-boards add would edit, for the numbers that are
// free and the findings that are there already.
std::vector<bundled::MapBoard> mapBoards(const FindOptions& o) {
    MapPlace place = editPlace(o.boardsFile, o.system);
    MapFile file;
    std::string problem;
    const std::string& from = place.seedFrom.empty() ? place.path : place.seedFrom;
    if (from.empty() || !readMapFile(from, file, problem) || !file.exists)
        return {};
    bundled::BoardMapResult r = bundled::loadBoardMapText(file.text, from);
    return r.map ? r.map->boards : std::vector<bundled::MapBoard>{};
}

class Report {
  public:
    Report(const FindOptions& o) : m_tab(o.tab), m_map(mapBoards(o)) {}

    void heading(const std::string& text) {
        if (!m_tab)
            std::printf("%s\n", text.c_str());
    }
    void note(const std::string& text) {
        if (m_tab)
            std::fprintf(stderr, "tm-boards: %s\n", text.c_str());
        else
            std::printf("  %s\n", text.c_str());
    }

    // One finding: what and where, how it was found, and how to add it
    // (or where the map has it already).
    void finding(const std::string& kind, const std::string& where, const std::string& how,
                 const std::vector<std::string>& lines, const std::string& settings,
                 const std::optional<std::string>& inMap) {
        ++m_found;
        const std::string add = inMap ? "in the map as " + *inMap : addLine(kind, settings);
        if (m_tab) {
            std::printf("%s\t%s\t%s\t%s\n", kind.c_str(), where.c_str(), how.c_str(), add.c_str());
            return;
        }
        std::printf("  %s: %s\n", where.c_str(), how.c_str());
        for (const std::string& l : lines) std::printf("    %s\n", l.c_str());
        std::printf("    %s\n", add.c_str());
    }

    template <class Match>
    std::optional<std::string> inMap(Match match) const {
        for (const auto& b : m_map)
            if (match(b))
                return b.name;
        return std::nullopt;
    }

    int found() const { return m_found; }

  private:
    std::string addLine(const std::string& kind, const std::string& settings) {
        if (kind.empty())
            return "(not a board kind tm-boards knows)";
        int n = 0;
        auto taken = [&](int i) {
            for (const auto& b : m_map)
                if (b.index == i)
                    return true;
            for (int t : m_given)
                if (t == i)
                    return true;
            return false;
        };
        while (n < 16 && taken(n)) ++n;
        if (n == 16)
            return "(the map has no free board number: remove one first)";
        m_given.push_back(n);
        return "tm-boards add GPIB" + std::to_string(n) + " " + kind + " " + settings;
    }

    bool m_tab;
    std::vector<bundled::MapBoard> m_map;
    std::vector<int> m_given;
    int m_found = 0;
};

void serial(const FindOptions& o, Report& r) {
    SerialSearch s = findSerialAdapters(o.probe, std::max(o.timeoutMs, kMinProbeMs));
    r.heading("Serial adapters in " + s.folder + ":");
    for (const SerialCandidate& c : s.found) {
        std::string how = o.tab ? "name:" + lower(c.chip) : "by its name, " + c.chip;
        std::vector<std::string> lines;
        if (c.probed) {
            how += o.tab ? (c.problem.empty() ? ",++ver" : ",silent")
                         : (c.problem.empty() ? ", answers ++ver" : ", does not answer ++ver");
            lines.push_back(c.problem.empty() ? "++ver: " + c.version : c.problem);
        } else if (c.chip != "Prologix") {
            lines.push_back(
                "most likely an AR488, which is built on such a chip (--probe asks it)");
        }
        r.finding(c.kind, c.path, how, lines, "port=" + shellWord(c.path),
                  r.inMap([&](const bundled::MapBoard& b) { return b.port == c.path; }));
    }
    if (s.found.empty())
        r.note("none");
    if (s.others)
        r.note(std::to_string(s.others) + " other serial device(s), whose names say no adapter");
}

void gateways(const FindOptions& o, Report& r) {
    GatewayQuestion q{o.hosts, o.broadcast, o.dnsSd, o.portmapperPort, o.timeoutMs};
    std::string ways = !o.hosts.empty()         ? "asked by host"
                       : o.broadcast && o.dnsSd ? "broadcast and DNS-SD"
                       : o.broadcast            ? "broadcast"
                       : o.dnsSd                ? "DNS-SD"
                                                : "not looked for";
    r.heading("VXI-11 gateways (" + ways + ", " + std::to_string(o.timeoutMs) + " ms):");
    GatewayFinding f = findGateways(q);
    for (const FoundGateway& g : f.gateways) {
        // "by broadcast and DNS-SD; interfaces by making links", or for
        // scripts "broadcast,dns-sd".
        std::string how, tabHow;
        for (const std::string& h : g.how) {
            how += (how.empty() ? "" : " and ") + (h == "host" ? "asked by name" : "by " + h);
            tabHow += (tabHow.empty() ? "" : ",") + lower(h);
        }
        if (!g.interfacesHow.empty())
            how += "; interfaces " + g.interfacesHow;
        std::vector<std::string> lines;
        if (!g.name.empty())
            lines.push_back("announced as \"" + g.name + "\"");
        if (!g.identity.empty())
            lines.push_back("*IDN? " + g.identity);
        if (!g.problem.empty())
            lines.push_back("its interfaces: " + g.problem);
        // A board asks the portmapper on 111; elsewhere it needs the core port.
        const std::string port =
            g.portmapperPort == 111 ? "" : " core_port=" + std::to_string(g.corePort);
        for (const std::string& i : g.interfaces) {
            r.finding("vxi11", g.host + "," + i, o.tab ? tabHow : how, lines,
                      "host=" + shellWord(g.host) + " interface=" + i + port,
                      r.inMap([&](const bundled::MapBoard& b) {
                          return b.kind == "vxi11" && b.host == g.host && b.interfaceName == i;
                      }));
            lines.clear();
        }
        if (g.interfaces.empty())
            r.note(g.host + ": a VXI-11 server " + how + " without a GPIB interface" +
                   (lines.empty() ? "" : " (" + lines.back() + ")"));
    }
    if (f.gateways.empty())
        r.note("none answered");
    for (const std::string& n : f.notes) r.note(n);
}

void libraries(const FindOptions& o, Report& r) {
    r.heading("Platform GPIB libraries:");
    LibrarySearch s = findLibraryBoards(o.libraryNames);
    for (const LibraryBoardFound& b : s.boards) {
        const std::string board = std::to_string(b.board);
        std::string how =
            o.tab ? lower(b.family)
                  : b.path + ", " + b.family + " family" +
                        (b.pad >= 0 ? ", its own address " + std::to_string(b.pad) : "");
        r.finding("library", b.library + " board " + board, how, {},
                  "board=" + board + " library=" + shellWord(b.library),
                  r.inMap([&](const bundled::MapBoard& m) {
                      return m.kind == "library" && m.platformBoard == board &&
                             (m.library == b.library || m.library.empty());
                  }));
    }
    // Libraries that are not there make one line, not one each.
    std::string missing;
    for (const std::string& n : s.notes) {
        const std::string tail = " not found";
        if (n.size() > tail.size() && n.compare(n.size() - tail.size(), tail.size(), tail) == 0)
            missing += (missing.empty() ? "" : ", ") + n.substr(0, n.size() - tail.size());
        else
            r.note(n);
    }
    if (!missing.empty())
        r.note("not installed: " + missing);
}

}  // namespace

std::string shellWord(const std::string& s) {
    bool plain = !s.empty();
    for (unsigned char c : s)
        if (!(std::isalnum(c) || std::string_view("@%_+=:,./-").find(char(c)) != std::string::npos))
            plain = false;
    if (plain)
        return s;
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

int runFind(const FindOptions& o) {
    Report report(o);
    if (o.serial)
        serial(o, report);
    if (o.gateways)
        gateways(o, report);
    if (o.libraries)
        libraries(o, report);
    std::fflush(stdout);
    return report.found() ? 0 : 1;
}

}  // namespace boards
