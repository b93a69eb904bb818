// tm-boards find as a person runs it: serial adapters behind by-id names
// (the emulated adapters, and pseudo-terminals the test answers itself), and
// the emulated gateway on loopback, whose add line the window's own driver
// then opens.
#include <gtest/gtest.h>
#include <pty.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "adapters/emulator_process.h"
#include "boards/run_command.h"
#include "gateway_process.h"
#include "support/scratch_dir.h"
#include "vxi11/window_story.h"

namespace {

namespace fs = std::filesystem;

Ran find(std::vector<std::string> args, const std::vector<std::string>& env = {}) {
    args.insert(args.begin(), {TM_BOARDS, "find"});
    std::vector<std::string> environment{"GPIB_BOARDS",
                                         "XDG_CONFIG_HOME=" + testscratch::folder() + "/nohome"};
    environment.insert(environment.end(), env.begin(), env.end());
    return runCommand(args, environment, 30000);
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

// A pseudo-terminal the test plays the device of: what it is sent is kept,
// and it answers with reply (once, to the first bytes) or not at all.
class FakeDevice {
  public:
    explicit FakeDevice(std::string reply) {
        char name[256];
        if (openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0)
            return;
        m_path = name;
        m_thread = std::thread([this, reply] {
            bool answered = reply.empty();
            while (!m_stop) {
                pollfd p{m_master, POLLIN, 0};
                if (poll(&p, 1, 50) <= 0)
                    continue;
                char buffer[256];
                ssize_t n = read(m_master, buffer, sizeof buffer);
                if (n <= 0)
                    continue;
                m_heard.append(buffer, size_t(n));
                if (!answered)
                    answered = write(m_master, reply.data(), reply.size()) > 0;
            }
        });
    }
    ~FakeDevice() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        close(m_master);
        close(m_slave);
    }
    const std::string& path() const { return m_path; }
    std::string heard() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        return m_heard;
    }

