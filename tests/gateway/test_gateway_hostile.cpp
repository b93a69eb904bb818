// The gateway facing clients that do what they should not, each played on
// loopback: another connection's link used and destroyed (while its read
// waits, too), writes far beyond the size the gateway announced, and
// messages that are no proper call. Every test ends with a well-behaved
// client served and the gateway ending cleanly, so a crash, a sanitizer
// finding or a stuck server fails it. Each failed against the emulated
// gateway these replaced (TM_GATEWAY_UNDER_TEST runs them against a build),
// the floods of idle connections, the slow record and the interface lock
// against the gateway before its connection policy.
#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "gateway_under_test.h"
#include "raw_client.h"

namespace {

using gwtest::RawClient;

int64_t msSince(int64_t startUs) {
    return (net::monotonicUs() - startUs) / 1000;
}

// A client that behaves, served as it should be.
void expectServed(int port) {
    RawClient c(port);
    int32_t lid = 0;
    ASSERT_EQ(c.createLink("gpib0,9", lid), 0);
    EXPECT_EQ(c.query(lid, "*IDN?"), "4:SIMULATED BENCH,DMM-9,0001,1.0\n");
    EXPECT_EQ(c.onLink(gwtest::kDestroyLink, lid), 0);
}

void expectCleanEnd(GatewayProcess& gateway) {
    const std::string log = gateway.stop();
    EXPECT_TRUE(gateway.endedCleanly()) << log;
}

TEST(GatewayHostileTest, AnotherConnectionsLinkIsNoLinkOfItsOwn) {
    GatewayProcess gateway(gwtest::gatewayUnderTest(), gwtest::options({"--instant"}));
    ASSERT_TRUE(gateway.running()) << gateway.line();
    RawClient owner(gateway.corePort()), other(gateway.corePort());
    int32_t lid = 0;
    ASSERT_EQ(owner.createLink("gpib0,9", lid), 0);
    EXPECT_EQ(other.write(lid, "*IDN?\n"), 4);
    EXPECT_EQ(other.read(lid), "error 4");
    EXPECT_EQ(other.generic(gwtest::kReadStb, lid), 4);
    EXPECT_EQ(other.generic(gwtest::kClear, lid), 4);
    EXPECT_EQ(other.lock(lid), 4);
    EXPECT_EQ(other.onLink(gwtest::kUnlock, lid), 4);
    EXPECT_EQ(other.onLink(gwtest::kDestroyLink, lid), 4);
    // The owner's link is untouched.
    EXPECT_EQ(owner.query(lid, "*IDN?"), "4:SIMULATED BENCH,DMM-9,0001,1.0\n");
    EXPECT_EQ(owner.onLink(gwtest::kDestroyLink, lid), 0);
    EXPECT_EQ(owner.onLink(gwtest::kDestroyLink, lid), 4);
    expectCleanEnd(gateway);
}

TEST(GatewayHostileTest, ALinkDestroyedFromElsewhereWhileItsReadWaitsHurtsNothing) {
    GatewayProcess gateway(gwtest::gatewayUnderTest(), gwtest::options({}));  // real bus time
    ASSERT_TRUE(gateway.running()) << gateway.line();
    RawClient owner(gateway.corePort()), other(gateway.corePort());
    int32_t lid = 0;
    ASSERT_EQ(owner.createLink("gpib0,9", lid), 0);
    // Nothing to say: the read waits for its device until its timeout.
    auto read = std::async(std::launch::async, [&] { return owner.read(lid, 256, 1500); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(other.onLink(gwtest::kDestroyLink, lid), 4);
    EXPECT_EQ(read.get(), "error 15");
    expectServed(gateway.corePort());
    expectCleanEnd(gateway);
}

TEST(GatewayHostileTest, ALinkWhoseClientGoesAwayDuringItsReadFreesTheBusAtOnce) {
    GatewayProcess gateway(gwtest::gatewayUnderTest(), gwtest::options({}));
    ASSERT_TRUE(gateway.running()) << gateway.line();
    {
        RawClient gone(gateway.corePort());
        int32_t lid = 0;
        ASSERT_EQ(gone.createLink("gpib0,9", lid), 0);
        std::string call;
        gateway::beginCall(call, 1, gwtest::kCore, 1, gwtest::kRead);
        gateway::XdrWriter w(call);
        for (uint32_t v : {uint32_t(lid), 256u, 10000u, 0u, 0u, 0u}) w.u32(v);
        gateway::finishReply(call);
        ASSERT_TRUE(gone.send(call));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }  // closed while its read waits 10 s on the bus of board 0
    const int64_t start = net::monotonicUs();
    expectServed(gateway.corePort());
    EXPECT_LT(msSince(start), 1000);
    expectCleanEnd(gateway);
}

TEST(GatewayHostileTest, WritesBeyondTheAnnouncedSizeAreRefusedWholeAndStallNobody) {
    GatewayProcess gateway(gwtest::gatewayUnderTest(), gwtest::options({}));  // real bus time
    ASSERT_TRUE(gateway.running()) << gateway.line();
    RawClient big(gateway.corePort());
    int32_t lid = 0;
    uint32_t maxRecv = 0;
    ASSERT_EQ(big.createLink("gpib0,9", lid, false, 0, nullptr, &maxRecv), 0);
    EXPECT_EQ(maxRecv, 262144u);
    for (size_t mib : {1, 32}) {
        // A query first, then padding: taken, it would leave an answer.
        std::string data = "*IDN?\n" + std::string(mib << 20, ' ');
        uint32_t size = 99;
        const int64_t start = net::monotonicUs();
        EXPECT_EQ(big.write(lid, data, 2000, 8, &size, 10000), 5) << mib << " MiB";
        EXPECT_EQ(size, 0u);
        EXPECT_LT(msSince(start), 2000) << mib << " MiB";
        EXPECT_EQ(big.read(lid, 256, 200), "error 15") << "part of it was taken";
    }
    // 4 MiB with io_timeout 2 s, while another client asks its own device.
    auto write = std::async(std::launch::async, [&] {
        uint32_t size = 0;
        return big.write(lid, std::string(4 << 20, 'x'), 2000, 8, &size, 10000);
    });
    RawClient polite(gateway.corePort());
    int32_t psu = 0;
    ASSERT_EQ(polite.createLink("gpib0,5,1", psu), 0);
    const int64_t start = net::monotonicUs();
    EXPECT_EQ(polite.query(psu, "*IDN?", 1000), "4:SIMULATED BENCH,PSU-5,0002,1.0\n");
    EXPECT_LT(msSince(start), 1000);
    EXPECT_EQ(write.get(), 5);
    // Within the size, a write gets the bus time its io_timeout leaves:
    // 256 KiB is 0.26 s of bus time, 100 ms is not enough.
    uint32_t size = 0;
    const int64_t again = net::monotonicUs();
    EXPECT_EQ(big.write(lid, std::string(262144, ' '), 100, 8, &size), 15);
    EXPECT_LT(size, 262144u);
    EXPECT_LT(msSince(again), 1000);
    // What came of it waits in the device's input, as after a timeout on
    // any bus; a device clear empties it.
    EXPECT_EQ(big.generic(gwtest::kClear, lid), 0);
    expectServed(gateway.corePort());
    expectCleanEnd(gateway);
}

// Big-endian words as bytes.
std::string words(std::initializer_list<uint32_t> list) {
    std::string out;
    gateway::XdrWriter w(out);
    for (uint32_t v : list) w.u32(v);
    return out;
}
// A record of these bytes, one fragment.
std::string record(const std::string& body) {
    return words({0x80000000u | uint32_t(body.size())}) + body;
}
// A call header to DEVICE_CORE with null credentials, for procedure proc.
std::string header(uint32_t xid, uint32_t rpcVersion, uint32_t program, uint32_t version,
                   uint32_t proc) {
    return words({xid, 0, rpcVersion, program, version, proc, 0, 0, 0, 0});
}

TEST(GatewayHostileTest, CallsThatAreWrongGetTheAnswerOncRpcGives) {
    GatewayProcess gateway(gwtest::gatewayUnderTest(), gwtest::options({"--instant"}));
    ASSERT_TRUE(gateway.running()) << gateway.line();
    const struct {
        const char* what;
        std::string message;
        uint32_t status, accept, detail1, detail2;
    } rows[] = {
        {"RPC version 3", record(header(11, 3, gwtest::kCore, 1, 0)), 1, 0, 2, 2},
        {"credentials of 404 bytes",
         record(words({12, 0, 2, gwtest::kCore, 1, 0, 1, 404}) + std::string(404, 'c') +
                words({0, 0})),
         1, 1, 1, 0},
        {"a verifier of 404 bytes",
         record(words({13, 0, 2, gwtest::kCore, 1, 0, 0, 0, 1, 404}) + std::string(404, 'v')), 1, 1,
         3, 0},
        {"an unknown program", record(header(14, 2, 0x123456, 1, 0)), 0, 1, 0, 0},
        {"DEVICE_CORE version 2", record(header(15, 2, gwtest::kCore, 2, 0)), 0, 2, 1, 1},
        {"an unknown procedure", record(header(16, 2, gwtest::kCore, 1, 99)), 0, 3, 0, 0},
        {"create_link cut short", record(header(17, 2, gwtest::kCore, 1, 10) + words({7})), 0, 4, 0,
         0},
        {"a link name longer than any",
         record(header(18, 2, gwtest::kCore, 1, 10) + words({7, 0, 0, 100000})), 0, 4, 0, 0},
    };
    for (const auto& row : rows) {
        RawClient c(gateway.corePort());
        ASSERT_TRUE(c.send(row.message)) << row.what;
        gwtest::Reply r = c.reply();
        ASSERT_TRUE(r.came) << row.what;
        EXPECT_EQ(r.status, row.status) << row.what;
        EXPECT_EQ(r.accept, row.accept) << row.what;
        EXPECT_EQ(r.detail1, row.detail1) << row.what;
        EXPECT_EQ(r.detail2, row.detail2) << row.what;
        // The connection goes on: the next call on it is answered.
        int32_t lid = 0;
        EXPECT_EQ(c.createLink("gpib0,9", lid), 0) << row.what;
    }
    expectServed(gateway.corePort());
    expectCleanEnd(gateway);
}

TEST(GatewayHostileTest, WhatCannotBeAnsweredEndsTheConnectionAtOnce) {
    GatewayProcess gateway(gwtest::gatewayUnderTest(), gwtest::options({"--instant"}));
    ASSERT_TRUE(gateway.running()) << gateway.line();
    const struct {
        const char* what;
        std::string bytes;
    } rows[] = {
        {"a reply where a call belongs", record(words({21, 1, 0, 0, 0, 0}))},
        {"an empty record", words({0x80000000u})},
        {"a header cut short", record(words({22, 0}))},
        {"a call cut short in its credentials", record(words({23, 0, 2, gwtest::kCore, 1, 0, 0}))},
        {"a record longer than any", words({0xFFFFFFFFu}) + "xxxx"},
        {"fragments beyond the limit, unfinished", words({0x7F000000u}) + std::string(1024, 'x')},
    };
    for (const auto& row : rows) {
        // Nobody else connects meanwhile: the gateway must close it by itself.
        RawClient c(gateway.corePort());
        ASSERT_TRUE(c.send(row.bytes)) << row.what;
        EXPECT_TRUE(c.closedWithin(500)) << row.what;
    }
    expectServed(gateway.corePort());
    expectCleanEnd(gateway);
}

// Each port flooded with 64 idle connections from one address, as a client
// that wants everyone else locked out would: another address is served at
// once, the same address once an idle connection of its own may make room,
// and a link made before the flood is served throughout.
TEST(GatewayHostileTest, SixtyFourIdleConnectionsOnAnyPortLockNobodyOut) {
    GatewayProcess gateway(gwtest::gatewayUnderTest(), {"--instant", "--portmapper-port", "0"});
    ASSERT_TRUE(gateway.running()) << gateway.line();
    ASSERT_GT(gateway.portmapperPort(), 0) << gateway.line();
    RawClient holder(gateway.corePort());
    int32_t lid = 0;
    uint32_t abortPort = 0;
    ASSERT_EQ(holder.createLink("gpib0,9", lid, false, 0, &abortPort), 0);
    const struct {
        const char* what;
        int port;
        uint32_t program, version;
    } ports[] = {{"core", gateway.corePort(), gwtest::kCore, 1},
                 {"abort", int(abortPort), gwtest::kAsync, 1},
                 {"portmapper", gateway.portmapperPort(), 100000, 2}};
    for (const auto& p : ports) {
        std::vector<std::unique_ptr<RawClient>> flood;
        for (int i = 0; i < 64; ++i) flood.push_back(std::make_unique<RawClient>(p.port));
        int64_t start = net::monotonicUs();
        EXPECT_TRUE(gwtest::nullAnswered(p.port, "127.0.0.2", p.program, p.version)) << p.what;
        EXPECT_LT(msSince(start), 1000) << p.what;
        start = net::monotonicUs();
        bool served = false;
        while (!served && msSince(start) < 3000)
            served = gwtest::nullAnswered(p.port, "127.0.0.1", p.program, p.version, 500);
        EXPECT_TRUE(served) << p.what;
        EXPECT_EQ(holder.query(lid, "*IDN?"), "4:SIMULATED BENCH,DMM-9,0001,1.0\n") << p.what;
    }
    expectServed(gateway.corePort());
    expectCleanEnd(gateway);
}

TEST(GatewayHostileTest, ARecordFedByteByByteIsClosedTenSecondsAfterItsFirstByte) {
    GatewayProcess gateway(gwtest::gatewayUnderTest(), gwtest::options({"--instant"}));
    ASSERT_TRUE(gateway.running()) << gateway.line();
    std::string call;
    gateway::beginCall(call, 1, gwtest::kCore, 1, gwtest::kCreateLink);
    gateway::finishReply(call);  // of which no more than 14 bytes come, one at a time
    RawClient slow(gateway.corePort());
    const int64_t start = net::monotonicUs();
    bool closed = false;
    for (size_t i = 0; i < 14 && !closed; ++i) {  // a byte every 1.5 s, 21 s in all
        slow.send(call.substr(i, 1));
        closed = slow.closedWithin(1500);
    }
    EXPECT_TRUE(closed);
    EXPECT_GE(msSince(start), 9500);
    EXPECT_LT(msSince(start), 11500);
    expectServed(gateway.corePort());
    const std::string log = gateway.stop();
    EXPECT_TRUE(gateway.endedCleanly()) << log;
    // Logged once, with its reason.
    const std::string why = " closed: a record not whole within 10 s of its first byte\n";
    size_t times = 0;
    for (size_t at = log.find(why); at != std::string::npos; at = log.find(why, at + 1)) ++times;
    EXPECT_EQ(times, 1u) << log;
}

TEST(GatewayHostileTest, ALockOnTheInterfaceKeepsOtherLinksOffEveryDeviceOfItsBus) {
    GatewayProcess gateway(gwtest::gatewayUnderTest(), gwtest::options({"--instant"}));
    ASSERT_TRUE(gateway.running()) << gateway.line();
    RawClient holder(gateway.corePort()), other(gateway.corePort());
    int32_t bus = 0, dmm = 0, psu = 0, otherBus = 0, board1 = 0;
    ASSERT_EQ(holder.createLink("gpib0", bus), 0);
    ASSERT_EQ(other.createLink("gpib0,9", dmm), 0);
    ASSERT_EQ(other.createLink("gpib0,5,1", psu), 0);
    ASSERT_EQ(other.createLink("gpib0", otherBus), 0);
    ASSERT_EQ(other.createLink("gpib1", board1), 0);
    // Another link's lock on a device keeps the interface link out.
    ASSERT_EQ(other.lock(psu), 0);
    EXPECT_EQ(holder.lock(bus), 11);
    EXPECT_EQ(holder.generic(gwtest::kClear, bus), 11);  // DCL would reach the locked device
    EXPECT_EQ(other.onLink(gwtest::kUnlock, psu), 0);
    ASSERT_EQ(holder.lock(bus), 0);
    // The bus locked: no other link reaches a device of it, or locks one.
    EXPECT_EQ(other.write(dmm, "*IDN?\n"), 11);
    EXPECT_EQ(other.generic(gwtest::kReadStb, psu), 11);
    EXPECT_EQ(other.lock(dmm), 11);
    EXPECT_EQ(other.generic(gwtest::kClear, otherBus), 11);
    const int64_t start = net::monotonicUs();
    EXPECT_EQ(other.generic(gwtest::kTrigger, dmm, 1, 300), 11);  // WAITLOCK, 300 ms
    EXPECT_GE(msSince(start), 290);
    EXPECT_EQ(other.generic(gwtest::kClear, board1), 0);  // another bus is not locked
    EXPECT_EQ(holder.generic(gwtest::kClear, bus), 0);
    // A call that waits for the lock runs once it is released.
    auto waiter = std::async(std::launch::async,
                             [&] { return other.generic(gwtest::kReadStb, dmm, 1, 3000); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(holder.onLink(gwtest::kUnlock, bus), 0);
    EXPECT_EQ(waiter.get(), 0);
    expectServed(gateway.corePort());
    expectCleanEnd(gateway);
}

}  // namespace
