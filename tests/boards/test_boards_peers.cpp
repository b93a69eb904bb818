// What tm-boards find believes of what answers it: portmapper replies from
// anyone on the network, gateways that stall or talk nonsense, interface
// lists of any shape, platform libraries with boards here and there, and
// an Avahi daemon that is not there. Every peer is played by the test on
// loopback; every wait must end by its deadline.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "boards/dns_sd_browse.h"
#include "boards/gateway_interfaces.h"
#include "boards/gateway_search.h"
#include "boards/library_search.h"
#include "boards/portmap_datagram.h"
#include "net/monotonic.h"
#include "support/fake_platform.h"

namespace {

using boards::PortReply;

std::string words(std::initializer_list<uint32_t> ws) {
    std::string s;
    for (uint32_t w : ws)
        for (int shift = 24; shift >= 0; shift -= 8) s += char((w >> shift) & 0xFF);
    return s;
}

PortReply decode(const std::string& d, uint32_t xid = 7) {
    return boards::readPortReply(reinterpret_cast<const uint8_t*>(d.data()), d.size(), xid);
}

TEST(PortmapperReply, OnlyAWholeAcceptedReplyToOurCallGivesAPort) {
    struct Row {
        const char* name;
        std::string datagram;
        PortReply::Verdict verdict;
        int port;
    } rows[] = {
        {"the port", words({7, 1, 0, 0, 0, 0, 1024}), PortReply::Port, 1024},
        {"a verifier skipped", words({7, 1, 0, 1, 8, 0xAAAAAAAA, 0xBBBBBBBB, 0, 111}),
         PortReply::Port, 111},
        {"no VXI-11 server there", words({7, 1, 0, 0, 0, 0, 0}), PortReply::NotRegistered, 0},
        {"another call's reply", words({8, 1, 0, 0, 0, 0, 1024}), PortReply::Other, 0},
        {"a call, not a reply", words({7, 0, 2, 100000, 2, 3}), PortReply::Garbage, 0},
        {"denied", words({7, 1, 1, 0, 2, 2}), PortReply::Refused, 0},
        {"program unavailable", words({7, 1, 0, 0, 0, 1}), PortReply::Refused, 0},
        {"a verifier longer than any", words({7, 1, 0, 0, 401, 0, 1024}), PortReply::Garbage, 0},
        {"a verifier longer than the datagram", words({7, 1, 0, 0, 0xFFFFFFF0, 0, 1}),
         PortReply::Garbage, 0},
        {"a port beyond 65535", words({7, 1, 0, 0, 0, 0, 70000}), PortReply::Garbage, 0},
        {"cut before the port", words({7, 1, 0, 0, 0, 0}), PortReply::Garbage, 0},
        {"three bytes", "\x00\x00\x07", PortReply::Garbage, 0},
        {"nothing", "", PortReply::Garbage, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        PortReply r = decode(row.datagram);
        EXPECT_EQ(r.verdict, row.verdict);
        EXPECT_EQ(r.port, row.port);
    }
    // The call itself: GETPORT of the core channel, TCP, with our xid.
    EXPECT_EQ(boards::getPortCall(9),
              words({9, 0, 2, 100000, 2, 3, 0, 0, 0, 0, 0x0607AF, 1, 6, 0}));
}

// A UDP peer on loopback that answers each datagram with what the test gives
// it (from the call's xid), or with nothing.
class UdpPeer {
  public:
    using Answer = std::function<std::vector<std::string>(uint32_t xid)>;
    explicit UdpPeer(Answer answer) {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof at;
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&at), len);
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&at), &len);
        m_port = ntohs(at.sin_port);
        m_thread = std::thread([this, answer] {
            while (!m_stop) {
                pollfd p{m_fd, POLLIN, 0};
                if (::poll(&p, 1, 50) <= 0)
                    continue;
                uint8_t buffer[512];
                sockaddr_in from{};
                socklen_t fromLen = sizeof from;
                ssize_t n = ::recvfrom(m_fd, buffer, sizeof buffer, 0,
                                       reinterpret_cast<sockaddr*>(&from), &fromLen);
                if (n < 4)
                    continue;
                ++m_calls;
                uint32_t xid =
                    uint32_t(buffer[0]) << 24 | buffer[1] << 16 | buffer[2] << 8 | buffer[3];
                for (const std::string& d : answer(xid))
                    ::sendto(m_fd, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&from),
                             fromLen);
            }
        });
    }
    ~UdpPeer() {
        m_stop = true;
        m_thread.join();
        ::close(m_fd);
    }
    int port() const { return m_port; }
    int calls() const { return m_calls; }

  private:
    int m_fd = -1, m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_calls{0};
    std::thread m_thread;
};

