// The gateway kind against tm-gateway-emulator over loopback: each bus
// operation on the built-in bench, the error table through provoked gateway
// errors, and the faults (a dropped connection, no answer) bounded in time
// and followed by a working call.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "gateway_process.h"
#include "vxi11/error_table.h"
#include "vxi11/gateway_board.h"

namespace {

using gpibdrv::BusAddress;
using gpibdrv::EndMode;
using gpibdrv::kDone;
using Clock = std::chrono::steady_clock;

constexpr gpibdrv::Timeout kT1s{11};

struct Served {
    GatewayProcess emulator;
    std::unique_ptr<gpibdrv::Board> board;

    explicit Served(std::vector<std::string> options, bool viaPortmapper = false)
        : emulator(GATEWAY_EMULATOR, withDefaults(std::move(options), viaPortmapper)) {
        vxi11::GatewayOptions o;
        o.host = "127.0.0.1";
        o.corePort = viaPortmapper ? 0 : emulator.corePort();
        o.portmapperPort = emulator.portmapperPort();
        board = vxi11::makeGatewayBoard(o);
    }
    ~Served() {
        board.reset();
        emulator.stop();
        EXPECT_TRUE(emulator.endedCleanly()) << emulator.stop();
    }
    static std::vector<std::string> withDefaults(std::vector<std::string> o, bool portmapper) {
        o.push_back("--instant");
        if (portmapper)
            o.insert(o.end(), {"--portmapper", "--portmapper-port", "0"});
        else
            o.push_back("--no-portmapper");
        return o;
    }

