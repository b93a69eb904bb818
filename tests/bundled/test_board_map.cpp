// The board map: what a good map gives, where and why a bad one is refused,
// and the driver the bundled library builds from it.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "bundled/board_map.h"
#include "bundled/gpib_sim.h"
#include "gpib/driver_library.h"
#include "gpib/gpib32.h"

namespace {

using bundled::loadBoardMapText;

TEST(BoardMap, ReadsEveryKindAndItsSettings) {
    auto r = loadBoardMapText(R"(boards:
  GPIB0:
    kind: prologix
    port: /dev/ttyUSB0
    baud: 9600
    controller_address: 21
    secondaries: {5: [1, 1, 3], 7: [2]}
  gpib1: {kind: ar488, host: 192.0.2.7, tcp_port: 2000, reads: safe}
  GPIB2: {kind: vxi11, host: gw.example, interface: hpib, core_port: 1024}
  GPIB15: {kind: simulated, bench: benches/mine.yaml}
  GPIB4: {kind: library, board: violet, library: /opt/gpib/libgpib.so.0, controller_address: 3}
)",
                              "/home/op/.config/tarvel-morrow/boards.yaml");
    ASSERT_TRUE(r.map) << r.problem;
    const auto& b = r.map->boards;
    ASSERT_EQ(b.size(), 5u);
    EXPECT_EQ(b[0].index, 0);
    EXPECT_EQ(b[0].port, "/dev/ttyUSB0");
    EXPECT_EQ(b[0].baud, 9600);
    EXPECT_EQ(b[0].controllerAddress, 21);
    std::vector<gpibdrv::BusAddress> secondaries{{5, 1}, {5, 3}, {7, 2}};
    EXPECT_EQ(b[0].secondaries, secondaries);
    EXPECT_EQ(b[1].index, 1);
    EXPECT_EQ(b[1].name, "gpib1");
    EXPECT_EQ(b[1].tcpPort, 2000);
    EXPECT_EQ(b[0].reads, "probe");  // unless the map says otherwise
    EXPECT_EQ(b[1].reads, "safe");
    EXPECT_EQ(b[2].interfaceName, "hpib");
    EXPECT_EQ(b[2].corePort, 1024);
    EXPECT_EQ(b[3].index, 15);
    // A bench file is found beside the map.
    EXPECT_EQ(b[3].bench, "/home/op/.config/tarvel-morrow/benches/mine.yaml");
    EXPECT_EQ(b[4].platformBoard, "violet");
    EXPECT_EQ(b[4].library, "/opt/gpib/libgpib.so.0");
    EXPECT_EQ(b[4].controllerAddress, 3);
}

