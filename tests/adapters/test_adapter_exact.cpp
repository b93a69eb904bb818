// Exact answers whatever the adapter's firmware and timing: the EOI mark of
// one read never reaches the next as data, even when the adapter's bytes come
// late; an adapter that ends a read on host input is read the safe way
// (found at open, or at the first read it cut short); a late version answer
// breaks neither way; a read ends at the caller's time.
#include <thread>

#include "adapters/adapter_fixture.h"

namespace {

using adapters::ReadWay;
using gpibdrv::BusAddress;
using gpibdrv::kDone;

constexpr BusAddress kMeter{9, -1}, kPlain{7, -1}, kRaw{4, -1}, kRawNoEoi{6, -1}, kNobody{3, -1};
const std::string kIdn = "ADAPTER BENCH,METER,1,1.0\n";
const std::string kBin(
    "#213A\r\nB\x1b+C\0D\xea\x80\x80"
    "E\n",
    18);

// A route, and the way its board is told to read.
class ExactTest : public AdapterFixture,
                  public testing::WithParamInterface<std::tuple<Route, ReadWay>> {
  protected:
    const Route& route() const override { return std::get<0>(GetParam()); }
    ReadWay way() const { return std::get<1>(GetParam()); }
    void open(std::vector<std::string> extra) {
        bench = EXACT_BENCH;
        start(std::move(extra));
        options.reads = way();
        board = adapters::makeAdapterBoard(options);
        board->setNotices([this](const std::string& text) { notices.push_back(text); });
        std::string reason;
        ASSERT_EQ(board->open(reason), kDone) << reason;
    }
    // What the raw instrument answers once it was given these bytes.
    std::string echoed(BusAddress at, const std::string& bytes, bool* end) {
        long n = 0;
        const std::string set = "DATA " + bytes;
        EXPECT_EQ(board->send(at, set.data(), long(set.size()), gpibdrv::EndMode::EoiOnLast,
                              kThreeSeconds, n),
                  kDone);
        return query(at, "DATA?", 100, -1, end);
    }
    // The answers every test here expects, whatever the adapter does.
    void answersAreExact() {
        bool end = false;
        EXPECT_EQ(query(kMeter, "*IDN?\n", 200, -1, &end), kIdn);
        EXPECT_TRUE(end);
        EXPECT_EQ(query(kMeter, "BIN?\n", 200, -1, &end), kBin);
        EXPECT_TRUE(end);
        // The mark's value as the last byte, EOI on it: one is data, one the mark.
        EXPECT_EQ(echoed(kRaw, "x\xea", &end), "x\xea");
        EXPECT_TRUE(end);
        EXPECT_EQ(echoed(kRaw, "\xea\xea", &end), "\xea\xea");
        EXPECT_TRUE(end);
        // A longer answer read in two keeps its rest for its address.
        EXPECT_EQ(query(kMeter, "LONG?\n", 100, -1, &end).substr(0, 8), "000,001,");
        EXPECT_FALSE(end);
        EXPECT_EQ(query(kPlain, "*IDN?\n", 100, '\n', &end), "PLAIN,NO EOI\n");
        EXPECT_TRUE(end);
        std::string rest = read(kMeter, 200, -1, &end);
        EXPECT_EQ(rest.substr(rest.size() - 4), "XYZ\n");
        EXPECT_TRUE(end);
        EXPECT_EQ(query(kPlain, "*IDN?\n", 100, '\n', &end), "PLAIN,NO EOI\n");
        EXPECT_EQ(query(kMeter, "*IDN?\n", 200, '\n', &end), kIdn);
    }
    std::vector<std::string> notices;
};

std::string caseName(const testing::TestParamInfo<std::tuple<Route, ReadWay>>& info) {
    const ReadWay w = std::get<1>(info.param);
    return std::string(std::get<0>(info.param).name) + (w == ReadWay::Fast   ? "Fast"
                                                        : w == ReadWay::Safe ? "Safe"
                                                                             : "Probed");
}

// The adapter's bytes held back by up to 250 ms each, order kept; reads to
// the termination byte 50 ms apart, as a program polls an instrument.
class LateBytesTest : public ExactTest {};

TEST_P(LateBytesTest, TheMarkOfOneReadNeverLeadsTheNext) {
    if (route().tcp)
        GTEST_SKIP() << "a second per query at these delays; the suite's jitter runs cover TCP";
    open({"--jitter", "250", "--seed", "24"});
    for (int i = 0; i < 8; ++i) {
        bool end = false;
        const std::string answer = query(kMeter, "*IDN?\n", 200, '\n', &end);
        ASSERT_EQ(answer, kIdn) << "query " << i;
        EXPECT_TRUE(end);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    bool end = false;
    EXPECT_EQ(query(kMeter, "BIN?\n", 200, -1, &end), kBin);
    EXPECT_TRUE(end);
    EXPECT_EQ(echoed(kRaw, "x\xea", &end), "x\xea");
    EXPECT_TRUE(end);
    EXPECT_EQ(query(kMeter, "*IDN?\n", 200, '\n'), kIdn);
}

INSTANTIATE_TEST_SUITE_P(Routes, LateBytesTest,
                         testing::Combine(testing::ValuesIn(kRoutes),
                                          testing::Values(ReadWay::Fast, ReadWay::Safe)),
                         caseName);

// An adapter that ends a read when a "++" line arrives: the probe at open
// finds it on an AR488 (a Prologix is read the safe way anyway), and a board
// told to read fast learns it from the first read it cut short.
class InputEndsReadTest : public ExactTest {};

TEST_P(InputEndsReadTest, IsReadTheSafeWayAndEveryAnswerIsExact) {
    open({"--read-ends-on-input"});
    const std::string was = board->describe();
    answersAreExact();
    const std::string now = board->describe();
    // The trace is told the way at open, and again when it changes.
    if (way() == ReadWay::Fast) {
        EXPECT_NE(was.find("(fast: set in the board map)"), std::string::npos) << was;
        EXPECT_NE(now.find("(safe: a read was cut by host input)"), std::string::npos) << now;
        EXPECT_EQ(notices, (std::vector<std::string>{was, now}));
    } else {
        const std::string why =
            ar488() ? "(safe: host input ended a test read)" : "(safe: no harmless test read)";
        EXPECT_NE(now.find(why), std::string::npos) << now;
        EXPECT_EQ(notices, std::vector<std::string>{now});
    }
}

INSTANTIATE_TEST_SUITE_P(Routes, InputEndsReadTest,
                         testing::Combine(testing::ValuesIn(kRoutes),
                                          testing::Values(ReadWay::Probe, ReadWay::Fast)),
                         caseName);

// The adapter's timing is not the bus's: a version answer that comes late,
// a short version line, a read the caller times out.
class AdapterTimingTest : public ExactTest {};

TEST_P(AdapterTimingTest, AVersionAnswerThatComesLateBreaksNeitherWay) {
    if (route().tcp)
        GTEST_SKIP() << "the lateness is the adapter's, not the line's: the pty routes show it";
    // Later than half the adapter's timeout at the caller's 300 ms: the mark
    // and the marker come that far apart, and the margin must allow for it.
    open({"--ver-delay", "200"});
    constexpr gpibdrv::Timeout k300ms{10};
    for (int i = 0; i < 3; ++i) {
        long n = 0;
        ASSERT_EQ(board->send(kMeter, "*IDN?\n", 6, gpibdrv::EndMode::EoiOnLast, k300ms, n), kDone);
        bool end = false;
        EXPECT_EQ(read(kMeter, 200, -1, &end, nullptr, k300ms), kIdn);
        EXPECT_TRUE(end);
    }
    bool end = false;
    EXPECT_EQ(echoed(kRaw, "x\xea", &end), "x\xea");
    EXPECT_TRUE(end);
    EXPECT_EQ(query(kPlain, "*IDN?\n", 100, '\n', &end), "PLAIN,NO EOI\n");
    EXPECT_EQ(query(kMeter, "BIN?\n", 200, -1, &end), kBin);
    EXPECT_TRUE(end);
}

TEST_P(AdapterTimingTest, AShortVersionLineIsAskedTwiceBehindEachRead) {
    open({"--ver-text", "GPIB 1.0"});
    EXPECT_EQ(board->describe().substr(0, 12), "GPIB 1.0 on ");
    answersAreExact();
    // Data that holds the short line once is still data.
    bool end = false;
    EXPECT_EQ(echoed(kRaw, "GPIB 1.0\r\nx", &end), "GPIB 1.0\r\nx");
    EXPECT_TRUE(end);
}

TEST_P(AdapterTimingTest, AReadEndsAtTheCallersTime) {
    if (route().tcp)
        GTEST_SKIP() << "the timeout is the driver's and the adapter's, not the line's: the pty "
                        "routes show it";
    open({});
    int result = kDone;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(read(kNobody, 100, -1, nullptr, &result, gpibdrv::Timeout::ofUs(1500000)), "");
    EXPECT_EQ(result, GPIB_EABO);
    EXPECT_GE(msSince(start), 1500);
    EXPECT_LT(msSince(start), 1650);
    // A talker that stops without EOI: the bytes it sent are counted, the
    // last a data byte of the mark's value, which the adapter's timeout ended.
    bool end = true;
    start = std::chrono::steady_clock::now();
    if (way() == ReadWay::Fast) {
        long n = 0;
        const std::string set = "DATA ab\xea";
        board->send(kRawNoEoi, set.data(), long(set.size()), gpibdrv::EndMode::EoiOnLast,
                    kThreeSeconds, n);
        board->send(kRawNoEoi, "DATA?", 5, gpibdrv::EndMode::EoiOnLast, kThreeSeconds, n);
        EXPECT_EQ(read(kRawNoEoi, 100, -1, &end, &result, kOneSecond), "ab\xea");
        EXPECT_EQ(result, GPIB_EABO);
        EXPECT_GE(msSince(start), 1000);
        EXPECT_LT(msSince(start), 1150);
    }
    EXPECT_EQ(query(kMeter, "*IDN?\n", 200, '\n'), kIdn);
}

INSTANTIATE_TEST_SUITE_P(Routes, AdapterTimingTest,
                         testing::Combine(testing::ValuesIn(kRoutes),
                                          testing::Values(ReadWay::Fast, ReadWay::Safe)),
                         caseName);

}  // namespace
