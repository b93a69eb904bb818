// The gateway's own portmapper as people diagnose with it: DUMP over TCP
// and UDP lists every mapping it serves, GETPORT finds the portmapper itself,
// rpcinfo -p reads it, and a flood of datagrams gets no more answers than
// its budget while another address is still answered.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <tuple>

#include "gateway_under_test.h"
#include "raw_client.h"

namespace {

using gwtest::RawClient;
using Entry =
    std::tuple<uint32_t, uint32_t, uint32_t, uint32_t>;  // program, version, protocol, port

constexpr uint32_t kPortmapper = 100000, kGetPort = 3, kDump = 4, kTcp = 6, kUdp = 17;

// A DUMP reply's list: each entry after a true, the end a false.
std::set<Entry> dumped(std::string_view body) {
    std::set<Entry> list;
    gateway::XdrReader x(body);
    for (uint32_t more = 0; x.u32(more) && more == 1;) {
        uint32_t p = 0, v = 0, t = 0, port = 0;
        if (!x.u32(p) || !x.u32(v) || !x.u32(t) || !x.u32(port))
            return {};
        list.insert({p, v, t, port});
    }
    return list;
}

// A datagram socket bound to a loopback address of its own.
struct Datagrams {
    explicit Datagrams(const char* from) : socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in me{};
        me.sin_family = AF_INET;
        inet_pton(AF_INET, from, &me.sin_addr);
        ::bind(socket.fd(), reinterpret_cast<sockaddr*>(&me), sizeof me);
    }
    void send(int port, uint32_t xid, uint32_t procedure) {
        std::string call;
        gateway::beginCall(call, xid, kPortmapper, 2, procedure);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(uint16_t(port));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::sendto(socket.fd(), call.data() + 4, call.size() - 4, 0, reinterpret_cast<sockaddr*>(&to),
                 sizeof to);
    }
    // The replies that come within ms; the body of the last one.
    int replies(int ms, std::string* last = nullptr) {
        int count = 0;
        char buffer[2048];
        while (net::waitFor(socket.fd(), POLLIN, net::monotonicUs() + int64_t(ms) * 1000) > 0) {
            const ssize_t n = ::recv(socket.fd(), buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 24 && last)
                last->assign(buffer + 24, size_t(n) - 24);  // after an accepted header
            count += n > 0;
        }
        return count;
    }
    net::Socket socket;
};

TEST(GatewayPortmapperTest, DumpListsEveryMappingAndGetportFindsThePortmapperItself) {
    GatewayProcess gateway(gwtest::gatewayUnderTest(), {"--instant", "--portmapper-port", "0"});
    ASSERT_TRUE(gateway.running()) << gateway.line();
    const uint32_t port = uint32_t(gateway.portmapperPort());
    RawClient c(gateway.corePort());
    int32_t lid = 0;
    uint32_t abortPort = 0;
    ASSERT_EQ(c.createLink("gpib0,9", lid, false, 0, &abortPort), 0);
    const std::set<Entry> expected = {{kPortmapper, 2, kTcp, port},
                                      {kPortmapper, 2, kUdp, port},
                                      {gwtest::kCore, 1, kTcp, uint32_t(gateway.corePort())},
                                      {gwtest::kAsync, 1, kTcp, abortPort}};
    RawClient mapper{int(port)};
    const gwtest::Reply r = mapper.call(
        kPortmapper, kDump, [](gateway::XdrWriter&) {}, 3000, 2);
    ASSERT_TRUE(r.came);
    EXPECT_EQ(r.accept, 0u);
    EXPECT_EQ(dumped(r.body), expected);
    Datagrams udp("127.0.0.1");
    udp.send(int(port), 7, kDump);
    std::string body;
    EXPECT_EQ(udp.replies(300, &body), 1);
    EXPECT_EQ(dumped(body), expected);
    for (uint32_t protocol : {kTcp, kUdp}) {
        const gwtest::Reply p = mapper.call(
            kPortmapper, kGetPort,
            [&](gateway::XdrWriter& w) {
                for (uint32_t v : {kPortmapper, 2u, protocol, 0u}) w.u32(v);
            },
            3000, 2);
        gateway::XdrReader x(p.body);
        uint32_t answer = 0;
        EXPECT_TRUE(x.u32(answer) && answer == port) << "protocol " << protocol << ": " << answer;
    }
    gateway.stop();
    EXPECT_TRUE(gateway.endedCleanly());
}

TEST(GatewayPortmapperTest, AFloodOfDatagramsGetsItsBudgetAndAnotherAddressIsAnswered) {
    GatewayProcess gateway(GATEWAY_EMULATOR, {"--instant", "--portmapper-port", "0"});
    ASSERT_TRUE(gateway.running()) << gateway.line();
    Datagrams flood("127.0.0.1"), other("127.0.0.2");
    for (uint32_t i = 0; i < 50; ++i) flood.send(gateway.portmapperPort(), i, 0);
    other.send(gateway.portmapperPort(), 99, 0);
    EXPECT_EQ(flood.replies(300), 20);  // a second's budget of one address
    EXPECT_EQ(other.replies(300), 1);
    const std::string log = gateway.stop();
    EXPECT_TRUE(gateway.endedCleanly()) << log;
    EXPECT_NE(log.find("beyond 20 a second from one address"), std::string::npos) << log;
}

TEST(GatewayPortmapperTest, RpcinfoListsTheCoreProgramWhenOurPortmapperServesPort111) {
    if (std::string(TM_RPCINFO).empty())
        GTEST_SKIP() << "no rpcinfo here (scripts/deps.sh takes it from Debian's rpcbind package)";
    GatewayProcess gateway(GATEWAY_EMULATOR, {"--instant", "--portmapper"});
    if (!gateway.running())
        GTEST_SKIP() << "port 111 cannot be had here: " << gateway.stop();
    FILE* p = popen(TM_RPCINFO " -p 127.0.0.1 2>&1", "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buffer[256];
    while (fgets(buffer, sizeof buffer, p)) out += buffer;
    EXPECT_EQ(pclose(p), 0) << out;
    // "    395183    1   tcp  40871": the core channel, whoever's portmapper maps it.
    bool listed = false;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string program, version, protocol, port;
        words >> program >> version >> protocol >> port;
        listed = listed || (program == "395183" && version == "1" && protocol == "tcp" &&
                            port == std::to_string(gateway.corePort()));
    }
    EXPECT_TRUE(listed) << out << gateway.line();
    gateway.stop();
    EXPECT_TRUE(gateway.endedCleanly());
}

}  // namespace
