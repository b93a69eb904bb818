// tm-gateway facing a network: the clients it admits (its allow list, its
// connection policy) and what it logs of them, the system portmapper it
// registers with, the user it becomes when started as root, IPv6, and its
// command line.
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>

#include <atomic>
#include <fstream>
#include <memory>
#include <thread>

#include "adapters/emulator_process.h"
#include "gateway_under_test.h"
#include "raw_client.h"
#include "vxi11/rpc_client.h"

namespace {

using gwtest::RawClient;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(GatewayServerTest, OnlyAllowedNetworksAreServedAndOthersClosedUnread) {
    GatewayProcess gateway(GATEWAY_EMULATOR,
                           {"--no-portmapper", "--instant", "--allow", "127.0.0.2/32"});
    ASSERT_TRUE(gateway.running()) << gateway.line();
    RawClient stranger(gateway.corePort(), "127.0.0.1");
    stranger.send(std::string(40, '\0'));
    EXPECT_TRUE(stranger.closedWithin(500));
    RawClient friendly(gateway.corePort(), "127.0.0.2");
    int32_t lid = 0;
    ASSERT_EQ(friendly.createLink("gpib0,9", lid), 0);
    EXPECT_EQ(friendly.query(lid, "*IDN?"), "4:SIMULATED BENCH,DMM-9,0001,1.0\n");
    EXPECT_EQ(friendly.onLink(gwtest::kDestroyLink, lid), 0);
    friendly.close();
    const std::string log = gateway.stop();
    EXPECT_TRUE(gateway.endedCleanly()) << log;
    // One line each: the refusal, the client, its link made and destroyed.
    EXPECT_TRUE(contains(log, "refused 127.0.0.1:")) << log;
    EXPECT_TRUE(contains(log, "not in the allowed networks (127.0.0.2/32)")) << log;
    EXPECT_TRUE(contains(log, "from 127.0.0.2:")) << log;
    EXPECT_TRUE(contains(log, "\"gpib0,9\" to GPIB0 9")) << log;
    EXPECT_TRUE(contains(log, " destroyed\n")) << log;
    EXPECT_TRUE(contains(log, "to clients from 127.0.0.2/32")) << log;
}

TEST(GatewayServerTest, ConnectionsBeyondTheLimitAreRefused) {
    GatewayProcess gateway(GATEWAY_EMULATOR,
                           {"--no-portmapper", "--instant", "--max-connections", "3"});
    ASSERT_TRUE(gateway.running()) << gateway.line();
    std::vector<std::unique_ptr<RawClient>> clients;
    for (int i = 0; i < 3; ++i) {
        clients.push_back(std::make_unique<RawClient>(gateway.corePort()));
        int32_t lid = 0;
        EXPECT_EQ(clients.back()->createLink("gpib0,9", lid), 0) << i;
    }
    RawClient fourth(gateway.corePort());
    EXPECT_TRUE(fourth.closedWithin(500));
    clients.pop_back();  // one leaves: room for another
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    RawClient fifth(gateway.corePort());
    int32_t lid = 0;
    EXPECT_EQ(fifth.createLink("gpib0,9", lid), 0);
    clients.clear();
    fifth.close();
    const std::string log = gateway.stop();
    EXPECT_TRUE(gateway.endedCleanly()) << log;
    EXPECT_TRUE(contains(log, ": 3 connections already (--max-connections)")) << log;
}

TEST(GatewayServerTest, ConnectionsWithoutALinkAreClosedAfterTheIdleTimeAndLinksKeepTheirs) {
    GatewayProcess gateway(GATEWAY_EMULATOR, {"--instant", "--portmapper-port", "0",
                                              "--idle-timeout", "0.5", "--portmapper-idle", "0.5"});
    ASSERT_TRUE(gateway.running()) << gateway.line();
    RawClient linked(gateway.corePort()), idle(gateway.corePort());
    int32_t lid = 0;
    uint32_t abortPort = 0;
    ASSERT_EQ(linked.createLink("gpib0,9", lid, false, 0, &abortPort), 0);
    RawClient ownAbort{int(abortPort)}, strangerAbort{int(abortPort), "127.0.0.3"};
    RawClient mapper(gateway.portmapperPort());
    const int64_t start = net::monotonicUs();
    for (RawClient* c : {&idle, &strangerAbort, &mapper}) EXPECT_TRUE(c->closedWithin(1500));
    EXPECT_GE((net::monotonicUs() - start) / 1000, 400);
    EXPECT_EQ(linked.query(lid, "*IDN?"), "4:SIMULATED BENCH,DMM-9,0001,1.0\n");
    EXPECT_TRUE(ownAbort.call(gwtest::kAsync, 0, [](gateway::XdrWriter&) {}).came);
    // Without its link, the connection and its address's abort connection go too.
    EXPECT_EQ(linked.onLink(gwtest::kDestroyLink, lid), 0);
    EXPECT_TRUE(linked.closedWithin(1500));
    EXPECT_TRUE(ownAbort.closedWithin(1500));
    const std::string log = gateway.stop();
    EXPECT_TRUE(gateway.endedCleanly()) << log;
    EXPECT_TRUE(contains(log, "closed: idle for 0.5 s, holding no link\n")) << log;
    EXPECT_TRUE(contains(log, "closed: idle for 0.5 s, its address holding no link\n")) << log;
    EXPECT_TRUE(contains(log, "closed: idle for 0.5 s\n")) << log;
}

TEST(GatewayServerTest, AFullTableOrShareTakesTheRoomOfAQuietConnectionWithoutALink) {
    GatewayProcess gateway(GATEWAY_EMULATOR, {"--no-portmapper", "--instant", "--max-connections",
                                              "8", "--max-per-client", "4"});
    ASSERT_TRUE(gateway.running()) << gateway.line();
    const int port = gateway.corePort();
    std::vector<std::unique_ptr<RawClient>> linked, quiet;
    for (int i = 0; i < 4; ++i) {
        linked.push_back(std::make_unique<RawClient>(port, "127.0.0.5"));
        int32_t lid = 0;
        ASSERT_EQ(linked.back()->createLink("gpib0,9", lid), 0);
    }
    RawClient fifth(port, "127.0.0.5");  // its share is full, and every one holds a link
    EXPECT_TRUE(fifth.closedWithin(500));
    for (const char* from : {"127.0.0.1", "127.0.0.1", "127.0.0.1", "127.0.0.2"})
        quiet.push_back(std::make_unique<RawClient>(port, from));
    // The table full, and nobody quiet for a second yet: refused.
    EXPECT_FALSE(gwtest::nullAnswered(port, "127.0.0.4", gwtest::kCore, 1));
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    EXPECT_TRUE(gwtest::nullAnswered(port, "127.0.0.4", gwtest::kCore, 1));
    int closed = 0;
    for (int i = 0; i < 3; ++i) closed += quiet[size_t(i)]->closedWithin(200);
    EXPECT_EQ(closed, 1) << "one of 127.0.0.1, the address with the most that may go";
    EXPECT_FALSE(quiet[3]->closedWithin(200));
    for (auto& c : linked) EXPECT_TRUE(c->call(gwtest::kCore, 0, [](gateway::XdrWriter&) {}).came);
    linked.clear();
    quiet.clear();
    const std::string log = gateway.stop();
    EXPECT_TRUE(gateway.endedCleanly()) << log;
    EXPECT_TRUE(contains(log, ": 4 connections of 127.0.0.5 already, its share (--max-per-client)"))
        << log;
    EXPECT_TRUE(contains(log, ": 8 connections already (--max-connections)")) << log;
    EXPECT_TRUE(contains(log,
                         "closed: made room for 127.0.0.4 (the table is full, "
                         "--max-connections; 127.0.0.1 holds the most connections)"))
        << log;
}

// A system portmapper of the test's own on a free port: it maps whatever it
// is asked to and remembers each call.
class FakeRpcbind {
  public:
    FakeRpcbind() {
        std::string why;
        m_listener = net::listenOn("127.0.0.1", 0, SOCK_STREAM, why);
        port = net::localPort(m_listener.fd());
        m_thread = std::thread([this] { serve(); });
    }
    ~FakeRpcbind() {
        m_stop = true;
        m_thread.join();
    }
    std::vector<std::string> calls() {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_calls;
    }
    int port = 0;