TEST(PortmapperSearch, TheOneGoodAnswerAmongNonsenseIsTakenWithinTheDeadline) {
    UdpPeer peer([](uint32_t xid) {
        return std::vector<std::string>{"\x01\x02\x03",
                                        words({xid + 1, 1, 0, 0, 0, 0, 9}),
                                        words({xid, 1, 0, 0, 0xFFFFFFFF, 0, 9}),
                                        words({xid, 1, 0, 0, 0, 0, 70000}),
                                        words({xid, 1, 0, 0, 0, 0, 4242}),
                                        words({xid, 1, 0, 0, 0, 0, 4343})};
    });
    const int64_t start = net::monotonicUs();
    boards::SearchResult r =
        boards::askPortmappers({{"127.0.0.1"}, false, peer.port(), start + 2000000});
    ASSERT_EQ(r.gateways.size(), 1u);
    EXPECT_EQ(r.gateways[0].address, "127.0.0.1");
    EXPECT_EQ(r.gateways[0].corePort, 4242) << "the first good answer, not the second";
    EXPECT_EQ(r.gateways[0].how, "host");
    // A named host that answered ends the wait at once.
    EXPECT_LT(net::monotonicUs() - start, 500000);
}

TEST(PortmapperSearch, ASilentHostCostsTheDeadlineAndIsNamedInANote) {
    UdpPeer peer([](uint32_t) { return std::vector<std::string>{}; });
    const int64_t start = net::monotonicUs();
    boards::SearchResult r =
        boards::askPortmappers({{"127.0.0.1"}, false, peer.port(), start + 600000});
    const int64_t took = net::monotonicUs() - start;
    EXPECT_TRUE(r.gateways.empty());
    EXPECT_GE(peer.calls(), 2) << "the datagram is sent again once";
    ASSERT_EQ(r.notes.size(), 1u);
    EXPECT_EQ(r.notes[0].rfind("127.0.0.1: portmapper at port " + std::to_string(peer.port()), 0),
              0u)
        << r.notes[0];
    EXPECT_LT(took, 900000);
}

// A TCP peer on loopback that takes connections and does one thing with each.
class TcpPeer {
  public:
    explicit TcpPeer(std::function<void(int)> onConnection) {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof at;
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&at), len);
        ::listen(m_fd, 4);
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&at), &len);
        m_port = ntohs(at.sin_port);
        m_thread = std::thread([this, onConnection] {
            while (!m_stop) {
                pollfd p{m_fd, POLLIN, 0};
                if (::poll(&p, 1, 50) <= 0)
                    continue;
                int c = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
                if (c < 0)
                    continue;
                onConnection(c);
                m_held.push_back(c);
            }
        });
    }
    ~TcpPeer() {
        m_stop = true;
        m_thread.join();
        for (int c : m_held) ::close(c);
        ::close(m_fd);
    }
    int port() const { return m_port; }

  private:
    int m_fd = -1, m_port = 0;
    std::vector<int> m_held;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