  private:
    int m_master = -1, m_slave = -1;
    std::string m_path, m_heard;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

TEST(BoardsFind, SerialAdaptersAreKnownByTheirNamesAndAskedOnlyWhenProbed) {
    EmulatorProcess ar488{{"--flavour", "ar488", "--instant", "--count-lines"}};
    EmulatorProcess prologix{{"--flavour", "prologix", "--instant", "--count-lines"}};
    ASSERT_TRUE(ar488.started() && prologix.started());
    const fs::path byId = testscratch::folder() + "/by-id";
    fs::create_directories(byId);
    const std::string ch340 = (byId / "usb-1a86_USB2.0-Serial-if00-port0").string();
    const std::string ftdi = (byId / "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0").string();
    const std::string gone = (byId / "usb-Prologix_Prologix_GPIB-USB_Controller_PX1-if00").string();
    fs::create_symlink(ar488.where(), ch340);
    fs::create_symlink(prologix.where(), ftdi);
    fs::create_symlink("/nonexistent-tty", gone);
    fs::create_symlink("/dev/null", byId / "usb-Logitech_USB_Receiver-if02-event-mouse");
    // The map already has the CH340: its line says so, and the numbers skip GPIB0.
    const std::string map = testscratch::folder() + "/serial.yaml";
    std::ofstream(map) << "boards:\n  GPIB0: {kind: ar488, port: " << ch340 << "}\n";
    const std::vector<std::string> env{"GPIB_SERIAL_BY_ID=" + byId.string()};
    const std::vector<std::string> only{"--no-gateways", "--no-libraries", "--tab", "--boards",
                                        map};

    Ran r = find(only, env);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(
        lines(r.out),
        (std::vector<std::string>{
            "ar488\t" + ch340 + "\tname:ch340\tin the map as GPIB0",
            "ar488\t" + ftdi + "\tname:ftdi\ttm-boards add GPIB1 ar488 port=" + ftdi,
            "prologix\t" + gone + "\tname:prologix\ttm-boards add GPIB2 prologix port=" + gone,
        }));
    EXPECT_NE(r.err.find("1 other serial device(s)"), std::string::npos) << r.err;

    std::vector<std::string> probe = only;
    probe.push_back("--probe");
    r = find(probe, env);
    ASSERT_EQ(r.status, 0) << r.err;
    // The FTDI one answers as a Prologix: the answer decides the kind.
    EXPECT_EQ(
        lines(r.out),
        (std::vector<std::string>{
            "ar488\t" + ch340 + "\tname:ch340,++ver\tin the map as GPIB0",
            "prologix\t" + ftdi + "\tname:ftdi,++ver\ttm-boards add GPIB1 prologix port=" + ftdi,
            "prologix\t" + gone +
                "\tname:prologix,silent\ttm-boards add GPIB2 prologix port=" + gone,
        }));
    // Only the probe wrote to them, and only ++ver (the emulators count what
    // came in: the search before the probe sent nothing).
    EXPECT_EQ(ar488.stop(), "lines: ++ver 1\n");
    EXPECT_EQ(prologix.stop(), "lines: ++ver 1\n");
}

TEST(BoardsFind, ADeviceThatAnswersNonsenseOrNothingCostsTheProbeItsTimeAndNoMore) {
    FakeDevice endless(std::string(300, 'x'));
    FakeDevice silent("");
    FakeDevice stranger("\r\nHELLO \x01\xff modem\r\n");
    ASSERT_FALSE(endless.path().empty() || silent.path().empty() || stranger.path().empty());
    const fs::path byId = testscratch::folder() + "/hostile-by-id";
    fs::create_directories(byId);
    fs::create_symlink(endless.path(), byId / "usb-Arduino__www.arduino.cc__0043_1-if00");
    fs::create_symlink(silent.path(), byId / "usb-1a86_USB_Serial-if00-port0");
    fs::create_symlink(stranger.path(), byId / "usb-FTDI_Modem-if00-port0");
    Ran r = find({"--no-gateways", "--no-libraries", "--probe", "--timeout", "100"},
                 {"GPIB_SERIAL_BY_ID=" + byId.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    // All three are asked at once, each for the 2.5 s an Arduino's boot takes.
    EXPECT_LT(r.seconds, 6.0);
    EXPECT_NE(r.out.find("it answers more than 256 bytes without a line end"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("no answer to ++ver within 2500 ms"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("++ver: HELLO \\x01\\xFF modem\n    (not a board kind tm-boards knows)"),
              std::string::npos)
        << r.out;
    for (FakeDevice* d : {&endless, &silent, &stranger}) {
        std::string heard = d->heard();
        for (const char* ask : {"\n++ver\n", "++ver\n"})
            for (size_t at; (at = heard.find(ask)) != std::string::npos;)
                heard.erase(at, std::strlen(ask));
        EXPECT_EQ(heard, "") << "written to " << d->path() << " beside ++ver";
    }
}

TEST(BoardsFind, AGatewayOnLoopbackIsFoundAndTheWindowOpensTheBoardItsAddLineWrites) {
    GatewayProcess gateway(GATEWAY_EMULATOR, {"--instant", "--portmapper-port", "0"});
    ASSERT_TRUE(gateway.running() && gateway.portmapperPort() > 0) << gateway.line();
    const std::string map = testscratch::folder() + "/gateway/boards.yaml";
    Ran r = find({"--no-serial", "--no-libraries", "--tab", "--host", "127.0.0.1",
                  "--portmapper-port", std::to_string(gateway.portmapperPort()), "--boards", map});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string core = " core_port=" + std::to_string(gateway.corePort());
    // The built-in bench has two boards: the gateway's two interfaces.
    const std::vector<std::string> found = lines(r.out);
    ASSERT_EQ(found, (std::vector<std::string>{
                         "vxi11\t127.0.0.1,gpib0\thost\ttm-boards add GPIB0 vxi11 host=127.0.0.1 "
                         "interface=gpib0" +
                             core,
                         "vxi11\t127.0.0.1,gpib1\thost\ttm-boards add GPIB1 vxi11 host=127.0.0.1 "
                         "interface=gpib1" +
                             core,
                     }));

    // The person runs the add line as it is printed.
    std::vector<std::string> add{TM_BOARDS, "--boards", map};
    std::istringstream words(found[0].substr(found[0].rfind('\t') + 1 + std::strlen("tm-boards ")));
    for (std::string w; words >> w;) add.push_back(w);
    Ran added = runCommand(add);
    ASSERT_EQ(added.status, 0) << added.err;

    std::unique_ptr<DriverLibrary> library = DriverLibrary::Open(SIM_LIBRARY);
    ASSERT_TRUE(library->Loaded()) << library->Problem();
    auto reload = reinterpret_cast<GpibSimReload_fn>(library->Resolve({"GpibSimReload"}));
    ASSERT_NE(reload, nullptr);
    ASSERT_EQ(reload(""), 0);
    const windowstory::Story bench = windowstory::tellStory(*library);
    setenv("GPIB_BOARDS", map.c_str(), 1);
    const int loaded = reload(nullptr);
    unsetenv("GPIB_BOARDS");
    ASSERT_EQ(loaded, 0) << library->Description();
    const windowstory::Story onGateway = windowstory::tellStory(*library);
    reload("");
    EXPECT_NE(onGateway.title.find("GPIB0: VXI-11 gateway 127.0.0.1, interface gpib0, connected"),
              std::string::npos)
        << onGateway.title;
    EXPECT_EQ(onGateway.shown, bench.shown);
    EXPECT_EQ(bench.shown[2], "*IDN?: SIMULATED BENCH,DMM-9,0001,1.0 | ");
    gateway.stop();
    EXPECT_TRUE(gateway.endedCleanly());
}

TEST(BoardsFind, AGatewayThatSaysItIsOursListsItsInterfacesAndNoInstrumentIsTakenForOne) {
    struct Case {
        const char* inst0;
        std::vector<std::string> interfaces;
        const char* how;
        const char* identity;
    } cases[] = {
        // inst0 answers as a tm-gateway: its list is taken as it is.
        {"3",
         {"gpib0", "gpib2"},
         "interfaces as it lists them",
         "*IDN? Tarvel Morrow,tm-gateway,lab-pc,1.0.0"},
        // inst0 is an instrument: only its *IDN? is asked, the interfaces are
        // found by making links (the bench has one board).
        {"9", {"gpib0"}, "interfaces by making links", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.inst0);
        GatewayProcess gateway(GATEWAY_EMULATOR, {"--instant", "--portmapper-port", "0", "--bench",
                                                  GATEWAY_BENCH, "--inst0", c.inst0});
        ASSERT_TRUE(gateway.running()) << gateway.line();
        const std::vector<std::string> ask{
            "--no-serial", "--no-libraries",    "--host",
            "127.0.0.1",   "--portmapper-port", std::to_string(gateway.portmapperPort())};
        std::vector<std::string> tab = ask;
        tab.push_back("--tab");
        Ran r = find(tab);
        ASSERT_EQ(r.status, 0) << r.err;
        std::vector<std::string> where;
        for (const std::string& l : lines(r.out)) where.push_back(l.substr(0, l.find('\t', 6)));
        std::vector<std::string> expected;
        for (const std::string& i : c.interfaces) expected.push_back("vxi11\t127.0.0.1," + i);
        EXPECT_EQ(where, expected) << r.out;
        r = find(ask);
        EXPECT_NE(r.out.find(c.how), std::string::npos) << r.out;
        if (c.identity)
            EXPECT_NE(r.out.find(c.identity), std::string::npos) << r.out;
        else
            EXPECT_EQ(r.out.find("*IDN?"), std::string::npos) << r.out;
    }
}

}  // namespace