  private:
    void serve() {
        while (!m_stop) {
            if (net::waitFor(m_listener.fd(), POLLIN, net::monotonicUs() + 50'000) <= 0)
                continue;
            net::Socket c(::accept4(m_listener.fd(), nullptr, nullptr, SOCK_CLOEXEC));
            gateway::RecordAssembler records(4096, 4096);
            char buffer[512];
            size_t got = 0;
            int error = 0;
            while (records.state() == gateway::RecordAssembler::State::Partial &&
                   net::readSome(c.fd(), buffer, sizeof buffer, net::monotonicUs() + 1'000'000, got,
                                 error) == net::Io::Done)
                records.feed(buffer, got);
            if (records.state() != gateway::RecordAssembler::State::Complete)
                continue;
            gateway::ParsedCall call = gateway::parseCall(records.record());
            gateway::XdrReader x(call.args);
            uint32_t prog = 0, vers = 0, prot = 0, mapped = 0;
            x.u32(prog);
            x.u32(vers);
            x.u32(prot);
            x.u32(mapped);
            {
                std::lock_guard<std::mutex> hold(m_lock);
                m_calls.push_back((call.header.procedure == 1 ? "SET " : "UNSET ") +
                                  std::to_string(prog) + " " + std::to_string(vers) + " " +
                                  std::to_string(prot) + " " + std::to_string(mapped));
            }
            std::string reply;
            gateway::beginReply(reply, call.header.xid, 0);
            gateway::XdrWriter(reply).u32(1);
            gateway::finishReply(reply);
            net::writeAll(c.fd(), reply.data(), reply.size(), net::monotonicUs() + 1'000'000,
                          error);
        }
    }
    net::Socket m_listener;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::mutex m_lock;
    std::vector<std::string> m_calls;
};

TEST(GatewayServerTest, ASystemPortmapperIsRegisteredWithAndForgottenAtExit) {
    FakeRpcbind rpcbind;
    GatewayProcess gateway(GATEWAY_EMULATOR, {"--instant", "--portmapper", "--portmapper-port",
                                              std::to_string(rpcbind.port)});
    ASSERT_TRUE(gateway.running()) << gateway.line();
    EXPECT_TRUE(contains(gateway.line(), "portmapper on 127.0.0.1:" + std::to_string(rpcbind.port) +
                                             " (the system's)"))
        << gateway.line();
    const std::string core = std::to_string(gateway.corePort());
    std::vector<std::string> calls = rpcbind.calls();
    ASSERT_GE(calls.size(), 1u);
    EXPECT_EQ(calls[0], "SET 395183 1 6 " + core);  // DEVICE_CORE, version 1, TCP
    gateway.stop();
    EXPECT_TRUE(gateway.endedCleanly());
    calls = rpcbind.calls();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "UNSET 395183 1 6 " + core), calls.end());
}

std::string statusLine(pid_t pid, const std::string& key) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(key + ":", 0) == 0)
            return line.substr(key.size() + 1);
    return "";
}

