// A board an installed platform library serves, shared by the gateway: a
// network client's calls reach the library as the window's do, and the
// library's answers and failures reach the client as a gateway's. The
// gateway runs in the test's own process here, so that the test scripts the
// very copy of the fake platform library the board loaded.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "bundled/configuration.h"
#include "fake_platform.h"
#include "gateway/gateway_server.h"
#include "gateway/gateway_service.h"
#include "raw_client.h"

namespace {

using fakeplatform::Outcome;
using gwtest::RawClient;
using Lines = std::vector<std::string>;

class InProcessGateway {
  public:
    explicit InProcessGateway(const std::string& map) {
        m_config = bundled::boardMapConfiguration(map, true);
        if (!m_config.driver) {
            m_problem = m_config.description;
            return;
        }
        std::vector<gateway::BoardEntry> boards;
        for (int i = 0; i <= 15; ++i)
            if (gpibdrv::Board* b = m_config.driver->board(i))
                boards.push_back({i, m_config.driver->setup(i)->name, b, 0});
        m_core = std::make_unique<gateway::GatewayCore>(std::move(boards), gateway::CoreSettings{});
        gateway::ServerSettings settings;
        settings.portmapper = gateway::PortmapperUse::Off;
        m_server = std::make_unique<gateway::GatewayServer>(settings);
        if (pipe(m_stop) != 0 || !m_server->bind(m_problem))
            return;
        m_core->openBoards();
        m_service = std::make_unique<gateway::GatewayService>(*m_core, m_server->ports(),
                                                              256 * 1024, gateway::Fault::None, 0);
        m_runner = std::thread([this] { m_server->run(*m_service, *m_core, m_stop[0], false); });
    }
    ~InProcessGateway() {
        if (m_runner.joinable()) {
            [[maybe_unused]] ssize_t n = ::write(m_stop[1], "x", 1);
            m_runner.join();
            m_core->stop();
            m_server->shutDown();
        }
        for (int fd : m_stop)
            if (fd >= 0)
                ::close(fd);
    }
    bool running() const { return m_runner.joinable(); }
    const std::string& problem() const { return m_problem; }
    int corePort() const { return m_server->ports().core; }

  private:
    bundled::Configuration m_config;
    std::unique_ptr<gateway::GatewayCore> m_core;
    std::unique_ptr<gateway::GatewayServer> m_server;
    std::unique_ptr<gateway::GatewayService> m_service;
    std::thread m_runner;
    int m_stop[2] = {-1, -1};
    std::string m_problem;
};

struct GatewayLibraryTest : testing::Test {
    void SetUp() override {
        ASSERT_TRUE(fake.loaded());
        fake.reset();
        dir = std::filesystem::temp_directory_path() /
              ("tm-gateway-library-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir);
        map = (dir / "boards.yaml").string();
        std::ofstream(map) << "boards:\n"
                              "  GPIB0: {kind: library, library: " FAKE_PLATFORM_LIBRARY
                              ", board: 0}\n"
                              "  GPIB1: {kind: simulated}\n";
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    fakeplatform::Control fake{FAKE_PLATFORM_LIBRARY};
    std::filesystem::path dir;
    std::string map;
};

TEST_F(GatewayLibraryTest, ANetworkClientReachesThePlatformBoard) {
    InProcessGateway gateway(map);
    ASSERT_TRUE(gateway.running()) << gateway.problem();
    RawClient c(gateway.corePort());
    int32_t meter = 0;
    ASSERT_EQ(c.createLink("gpib0,9", meter), 0);
    fake.reset();  // what opening the board asked is the library kind's own test's

    // A query: the write, then a read to the termination byte, which the
    // library ends with END: the reason is CHR (whether EOI came with that
    // byte the library does not say).
    fake.push("ibrd", {.ibsta = GPIB_CMPL | GPIB_END, .data = "PLATFORM,METER,1\n"});
    EXPECT_EQ(c.write(meter, "*IDN?\n"), 0);
    EXPECT_EQ(c.read(meter, 256, 2000, '\n'), "2:PLATFORM,METER,1\n");
    // Without a termination byte the same END is EOI.
    fake.push("ibrd", {.ibsta = GPIB_CMPL | GPIB_END, .data = "1.5"});
    EXPECT_EQ(c.read(meter, 256, 2000), "4:1.5");
    // The status byte, a trigger and a clear are the library's calls for that device.
    fake.push("ibrsp", {.value = 0x50});
    EXPECT_EQ(c.call(gwtest::kCore, gwtest::kReadStb,
                     [&](gateway::XdrWriter& w) {
                         w.i32(meter);
                         w.i32(0);
                         w.u32(0);
                         w.u32(2000);
                     })
                  .body.substr(4, 4),
              std::string("\0\0\0\x50", 4));
    EXPECT_EQ(c.generic(gwtest::kTrigger, meter), 0);
    EXPECT_EQ(c.generic(gwtest::kClear, meter), 0);
    const Lines calls = fake.calls();
    const Lines names = [&] {
        Lines n;
        for (const std::string& line : calls)
            if (line.rfind("ibtmo", 0) != 0 && line.rfind("ibeos", 0) != 0 &&
                line.rfind("ibdev", 0) != 0)
                n.push_back(line.substr(0, line.find('(')));
        return n;
    }();
    EXPECT_EQ(names, (Lines{"ibwrt", "ibrd", "ibrd", "ibrsp", "ibtrg", "ibclr"}))
        << ::testing::PrintToString(calls);

    // The library's failures are the gateway's errors: a timeout is 15, a
    // device nobody answers at is 3 (device not accessible).
    fake.push("ibrd", {.ibsta = GPIB_ERR | GPIB_TIMO, .iberr = GPIB_EABO, .waits = true});
    EXPECT_EQ(c.read(meter, 256, 300), "error 15");
    fake.push("ibwrt", {.ibsta = GPIB_ERR, .iberr = GPIB_ENOL, .count = 0});
    EXPECT_EQ(c.write(meter, "*IDN?\n"), 3);

    // The simulated board beside it serves on.
    int32_t dmm = 0;
    ASSERT_EQ(c.createLink("gpib1,3", dmm), 0);
    EXPECT_EQ(c.query(dmm, "*IDN?"), "4:SIMULATED BENCH,DMM-3,0004,1.0\n");
}

}  // namespace