TEST(GatewayInterfaces, AGatewayThatStallsOrTalksNonsenseEndsAtTheDeadline) {
    struct Row {
        const char* name;
        std::function<void(int)> peer;
        const char* problem;
    } rows[] = {
        {"accepts and never answers", [](int) {}, "it stopped answering"},
        {"claims a record of 2 GiB", [](int c) { (void)!::write(c, "\x7f\xff\xff\xff", 4); },
         "it stopped answering"},
        {"hangs up", [](int c) { ::shutdown(c, SHUT_RDWR); }, "it stopped answering"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TcpPeer peer(row.peer);
        const int64_t start = net::monotonicUs();
        boards::GatewayInterfaces g =
            boards::askInterfaces("127.0.0.1", peer.port(), start + 700000);
        EXPECT_TRUE(g.names.empty());
        EXPECT_NE(g.problem.find(row.problem), std::string::npos) << g.problem;
        EXPECT_LT(net::monotonicUs() - start, 1500000);
    }
    const int64_t start = net::monotonicUs();
    boards::GatewayInterfaces none = boards::askInterfaces("127.0.0.1", 1, start + 700000);
    EXPECT_NE(none.problem.find("no connection to its core port 1"), std::string::npos);
}

TEST(GatewayInterfaces, AListIsBelievedOnlyInTheShapeOfInterfaceNames) {
    using V = std::vector<std::string>;
    EXPECT_EQ(boards::interfaceList("gpib0,gpib1\n"), (V{"gpib0", "gpib1"}));
    EXPECT_EQ(boards::interfaceList("\"GPIB0\", \"hpib\"\r\n"), (V{"gpib0", "hpib"}));
    EXPECT_EQ(boards::interfaceList("gpib0;gpib0 gpib12"), (V{"gpib0", "gpib12"}));
    EXPECT_EQ(boards::interfaceList("SIMULATED BENCH,DMM-9,0001,1.0"), V{});
    EXPECT_EQ(boards::interfaceList("-113,\"Undefined header\""), V{});
    EXPECT_EQ(boards::interfaceList("gpib123"), V{});
    std::string many;
    for (int i = 0; i < 17; ++i) many += "gpib" + std::to_string(i) + ",";
    EXPECT_EQ(boards::interfaceList(many), V{}) << "more than 16 is no list of ours";
}

TEST(LibrarySearch, TheBoardsThatAnswerAreFoundAndOurOwnDriverIsPassedBy) {
    fakeplatform::Control fake{FAKE_PLATFORM_LIBRARY};
    ASSERT_TRUE(fake.loaded());
    fake.reset();
    fake.setDefault("ibask", {.ibsta = GPIB_ERR, .iberr = GPIB_EDVR});
    fake.push("ibask", {.value = 0});  // board 0, at address 0
    fake.push("ibask", {.ibsta = GPIB_ERR, .iberr = GPIB_ENEB});
    fake.push("ibask", {.value = 7});  // board 2, at address 7
    boards::LibrarySearch s =
        boards::findLibraryBoards({FAKE_PLATFORM_LIBRARY, FAKE_PLATFORM_BARE_LIBRARY, SIM_LIBRARY});
    ASSERT_EQ(s.boards.size(), 2u);
    EXPECT_EQ(s.boards[0].board, 0);
    EXPECT_EQ(s.boards[0].pad, 0);
    EXPECT_EQ(s.boards[1].board, 2);
    EXPECT_EQ(s.boards[1].pad, 7);
    EXPECT_EQ(s.boards[1].family, "linux-gpib");
    // Only questions that put nothing on the bus were asked: one per index.
    std::vector<std::string> calls = fake.calls();
    EXPECT_EQ(calls.size(), 16u);
    for (const std::string& c : calls) EXPECT_EQ(c.rfind("ibask(", 0), 0u) << c;
    ASSERT_EQ(s.notes.size(), 2u);
    EXPECT_NE(s.notes[0].find("none of its boards 0-15 answers"), std::string::npos) << s.notes[0];
    EXPECT_NE(s.notes[1].find("is this program's own driver"), std::string::npos) << s.notes[1];
}

TEST(DnsSdBrowse, WithoutAnAvahiDaemonTheBrowseEndsAtOnceWithANote) {
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/tm-test-bus", 1);
    const int64_t start = net::monotonicUs();
    boards::BrowseResult r = boards::browseVxi11(start + 3000000);
    unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    EXPECT_TRUE(r.gateways.empty());
    EXPECT_EQ(r.note.rfind("DNS-SD not asked: no Avahi daemon answers", 0), 0u) << r.note;
    EXPECT_LT(net::monotonicUs() - start, 1000000);
}

}  // namespace