TEST(BoardMap, RefusesABadMapWithItsLineAndReason) {
    struct Row {
        const char* text;
        const char* refusal;
    };
    const Row rows[] = {
        {"", "board map m.yaml: the file is empty"},
        {"boards: {}\n", "board map m.yaml, line 1: the map lists no boards"},
        {"board:\n  GPIB0: {kind: simulated}\n",
         "line 1: unknown key \"board\" (only boards: and devices:)"},
        {"boards:\n  GPIB16: {kind: simulated}\n",
         "line 2: \"GPIB16\" is not a board name (GPIB0 to GPIB15)"},
        {"boards:\n  COM1: {kind: simulated}\n", "line 2: \"COM1\" is not a board name"},
        {"boards:\n  GPIB0: {port: /dev/x}\n",
         "line 2: the board GPIB0 names no kind (prologix, ar488, simulated, vxi11, library)"},
        {"boards:\n  GPIB0:\n    kind: gpib-usb\n", "line 3: unknown kind \"gpib-usb\""},
        {"boards:\n  GPIB0:\n    kind: prologix\n    prot: /dev/ttyUSB0\n",
         "line 4: a prologix board has no setting \"prot\""},
        {"boards:\n  GPIB0: {kind: prologix}\n",
         "line 2: the board GPIB0 needs either a port: (a serial device) or a host:"},
        {"boards:\n  GPIB0: {kind: ar488, port: /dev/a, host: h}\n", "needs either a port:"},
        {"boards:\n  GPIB0: {kind: prologix, host: h, baud: 9600}\n",
         "is a network adapter: baud: is for serial ones"},
        {"boards:\n  GPIB0: {kind: vxi11, core_port: 9}\n",
         "the board GPIB0 needs a host: (the gateway's name or address)"},
        {"boards:\n  GPIB0: {kind: prologix, port: /dev/a, controller_address: 31}\n",
         "line 2: controller_address must be from 0 to 30, not 31"},
        {"boards:\n  GPIB0:\n    kind: ar488\n    port: /dev/a\n    reads: quick\n",
         "line 5: reads: is probe, fast or safe, not \"quick\""},
        {"boards:\n  GPIB0: {kind: simulated, reads: fast}\n",
         "line 2: a simulated board has no setting \"reads\""},
        {"boards:\n  GPIB0: {kind: prologix, port: /dev/a, secondaries: {5: 1}}\n",
         "the secondaries of 5 must be a list"},
        {"boards:\n  GPIB0: {kind: prologix, port: /dev/a, secondaries: {5: [31]}}\n",
         "a secondary address must be from 0 to 30, not 31"},
        {"boards:\n  GPIB0: {kind: simulated}\n  gpib0: {kind: simulated}\n",
         "line 3: the board gpib0 is listed twice (line 2)"},
        {"boards:\n  GPIB0: {kind: library}\n",
         "line 2: the board GPIB0 needs a board: (the platform board's index, or its name"},
        {"boards:\n  GPIB0: {kind: library, board: 16}\n",
         "has a board: that is neither an index from 0 to 15 nor a name"},
        {"boards:\n  GPIB0: {kind: library, board: \"my board\"}\n",
         "with a blank, or a character that is not printable"},
        {"boards:\n  GPIB0: {kind: library, board: [0]}\n", "board must be a single value"},
        {"boards:\n  GPIB0: {kind: library, board: 0, library: lib/libgpib.so}\n",
         "names a library: by a relative path (\"lib/libgpib.so\"); give a bare name"},
        {"boards:\n  GPIB0: {kind: library, board: 0, port: /dev/ttyS0}\n",
         "line 2: a library board has no setting \"port\""},
        {"boards:\n  GPIB0: {kind: simulated, bench: [a, b]}\n",
         "bench must be a single value, not a list or mapping"},
        {"boards: [GPIB0]\n", "line 1: boards must be a mapping of keys to values"},
        {"boards:\n  GPIB0: {kind: simulated\n", "the YAML does not parse"},
        // A key given twice, in any mapping of the map.
        {"boards:\n  GPIB0:\n    kind: prologix\n    kind: simulated\n",
         "line 4: the key \"kind\" is given twice (first on line 3)"},
        {"boards:\n  GPIB0: {kind: prologix, port: /dev/a, port: /dev/b}\n",
         "line 2: the key \"port\" is given twice (first on line 2)"},
        {"boards:\n  GPIB0: {kind: simulated}\nboards:\n  GPIB1: {kind: simulated}\n",
         "line 3: the key \"boards\" is given twice (first on line 1)"},
        {"boards:\n  GPIB0:\n    kind: prologix\n    port: /dev/a\n    secondaries:\n      5: [1]\n"
         "      5: [2]\n",
         "line 7: the key \"5\" is given twice (first on line 6)"},
        {"boards:\n  GPIB0: {kind: simulated}\n  GPIB1: {kind: simulated}\n  GPIB0: {kind: "
         "vxi11}\n",
         "line 4: the key \"GPIB0\" is given twice (first on line 2)"},
    };
    for (const Row& row : rows) {
        auto r = loadBoardMapText(row.text, "m.yaml");
        EXPECT_FALSE(r.map) << row.text;
        EXPECT_NE(r.problem.find(row.refusal), std::string::npos)
            << row.text << "\n  gave: " << r.problem;
        EXPECT_EQ(r.problem.rfind("board map m.yaml", 0), 0u) << r.problem;
    }
}

// The bundled library as the program loads it, serving a map from a folder
// of the test's own (never the shared temporary folder's boards.yaml).
class MappedDriver : public testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = testing::TempDir() + "tm-board-map-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern + "/";
    }
    void TearDown() override {
        unsetenv("GPIB_BOARDS");
        reload();
        std::filesystem::remove_all(m_dir);
    }
    void serve(const std::string& map) {
        std::string path = m_dir + "boards.yaml";
        std::ofstream(path) << map;
        serveFile(path);
    }
    void serveFile(const std::string& path) {
        setenv("GPIB_BOARDS", path.c_str(), 1);
        reload();
    }
    void reload() {
        auto fn = reinterpret_cast<GpibSimReload_fn>(m_library->Resolve({"GpibSimReload"}));
        ASSERT_NE(fn, nullptr);
        fn(nullptr);
    }
    std::string m_dir;
    std::unique_ptr<DriverLibrary> m_library = DriverLibrary::Open(SIM_LIBRARY);
    GPIB32 m_gpib{*m_library};
};