TEST(GatewayServerTest, StartedAsRootItBindsThenRunsAsTheUserWithTheSerialDevicesGroup) {
    if (geteuid() != 0)
        GTEST_SKIP() << "only root can show the privileges dropped (this runs as uid " << geteuid()
                     << ")";
    passwd* nobody = getpwnam("nobody");
    group* dialout = getgrnam("dialout");
    if (!nobody || !dialout)
        GTEST_SKIP() << "no user nobody or group dialout here";
    // An adapter on a pseudo-terminal that only its group may open, as a
    // USB serial device is (crw-rw---- root dialout).
    EmulatorProcess adapter(
        {"--flavour", "prologix", "--instant", "--link", scratchPath("privileges.tty")});
    ASSERT_TRUE(adapter.started());
    char real[256] = "";
    ASSERT_GT(::readlink(adapter.where().c_str(), real, sizeof real - 1), 0);
    ASSERT_EQ(::chown(real, 0, dialout->gr_gid), 0);
    ASSERT_EQ(::chmod(real, 0660), 0);
    // And one on a pseudo-terminal as it comes, which only root may read:
    // the boards open before the privileges go, so it serves as well.
    EmulatorProcess rootOnly(
        {"--flavour", "ar488", "--instant", "--link", scratchPath("root-only.tty")});
    ASSERT_TRUE(rootOnly.started());
    const std::string map = scratchPath("privileges.yaml");
    std::ofstream(map) << "boards:\n  GPIB0: {kind: prologix, port: " << adapter.where()
                       << "}\n  GPIB1: {kind: ar488, port: " << rootOnly.where() << "}\n";
    GatewayProcess gateway(TM_GATEWAY, {"--no-portmapper", "--boards", map, "--user", "nobody"});
    ASSERT_TRUE(gateway.running()) << gateway.line();
    EXPECT_EQ(statusLine(gateway.pid(), "Uid").substr(0, std::to_string(nobody->pw_uid).size() + 1),
              "\t" + std::to_string(nobody->pw_uid));
    EXPECT_TRUE(contains(statusLine(gateway.pid(), "Groups"), std::to_string(dialout->gr_gid)))
        << statusLine(gateway.pid(), "Groups");
    EXPECT_FALSE(contains(" " + statusLine(gateway.pid(), "Groups") + " ", " 0 "));
    RawClient c(gateway.corePort());
    int32_t lid = 0;
    ASSERT_EQ(c.createLink("gpib0,9", lid), 0);
    EXPECT_EQ(c.query(lid, "*IDN?"), "4:SIMULATED BENCH,DMM-9,0001,1.0\n");
    int32_t other = 0;
    ASSERT_EQ(c.createLink("gpib1,9", other), 0);
    EXPECT_EQ(c.query(other, "*IDN?"), "4:SIMULATED BENCH,DMM-9,0001,1.0\n");
    c.close();
    const std::string log = gateway.stop();
    EXPECT_TRUE(gateway.endedCleanly()) << log;
    EXPECT_TRUE(contains(log, "running as nobody")) << log;
    EXPECT_FALSE(contains(log, "cannot open")) << log;
    EXPECT_TRUE(contains(log, "GPIB0: Prologix GPIB-USB Controller version 6.107")) << log;
}

