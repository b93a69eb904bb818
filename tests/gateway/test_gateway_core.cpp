// The server's core channel as clients use it, through the whole program on
// loopback: boards that work side by side, device_abort, device locks, the
// SRQ interrupt channel, many clients at once, and a client that stops
// reading its replies.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <future>
#include <thread>
#include <vector>

#include "adapters/emulator_process.h"
#include "gateway_under_test.h"
#include "raw_client.h"

namespace {

using gwtest::RawClient;

const std::string kTwoBoards = GATEWAY_BENCHES "/two_boards.yaml";

int64_t msSince(int64_t startUs) {
    return (net::monotonicUs() - startUs) / 1000;
}

// The bytes of one call, for sending without waiting for its reply.
std::string readCall(uint32_t xid, int32_t lid, uint32_t count, uint32_t ioMs) {
    std::string call;
    gateway::beginCall(call, xid, gwtest::kCore, 1, gwtest::kRead);
    gateway::XdrWriter w(call);
    for (uint32_t v : {uint32_t(lid), count, ioMs, 0u, 0u, 0u}) w.u32(v);
    gateway::finishReply(call);
    return call;
}

struct Served : GatewayProcess {
    explicit Served(std::vector<std::string> extra)
        : GatewayProcess(TM_GATEWAY, gwtest::options(std::move(extra))) {}
    ~Served() {
        const std::string log = stop();
        EXPECT_TRUE(endedCleanly()) << log;
    }
};

TEST(GatewayCoreTest, BoardsWorkSideBySideAndABusyBusCountsInTheTimeout) {
    Served gateway({"--bench", kTwoBoards});  // real bus time
    ASSERT_TRUE(gateway.running()) << gateway.line();
    RawClient waiting(gateway.corePort()), other(gateway.corePort()), late(gateway.corePort());
    int32_t quiet = 0, board1 = 0, meter = 0;
    ASSERT_EQ(waiting.createLink("gpib0,1", quiet), 0);
    ASSERT_EQ(other.createLink("gpib1,2", board1), 0);
    ASSERT_EQ(late.createLink("gpib0,9", meter), 0);
    // Board 0 is held by a read that waits 1.5 s for its device.
    ASSERT_TRUE(waiting.send(readCall(1, quiet, 64, 1500)));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    int64_t start = net::monotonicUs();
    EXPECT_EQ(other.write(board1, "DATA side\n"), 0);
    EXPECT_EQ(other.query(board1, "DATA?"), "4:side\n");
    EXPECT_LT(msSince(start), 300);  // board 1 did not wait for board 0
    start = net::monotonicUs();
    EXPECT_EQ(late.write(meter, "*IDN?\n", 300), 15);  // the bus stayed busy for 300 ms
    EXPECT_GE(msSince(start), 290);
    EXPECT_LT(msSince(start), 1000);
    gwtest::Reply r = waiting.reply();
    EXPECT_TRUE(r.came);
    EXPECT_EQ(RawClient::errorOf(r), 15);
    EXPECT_EQ(late.query(meter, "*IDN?"), "4:GATEWAY BENCH,METER,9,1.0\n");
}

TEST(GatewayCoreTest, AbortEndsAWaitingOperationWithin100Milliseconds) {
    Served gateway({"--bench", kTwoBoards});
    ASSERT_TRUE(gateway.running()) << gateway.line();
    RawClient first(gateway.corePort()), second(gateway.corePort());
    int32_t a = 0, b = 0;
    uint32_t abortPort = 0;
    ASSERT_EQ(first.createLink("gpib0,1", a, false, 0, &abortPort), 0);
    ASSERT_EQ(second.createLink("gpib0,2", b), 0);
    RawClient abort{static_cast<int>(abortPort)};
    ASSERT_TRUE(abort.up());
    EXPECT_EQ(abort.onLink(gwtest::kAbort, a, 3000, gwtest::kAsync), 0);  // nothing to abort
    // The first read waits for its device, the second for the bus.
    ASSERT_TRUE(first.send(readCall(1, a, 64, 5000)));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(second.send(readCall(1, b, 64, 5000)));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    for (auto [client, lid] : {std::pair{&second, b}, std::pair{&first, a}}) {
        // Another host may not abort it.
        RawClient stranger{static_cast<int>(abortPort), "127.0.0.2"};
        EXPECT_EQ(stranger.onLink(gwtest::kAbort, lid, 3000, gwtest::kAsync), 4);
        const int64_t start = net::monotonicUs();
        EXPECT_EQ(abort.onLink(gwtest::kAbort, lid, 3000, gwtest::kAsync), 0);
        gwtest::Reply r = client->reply();
        EXPECT_LT(msSince(start), 100) << "link " << lid;
        EXPECT_EQ(RawClient::errorOf(r), 23) << "link " << lid;
    }
    // Nothing of the abort stays behind: the next operations wait as long as they are told.
    int64_t start = net::monotonicUs();
    EXPECT_EQ(first.read(a, 64, 300), "error 15");
    EXPECT_GE(msSince(start), 290);
    EXPECT_EQ(second.query(b, "DATA?"), "4:none\n");
}

// The same through the other kinds that wait: a Prologix adapter (its wait
// is on its line) and another gateway (its wait is on its RPC call, which is
// given up; that gateway sees its client go and ends the read as well).
TEST(GatewayCoreTest, AbortEndsAWaitOnAnAdapterAndOnAnotherGateway) {
    EmulatorProcess adapter({"--flavour", "prologix", "--tcp", "0"});
    ASSERT_TRUE(adapter.started());
    Served far({"--bench", kTwoBoards});
    ASSERT_TRUE(far.running()) << far.line();
    const std::string map = scratchPath("abort.yaml");
    std::ofstream(map) << "boards:\n  GPIB0: {kind: prologix, host: 127.0.0.1, tcp_port: "
                       << adapter.where() << "}\n  GPIB1: {kind: vxi11, host: 127.0.0.1, "
                       << "interface: gpib0, core_port: " << far.corePort() << "}\n";
    Served near({"--boards", map});
    ASSERT_TRUE(near.running()) << near.line() << near.stop();
    for (const char* device : {"gpib0,20", "gpib1,1"}) {
        RawClient c(near.corePort());
        int32_t lid = 0;
        uint32_t abortPort = 0;
        ASSERT_EQ(c.createLink(device, lid, false, 0, &abortPort), 0) << device;
        RawClient abort{static_cast<int>(abortPort)};
        ASSERT_TRUE(c.send(readCall(1, lid, 64, 5000)));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const int64_t start = net::monotonicUs();
        EXPECT_EQ(abort.onLink(gwtest::kAbort, lid, 3000, gwtest::kAsync), 0) << device;
        gwtest::Reply r = c.reply();
        EXPECT_LT(msSince(start), 100) << device;
        EXPECT_EQ(RawClient::errorOf(r), 23) << device;
    }
    // Both boards serve on.
    RawClient c(near.corePort());
    int32_t meter = 0, keeper = 0;
    ASSERT_EQ(c.createLink("gpib0,9", meter), 0);
    EXPECT_EQ(c.query(meter, "*IDN?", 3000), "4:SIMULATED BENCH,DMM-9,0001,1.0\n");
    ASSERT_EQ(c.createLink("gpib1,1", keeper), 0);
    EXPECT_EQ(c.query(keeper, "*IDN?", 3000), "4:GATEWAY BENCH,KEEPER,1,1.0\n");
}

TEST(GatewayCoreTest, ALockKeepsOtherLinksOutUntilItIsReleased) {
    Served gateway({"--bench", "", "--instant"});  // the built-in bench
    ASSERT_TRUE(gateway.running()) << gateway.line();
    RawClient holder(gateway.corePort()), other(gateway.corePort());
    int32_t h = 0, o = 0, again = 0;
    ASSERT_EQ(holder.createLink("gpib0,9", h, true, 0), 0);  // made with its lock
    int64_t start = net::monotonicUs();
    EXPECT_EQ(other.createLink("gpib0,9", again, true, 200), 11);  // waited 200 ms for it
    EXPECT_GE(msSince(start), 190);
    ASSERT_EQ(other.createLink("gpib0,9", o), 0);
    EXPECT_EQ(other.write(o, "*IDN?\n"), 11);  // no WAITLOCK: refused at once
    EXPECT_EQ(other.lock(o), 11);
    EXPECT_EQ(other.onLink(gwtest::kUnlock, o), 12);
    // Another device is not locked.
    int32_t psu = 0;
    ASSERT_EQ(other.createLink("gpib0,5,1", psu), 0);
    EXPECT_EQ(other.query(psu, "*IDN?"), "4:SIMULATED BENCH,PSU-5,0002,1.0\n");
    // WAITLOCK waits; the holder lets go meanwhile.
    auto waiter = std::async(std::launch::async, [&] { return other.lock(o, 1, 3000); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(holder.query(h, "*IDN?"), "4:SIMULATED BENCH,DMM-9,0001,1.0\n");
    EXPECT_EQ(holder.onLink(gwtest::kUnlock, h), 0);
    EXPECT_EQ(waiter.get(), 0);
    EXPECT_EQ(holder.write(h, "*IDN?\n"), 11);  // now the other one holds it
    // The lock goes with its connection.
    other.close();
    start = net::monotonicUs();
    EXPECT_EQ(holder.lock(h, 1, 2000), 0);
    EXPECT_LT(msSince(start), 1000);
}

TEST(GatewayCoreTest, AServiceRequestReachesTheInterruptChannelWithTheHandle) {
    Served gateway({"--bench", "", "--instant"});  // the built-in bench
    ASSERT_TRUE(gateway.running()) << gateway.line();
    std::string why;
    net::Socket intr = net::listenOn("127.0.0.1", 0, SOCK_STREAM, why);
    ASSERT_TRUE(intr.valid()) << why;
    RawClient c(gateway.corePort());
    auto channel = [&](uint32_t port) {
        return RawClient::errorOf(c.call(gwtest::kCore, gwtest::kCreateIntrChan, [&](auto& w) {
            for (uint32_t v : {0x7F000001u, port, 0x0607B1u, 1u, 0u}) w.u32(v);
        }));
    };
    EXPECT_EQ(channel(uint32_t(net::localPort(intr.fd()))), 0);
    EXPECT_EQ(channel(uint32_t(net::localPort(intr.fd()))), 29);
    ASSERT_GT(net::waitFor(intr.fd(), POLLIN, net::monotonicUs() + 2'000'000), 0);
    net::Socket back(::accept4(intr.fd(), nullptr, nullptr, SOCK_CLOEXEC));
    int32_t counter = 0;
    ASSERT_EQ(c.createLink("gpib0,12", counter), 0);
    EXPECT_EQ(RawClient::errorOf(c.call(gwtest::kCore, gwtest::kEnableSrq,
                                        [&](auto& w) {
                                            w.i32(counter);
                                            w.boolean(true);
                                            w.opaque("counter-12");
                                        })),
              0);
    EXPECT_EQ(c.generic(gwtest::kTrigger, counter), 0);  // the counter asks for service
    // device_intr_srq: a call of DEVICE_INTR, procedure 30, with the handle.
    gateway::RecordAssembler records(4096, 4096);
    const int64_t deadline = net::monotonicUs() + 2'000'000;
    while (records.state() == gateway::RecordAssembler::State::Partial) {
        char buffer[512];
        size_t got = 0;
        int error = 0;
        ASSERT_EQ(net::readSome(back.fd(), buffer, sizeof buffer, deadline, got, error),
                  net::Io::Done);
        records.feed(buffer, got);
    }
    gateway::ParsedCall call = gateway::parseCall(records.record());
    ASSERT_EQ(call.verdict, gateway::ParsedCall::Verdict::Call);
    EXPECT_EQ(call.header.program, 0x0607B1u);
    EXPECT_EQ(call.header.procedure, 30u);
    gateway::XdrReader args(call.args);
    std::string_view handle;
    ASSERT_TRUE(args.opaque(handle));
    EXPECT_EQ(handle, "counter-12");
    EXPECT_EQ(RawClient::errorOf(c.call(gwtest::kCore, gwtest::kDestroyIntrChan, [](auto&) {})), 0);
    EXPECT_EQ(RawClient::errorOf(c.call(gwtest::kCore, gwtest::kDestroyIntrChan, [](auto&) {})), 6);
}

TEST(GatewayCoreTest, EightClientsAThousandQueriesEachNoneLostOrCrossed) {
    Served gateway({"--bench", kTwoBoards, "--instant"});
    ASSERT_TRUE(gateway.running()) << gateway.line();
    const char* devices[] = {"gpib0,1", "gpib0,2", "gpib0,3", "gpib0,4,2",
                             "gpib1,1", "gpib1,2", "gpib1,3", "gpib1,4,2"};
    std::atomic<int> wrong{0};
    std::vector<std::string> firstWrong(8);
    std::vector<std::thread> clients;
    for (int i = 0; i < 8; ++i)
        clients.emplace_back([&, i] {
            RawClient c(gateway.corePort());
            int32_t lid = 0;
            if (c.createLink(devices[i], lid) != 0) {
                ++wrong;
                return;
            }
            for (int q = 0; q < 1000; ++q) {
                const std::string tag = "c" + std::to_string(i) + "q" + std::to_string(q);
                const std::string answer =
                    c.write(lid, "DATA " + tag + "\n") == 0 ? c.query(lid, "DATA?") : "write";
                if (answer != "4:" + tag + "\n") {
                    if (wrong++ == 0 || firstWrong[size_t(i)].empty())
                        firstWrong[size_t(i)] = tag + " -> " + answer;
                }
            }
        });
    for (auto& t : clients) t.join();
    EXPECT_EQ(wrong.load(), 0);
    for (const std::string& w : firstWrong) EXPECT_EQ(w, "");
}

TEST(GatewayCoreTest, AClientThatStopsReadingItsRepliesStallsNobody) {
    Served gateway({"--bench", kTwoBoards, "--instant"});
    ASSERT_TRUE(gateway.running()) << gateway.line();
    // A small receive buffer, and far more answers asked for than it and the
    // server's socket hold, none of them read.
    RawClient greedy(gateway.corePort(), nullptr, 4096);
    int32_t lid = 0;
    ASSERT_EQ(greedy.createLink("gpib0,1", lid), 0);
    ASSERT_EQ(greedy.write(lid, "DATA " + std::string(2000, 'x') + "\n"), 0);
    std::string calls;
    for (uint32_t i = 0; i < 1000; ++i) {
        std::string write;
        gateway::beginCall(write, 100 + i, gwtest::kCore, 1, gwtest::kWrite);
        gateway::XdrWriter w(write);
        for (uint32_t v : {uint32_t(lid), 1000u, 0u, 8u}) w.u32(v);
        w.opaque("DATA?\n");
        gateway::finishReply(write);
        calls += write + readCall(2000 + i, lid, 4096, 1000);
    }
    ASSERT_TRUE(greedy.send(calls));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    RawClient polite(gateway.corePort());
    int32_t own = 0;
    ASSERT_EQ(polite.createLink("gpib0,2", own), 0);
    const int64_t start = net::monotonicUs();
    for (int q = 0; q < 20; ++q) EXPECT_EQ(polite.query(own, "DATA?"), "4:none\n");
    EXPECT_LT(msSince(start), 2000);
}

}  // namespace