    int send(BusAddress to, const std::string& text, EndMode end = EndMode::AppendLf) {
        long sent = 0;
        return board->send(to, text.data(), long(text.size()), end, kT1s, sent);
    }
    // The answer, or "error N" for the iberr of a failed receive.
    std::string receive(BusAddress from, long count = 200, int eos = -1, int* ended = nullptr) {
        std::string buffer(size_t(count), '\0');
        long got = 0;
        int e = 0;
        int err = board->receive(from, buffer.data(), count, eos, kT1s, got, e);
        if (ended)
            *ended = e;
        return err == kDone ? buffer.substr(0, size_t(got)) : "error " + std::to_string(err);
    }
};

TEST(GatewayBoardTest, BusOperationsReachTheServedBench) {
    Served s({});
    ASSERT_TRUE(s.emulator.running()) << s.emulator.line();
    std::string reason;
    ASSERT_EQ(s.board->open(reason), kDone) << reason;
    EXPECT_EQ(s.board->describe().rfind("VXI-11 gateway 127.0.0.1, interface gpib0, connected", 0),
              0u)
        << s.board->describe();

    int ended = 0;
    EXPECT_EQ(s.send({9, -1}, "*IDN?"), kDone);
    EXPECT_EQ(s.receive({9, -1}, 200, -1, &ended), "SIMULATED BENCH,DMM-9,0001,1.0\n");
    EXPECT_EQ(ended, gpibdrv::kEndEoi);
    // Secondary addresses have links of their own.
    EXPECT_EQ(s.send({5, 1}, "*IDN?"), kDone);
    EXPECT_EQ(s.receive({5, 1}), "SIMULATED BENCH,PSU-5,0002,1.0\n");
    // An answer longer than the count: the rest waits for the next read,
    // and only the read that ends the answer carries EOI.
    EXPECT_EQ(s.send({9, -1}, "*IDN?"), kDone);
    EXPECT_EQ(s.receive({9, -1}, 16, -1, &ended), "SIMULATED BENCH,");
    EXPECT_EQ(ended, gpibdrv::kEndCount);
    EXPECT_EQ(s.receive({9, -1}, 200, -1, &ended), "DMM-9,0001,1.0\n");
    EXPECT_EQ(ended, gpibdrv::kEndEoi);
    // The termination byte stops the read, and the reason says which ended it.
    EXPECT_EQ(s.send({9, -1}, "*IDN?"), kDone);
    EXPECT_EQ(s.receive({9, -1}, 200, ',', &ended), "SIMULATED BENCH,");
    EXPECT_EQ(ended, gpibdrv::kEndChar);
    EXPECT_EQ(s.board->clear(nullptr), kDone);  // DCL empties that output again
    EXPECT_EQ(s.receive({9, -1}), "error " + std::to_string(GPIB_EABO));

    // Nobody at 20: the gateway cannot reach a device there.
    EXPECT_EQ(s.send({20, -1}, "*IDN?"), GPIB_ENOL);

    // Trigger the counter at 12: it asks for service, a poll clears that.
    bool srq = true;
    EXPECT_EQ(s.board->srqLine(srq), kDone);
    EXPECT_FALSE(srq);
    const BusAddress counter{12, -1};
    EXPECT_EQ(s.board->trigger(&counter), kDone);
    EXPECT_EQ(s.board->srqLine(srq), kDone);
    EXPECT_TRUE(srq);
    uint8_t status = 0;
    EXPECT_EQ(s.board->serialPoll(counter, kT1s, status), kDone);
    EXPECT_EQ(status & 0x40, 0x40);
    EXPECT_EQ(s.board->srqLine(srq), kDone);
    EXPECT_FALSE(srq);

    EXPECT_EQ(s.board->interfaceClear(), kDone);
    EXPECT_EQ(s.board->remoteEnable(true), kDone);
    EXPECT_EQ(s.board->remoteEnable(false), kDone);
    EXPECT_EQ(s.board->setOwnAddress(3, 0), kDone);
    EXPECT_EQ(s.board->setOwnAddress(3, 0x61), GPIB_ECAP);
}

TEST(GatewayBoardTest, ListenerChecksReadNdacAfterAddressing) {
    Served s({});
    ASSERT_TRUE(s.emulator.running()) << s.emulator.line();
    struct Case {
        BusAddress at;
        bool listens;
    } cases[] = {{{9, -1}, true}, {{5, -1}, false}, {{5, 1}, true},
                 {{5, 2}, false}, {{7, 2}, true},   {{30, -1}, false}};
    for (const Case& c : cases) {
        bool yes = !c.listens;
        EXPECT_EQ(s.board->listens(c.at, yes), kDone);
        EXPECT_EQ(yes, c.listens) << c.at.pad << "," << c.at.sad;
    }
    std::vector<int> pads;
    for (int p = 1; p <= 30; ++p) pads.push_back(p);
    std::vector<BusAddress> found;
    EXPECT_EQ(s.board->findListeners(pads, 30, found), kDone);
    EXPECT_EQ(found, (std::vector<BusAddress>{{5, 1}, {7, 2}, {9, -1}, {12, -1}}));
    // It stops once more than asked for were found.
    found.clear();
    EXPECT_EQ(s.board->findListeners(pads, 1, found), kDone);
    EXPECT_EQ(found, (std::vector<BusAddress>{{5, 1}, {7, 2}}));
}

TEST(GatewayBoardTest, LongMessagesGoInPiecesWithEndOnTheLast) {
    // With END on an earlier piece the instrument would take "*I" as a
    // whole message and never answer the query.
    Served s({"--max-recv-size", "2"});
    ASSERT_TRUE(s.emulator.running()) << s.emulator.line();
    EXPECT_EQ(s.send({9, -1}, "*IDN?\n", EndMode::EoiOnLast), kDone);
    EXPECT_EQ(s.receive({9, -1}), "SIMULATED BENCH,DMM-9,0001,1.0\n");
    const std::string calls = s.emulator.stop();
    EXPECT_NE(calls.find("device_write 3,"), std::string::npos) << calls;
}

TEST(GatewayBoardTest, APortmapperLeadsToTheCoreChannel) {
    Served s({}, true);
    ASSERT_TRUE(s.emulator.running()) << s.emulator.line();
    ASSERT_GT(s.emulator.portmapperPort(), 0) << s.emulator.line();
    EXPECT_EQ(s.send({9, -1}, "*IDN?"), kDone);
    EXPECT_EQ(s.receive({9, -1}), "SIMULATED BENCH,DMM-9,0001,1.0\n");
    // One query, one write and one read: nothing else on the way.
    const std::string calls = s.emulator.stop();
    EXPECT_NE(calls.find("portmapper GETPORT 1, create_link 1, device_write 1, device_read 1"),
              std::string::npos)
        << calls;
}

TEST(GatewayBoardTest, GatewayErrorsMapThroughTheTable) {
    for (const vxi11::ErrorRow& row : vxi11::errorTable()) {
        if (row.code <= 0)
            continue;
        Served s({"--fault", "error-code", std::to_string(row.code)});
        ASSERT_TRUE(s.emulator.running()) << s.emulator.line();
        EXPECT_EQ(s.send({9, -1}, "*IDN?"), row.iberr) << row.code << " " << row.meaning;
        EXPECT_NE(s.board->describe().find(row.meaning), std::string::npos) << s.board->describe();
        // Only data transfer was refused: the bus still answers.
        uint8_t status = 0;
        EXPECT_EQ(s.board->serialPoll({9, -1}, kT1s, status), kDone) << row.code;
        if (row.relink) {
            const std::string calls = s.emulator.stop();
            EXPECT_NE(calls.find("device_write 2"), std::string::npos) << calls;
        }
    }
}

TEST(GatewayBoardTest, FaultsFailWithinTheTimeoutAndTheNextCallConnectsAgain) {
    struct Case {
        const char* fault;
        int iberr;
    } cases[] = {{"drop-mid-read", GPIB_ENEB}, {"never-answer", GPIB_EABO}};
    for (const Case& c : cases) {
        Served s({"--fault", c.fault});
        ASSERT_TRUE(s.emulator.running()) << s.emulator.line();
        uint8_t status = 0;
        ASSERT_EQ(s.board->serialPoll({9, -1}, kT1s, status), kDone);
        const auto start = Clock::now();
        EXPECT_EQ(s.receive({9, -1}), "error " + std::to_string(c.iberr)) << c.fault;
        const auto took = Clock::now() - start;
        EXPECT_LT(took, std::chrono::milliseconds(2500)) << c.fault;
        EXPECT_NE(s.board->describe().find("the next call connects again"), std::string::npos)
            << s.board->describe();
        EXPECT_EQ(s.board->serialPoll({9, -1}, kT1s, status), kDone) << c.fault;
        EXPECT_NE(s.board->describe().find("connected"), std::string::npos);
    }
}

TEST(GatewayBoardTest, AGatewayThatIsGoneFailsAtOnceWithTheReason) {
    Served s({});
    ASSERT_TRUE(s.emulator.running()) << s.emulator.line();
    std::string reason;
    ASSERT_EQ(s.board->open(reason), kDone);
    s.emulator.stop();
    const auto start = Clock::now();
    EXPECT_EQ(s.send({9, -1}, "*IDN?"), GPIB_ENEB);
    EXPECT_EQ(s.board->open(reason), GPIB_ENEB);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
    EXPECT_NE(reason.find("Connection refused"), std::string::npos) << reason;
}

}  // namespace
