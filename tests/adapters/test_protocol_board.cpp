// The Prologix and AR488 kinds against the emulated adapter, over a real
// pseudo-terminal and a real loopback TCP connection.
#include <algorithm>
#include <functional>

#include "adapters/adapter_fixture.h"

namespace {

using gpibdrv::BusAddress;
using gpibdrv::kDone;

constexpr BusAddress kMeter{9, -1}, kEcho{5, 1}, kPlain{7, -1}, kCounter{12, -1};
const std::string kLong = [] {
    std::string s;
    for (int i = 0; i < 30; ++i) s += (i < 10 ? "00" : "0") + std::to_string(i) + ",";
    return s + "END-OF-THE-LONG-ANSWER-XYZ\n";
}();

class ProtocolBoardTest : public AdapterTest {
  protected:
    void SetUp() override {
        start({"--count-lines"});
        ASSERT_EQ(open(), kDone) << board->describe();
    }
};

TEST_P(ProtocolBoardTest, NamesTheAdapterAndWhereItIsAndHowItReads) {
    const std::string where = GetParam().tcp ? "127.0.0.1:" + emulator->where() : options.port;
    // An AR488 shows with a harmless read from its own address whether it
    // takes host input while a read runs; a Prologix has no such read.
    const std::vector<std::string> variant = variantOptions();
    const bool endsOnInput = std::count(variant.begin(), variant.end(), "--read-ends-on-input") > 0;
    const std::string way = variantReads() == adapters::ReadWay::Fast ? "fast: set in the board map"
                            : variantReads() == adapters::ReadWay::Safe
                                ? "safe: set in the board map"
                            : !ar488()    ? "safe: no harmless test read"
                            : endsOnInput ? "safe: host input ended a test read"
                                          : "fast: host input waits for the read";
    EXPECT_EQ(board->describe(), (ar488() ? "AR488 GPIB controller, ver. 0.53.04, 13/04/2025"
                                          : "Prologix GPIB-USB Controller version 6.107") +
                                     std::string(" on ") + where + " (" + way + ")");
}

TEST_P(ProtocolBoardTest, AnswersPassEveryByteWithEndAtEoi) {
    bool end = false;
    EXPECT_EQ(query(kMeter, "*IDN?\n", 200, -1, &end), "ADAPTER BENCH,METER,1,1.0\n");
    EXPECT_TRUE(end);
    // CR, LF, ESC, '+', NUL and the adapter's mark byte (0xEA) inside.
    EXPECT_EQ(query(kMeter, "BIN?\n", 200, -1, &end), std::string("#213A\r\nB\x1b+C\0D\xea\x80\x80"
                                                                  "E\n",
                                                                  18));
    EXPECT_TRUE(end);
}

TEST_P(ProtocolBoardTest, EveryByteValueReachesTheInstrument) {
    std::string bytes;
    for (int c = 0; c < 256; ++c) bytes.push_back(char(c));
    bytes += "Z";  // a trailing CR or LF would be taken for a terminator
    long sent = 0;
    const std::string message = "DATA " + bytes;
    ASSERT_EQ(board->send(kEcho, message.data(), long(message.size()), gpibdrv::EndMode::EoiOnLast,
                          kThreeSeconds, sent),
              kDone);
    EXPECT_EQ(sent, long(message.size()));
    EXPECT_EQ(query(kEcho, "DATA?", 400), bytes + "\n");
}

TEST_P(ProtocolBoardTest, LongAnswerReadInTwoKeepsTheRestForItsAddress) {
    bool end = true;
    EXPECT_EQ(query(kMeter, "LONG?\n", 100, -1, &end), kLong.substr(0, 100));
    EXPECT_FALSE(end);
    // Another address in between sees nothing of it.
    EXPECT_EQ(query(kCounter, "ID\n"), "COUNTER\r\n");
    EXPECT_EQ(read(kMeter, 100, -1, &end), kLong.substr(100));
    EXPECT_TRUE(end);
}

TEST_P(ProtocolBoardTest, StopsAtTheTerminationByteAndEndIsExact) {
    bool end = false;
    EXPECT_EQ(query(kMeter, "LIST?\n", 100, ','), "1,");
    EXPECT_EQ(read(kMeter, 100, -1, &end), "2,3\n");
    EXPECT_TRUE(end);
    // A count that ends on the EOI byte sees END; one short of it does not.
    EXPECT_EQ(query(kMeter, "LIST?\n", 6, -1, &end), "1,2,3\n");
    EXPECT_TRUE(end);
    EXPECT_EQ(query(kMeter, "LIST?\n", 5, -1, &end), "1,2,3");
    EXPECT_FALSE(end);
    EXPECT_EQ(read(kMeter, 5, -1, &end), "\n");
    EXPECT_TRUE(end);
}

TEST_P(ProtocolBoardTest, AnswerWithoutEoiEndsAtTheTimeoutOrTheTerminationByte) {
    int result = kDone;
    bool end = true;
    auto start = std::chrono::steady_clock::now();
    long n = 0;
    board->send(kPlain, "*IDN?\n", 6, gpibdrv::EndMode::EoiOnLast, kOneSecond, n);
    EXPECT_EQ(read(kPlain, 100, -1, &end, &result, kOneSecond), "PLAIN,NO EOI\n");
    EXPECT_EQ(result, GPIB_EABO);
    EXPECT_GE(msSince(start), 1000);
    EXPECT_LT(msSince(start), 1600);
    EXPECT_EQ(query(kPlain, "*IDN?\n", 100, '\n', &end), "PLAIN,NO EOI\n");
    EXPECT_TRUE(end);
    EXPECT_EQ(query(kMeter, "*IDN?\n"), "ADAPTER BENCH,METER,1,1.0\n");
}

TEST_P(ProtocolBoardTest, SerialPollShowsServiceRequestedByATrigger) {
    bool srq = true;
    uint8_t status = 0xFF;
    ASSERT_EQ(board->srqLine(srq), kDone);
    EXPECT_FALSE(srq);
    ASSERT_EQ(board->trigger(&kCounter), kDone);
    ASSERT_EQ(board->srqLine(srq), kDone);
    EXPECT_TRUE(srq);
    ASSERT_EQ(board->serialPoll(kCounter, kOneSecond, status), kDone);
    EXPECT_EQ(status, 0x41);
    ASSERT_EQ(board->srqLine(srq), kDone);
    EXPECT_FALSE(srq);
    EXPECT_EQ(query(kCounter, "", 100), "TRIGGERED\r\n");
    // Nobody at 3: the poll fails as soon as the adapter gives up.
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(board->serialPoll({3, -1}, kThreeSeconds, status), GPIB_EABO);
    EXPECT_LT(msSince(start), 1000);
}

TEST_P(ProtocolBoardTest, ListenerSearchFindsPrimariesAndListedSecondaries) {
    std::vector<int> pads;
    for (int pad = 1; pad <= 30; ++pad) pads.push_back(pad);
    std::vector<BusAddress> found;
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(board->findListeners(pads, 31, found), kDone);
    EXPECT_LT(msSince(start), ar488() ? 500 : 2000);
    EXPECT_EQ(found, (std::vector<BusAddress>{kEcho, kPlain, kMeter, kCounter}));
    bool yes = false;
    ASSERT_EQ(board->listens(kEcho, yes), kDone);
    EXPECT_TRUE(yes);
    ASSERT_EQ(board->listens({5, -1}, yes), kDone);
    EXPECT_FALSE(yes);
    EXPECT_EQ(query(kMeter, "*IDN?\n"), "ADAPTER BENCH,METER,1,1.0\n");  // read timeout restored
}

// What each flavour can and cannot do: {prologix, ar488} results.
struct Capability {
    const char* what;
    std::function<int(gpibdrv::Board&)> call;
    int prologix, ar488;
};

TEST_P(ProtocolBoardTest, WhatAFlavourCannotDoFailsWithEcap) {
    const Capability rows[] = {
        {"IFC", [](gpibdrv::Board& b) { return b.interfaceClear(); }, kDone, kDone},
        {"REN on", [](gpibdrv::Board& b) { return b.remoteEnable(true); }, kDone, kDone},
        {"REN off", [](gpibdrv::Board& b) { return b.remoteEnable(false); }, GPIB_ECAP, kDone},
        {"DCL", [](gpibdrv::Board& b) { return b.clear(nullptr); }, GPIB_ECAP, kDone},
        {"SDC", [](gpibdrv::Board& b) { return b.clear(&kEcho); }, kDone, kDone},
        {"GET to a secondary", [](gpibdrv::Board& b) { return b.trigger(&kEcho); }, kDone,
         GPIB_ECAP},
        {"poll a secondary",
         [](gpibdrv::Board& b) {
             uint8_t s = 0;
             return b.serialPoll(kEcho, kOneSecond, s);
         },
         kDone, GPIB_ECAP},
        {"own address 0", [](gpibdrv::Board& b) { return b.setOwnAddress(0, 0); }, kDone, kDone},
        {"own address 3", [](gpibdrv::Board& b) { return b.setOwnAddress(3, 0); }, GPIB_ECAP,
         GPIB_ECAP},
    };
    for (const Capability& row : rows)
        EXPECT_EQ(row.call(*board), ar488() ? row.ar488 : row.prologix) << row.what;
    EXPECT_EQ(query(kMeter, "*IDN?\n"), "ADAPTER BENCH,METER,1,1.0\n");
    // An AR488 saves its settings whenever it hears ++savecfg: never sent one.
    const std::string lines = emulator->stop();
    EXPECT_EQ(lines.find("++savecfg") != std::string::npos, !ar488()) << lines;
}

INSTANTIATE_TEST_SUITE_P(Routes, ProtocolBoardTest, testing::ValuesIn(kRoutes), routeName);

// In real time, where the adapter's read timeout (100 ms) takes its time.
class RealTimeTest : public AdapterTest {
  protected:
    void SetUp() override {
        start({"--count-lines"}, false);
        ASSERT_EQ(open(), kDone) << board->describe();
    }
};

TEST_P(RealTimeTest, AnInstrumentWithoutEoiAnswersAtFullSpeedOnceItShowedIt) {
    bool end = false;
    // The first answer shows it: LF and no EOI, at the adapter's timeout,
    // which for a talker that has not shown EOI yet is half a second.
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(query(kPlain, "*IDN?\n", 100, '\n', &end), "PLAIN,NO EOI\n");
    EXPECT_TRUE(end);
    bool srq = true;
    EXPECT_EQ(board->srqLine(srq), kDone);  // after that read's end
    EXPECT_LT(msSince(start), 900 + 4 * variantDelayMs());
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < 10; ++i) EXPECT_EQ(query(kPlain, "*IDN?\n", 100, '\n'), "PLAIN,NO EOI\n");
    // Each would wait out the adapter's timeout; late bytes cost what they cost.
    EXPECT_LT(msSince(start), 300 + 10 * variantDelayMs());
    // The rest of a longer message stays with its address, as on a board.
    EXPECT_EQ(query(kPlain, "*IDN?\n", 6, '\n', &end), "PLAIN,");
    EXPECT_FALSE(end);
    EXPECT_EQ(read(kPlain, 100, '\n', &end), "NO EOI\n");
    EXPECT_TRUE(end);
    // Messages still end with EOI after reads to a byte (an AR488's ++eoi 0
    // for them is undone): the echo takes a message only at EOI.
    EXPECT_EQ(query(kEcho, "DATA?"), "none\n");
    // An instrument with EOI is read to EOI all along, END exact at the count.
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(query(kMeter, "LIST?\n", 6, -1, &end), "1,2,3\n");
    EXPECT_TRUE(end);
    EXPECT_EQ(query(kMeter, "LIST?\n", 5, -1, &end), "1,2,3");
    EXPECT_FALSE(end);
    EXPECT_EQ(read(kMeter, 5, -1, &end), "\n");
    EXPECT_TRUE(end);
    EXPECT_LT(msSince(start), 100 + 3 * variantDelayMs());
    // AR488 reads to a byte through ++eor: never "++read 10", which its
    // firmware takes for address 10.
    const std::string lines = emulator->stop();
    EXPECT_EQ(lines.find("++eor") != std::string::npos, ar488()) << lines;
}

INSTANTIATE_TEST_SUITE_P(Routes, RealTimeTest, testing::ValuesIn(kRoutes), routeName);

}  // namespace