TEST_F(MappedDriver, ServesTheBoardsOfTheMapOnly) {
    std::string bench = m_dir + "mapped-bench.yaml";
    std::ofstream(bench) << R"(devices:
  d:
    eom: {GPIB INSTR: {q: "\n", r: "\n"}}
    dialogues: [{q: "*IDN?", r: "MAPPED"}]
resources:
  GPIB0::4::INSTR: {device: d}
gpib:
  faults:
    - {call: ibfind, times: 1, iberr: ENEB}
)";
    serve(
        "boards:\n  GPIB3: {kind: simulated, bench: mapped-bench.yaml}\n"
        "  GPIB5: {kind: simulated}\n");
    // Only the mapped names open; GPIB0 is absent as a board that is not there.
    EXPECT_EQ(m_gpib.ibfind(u"GPIB0"), -1);
    EXPECT_EQ(m_gpib.iberr, GPIB_EDVR);
    // GPIB3 serves the bench's only board, and the bench's fault follows it.
    EXPECT_EQ(m_gpib.ibfind(u"GPIB3"), -1);
    EXPECT_EQ(m_gpib.iberr, GPIB_ENEB);
    EXPECT_NE(m_library->Description().find("; GPIB3: simulated bench, bench file " + bench),
              std::string::npos)
        << m_library->Description();
    // GPIB5 is the built-in bench's GPIB0, its multimeter at 9 answering.
    ASSERT_EQ(m_gpib.ibfind(u"GPIB5"), 5);
    m_gpib.SendIFC(5);
    Text q = u"*IDN?\n";
    m_gpib.Send(5, 9, q, GPIB_DABend);
    Text answer(60, u' ');
    m_gpib.Receive(5, 9, answer, GPIB_STOPend);
    EXPECT_EQ(m_gpib.ibsta & (GPIB_ERR | GPIB_END), GPIB_END);
    EXPECT_NE(ToUtf8(answer).find("DMM-9"), std::string::npos) << ToUtf8(answer);
    // The bench on GPIB3 answers too once its fault has fired.
    m_gpib.SendIFC(3);
    m_gpib.Send(3, 4, q, GPIB_DABend);
    m_gpib.Receive(3, 4, answer, GPIB_STOPend);
    EXPECT_EQ(ToUtf8(answer).substr(0, 7), "MAPPED\n");
}

TEST_F(MappedDriver, ABadMapFailsEveryCallAndSaysWhere) {
    serve("boards:\n  GPIB0:\n    kind: prologix\n    prot: /dev/ttyUSB0\n");
    EXPECT_EQ(m_gpib.ibfind(u"GPIB0"), -1);
    EXPECT_EQ(m_gpib.ibsta, int16_t(GPIB_ERR));
    EXPECT_EQ(m_gpib.iberr, GPIB_EDVR);
    EXPECT_NE(m_library->Description().find("line 4: a prologix board has no setting \"prot\""),
              std::string::npos)
        << m_library->Description();
}

TEST_F(MappedDriver, AFifoForAMapOrABenchIsRefusedAtOnce) {
    // Reading one would wait for a writer for ever.
    ASSERT_EQ(::mkfifo((m_dir + "fifo-map.yaml").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((m_dir + "fifo-bench.yaml").c_str(), 0600), 0);
    const auto start = std::chrono::steady_clock::now();
    serveFile(m_dir + "fifo-map.yaml");
    EXPECT_EQ(m_gpib.ibfind(u"GPIB0"), -1);
    EXPECT_EQ(m_gpib.iberr, GPIB_EDVR);
    EXPECT_NE(m_library->Description().find("board map " + m_dir +
                                            "fifo-map.yaml: is not a regular file (a FIFO)"),
              std::string::npos)
        << m_library->Description();
    serve("boards:\n  GPIB0: {kind: simulated, bench: fifo-bench.yaml}\n");
    EXPECT_EQ(m_gpib.ibfind(u"GPIB0"), -1);
    EXPECT_NE(m_library->Description().find(m_dir + "fifo-bench.yaml: is not a regular file"),
              std::string::npos)
        << m_library->Description();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

}  // namespace