TEST(GatewayServerTest, AnIpv6AddressIsServedToo) {
    GatewayProcess gateway(GATEWAY_EMULATOR, {"--no-portmapper", "--instant", "--listen", "::1"});
    if (!gateway.running() && contains(gateway.stop(), "::1"))
        GTEST_SKIP() << "no IPv6 loopback here";
    ASSERT_TRUE(gateway.running()) << gateway.line();
    vxi11::RpcClient rpc;
    std::string why;
    ASSERT_TRUE(rpc.connect("::1", gateway.corePort(), 0x0607AF, 1,
                            vxi11::Clock::now() + std::chrono::seconds(2), why))
        << why;
    gateway.stop();
    EXPECT_TRUE(gateway.endedCleanly());
}

TEST(GatewayServerTest, ABadCommandLineExitsWithStatus2AndABadMapWith1) {
    const struct {
        const char* options;
        int status;
        const char* says;
    } rows[] = {
        {"--port x", 2, "--port: x is not a number it takes"},
        {"--allow 10.0.0.1/8", 2, "bits set beyond its prefix"},
        {"--allow lab", 2, "\"lab\" is not an address block"},
        {"--max-connections 0", 2, "--max-connections: 0 is not a number it takes"},
        {"--idle-timeout 0", 2, "--idle-timeout: 0 is not a time in seconds it takes (0.1 s to"},
        {"--record-timeout 1.2345", 2, "--record-timeout: 1.2345 is not a time in seconds"},
        {"--inst0 9", 2, "--inst0: 9 is no address (BOARD,PAD[,SAD])"},
        {"--http 70000", 2, "--http: 70000 is not a number it takes"},
        {"--bench x.yaml --boards y.yaml", 2, "--bench and --boards exclude each other"},
        {"--portmapper --no-portmapper", 2, "exclude each other"},
        {"--frobnicate", 2, "unknown option --frobnicate"},
        {"--boards /nonexistent.yaml", 1, "/nonexistent.yaml"},
        {"--bench \"\" --user no-such-user-here", 1, "no user \"no-such-user-here\""},
    };
    for (const auto& row : rows) {
        if (geteuid() != 0 && contains(row.options, "--user"))
            continue;  // the user is looked up only when there is root to drop
        const std::string command =
            std::string(TM_GATEWAY) + " --no-portmapper " + row.options + " 2>&1 </dev/null";
        FILE* p = popen(command.c_str(), "r");
        ASSERT_NE(p, nullptr);
        std::string out;
        char buffer[256];
        while (fgets(buffer, sizeof buffer, p)) out += buffer;
        const int status = pclose(p);
        EXPECT_EQ(WEXITSTATUS(status), row.status) << row.options << ": " << out;
        EXPECT_TRUE(contains(out, row.says)) << row.options << ": " << out;
    }
}

}  // namespace
