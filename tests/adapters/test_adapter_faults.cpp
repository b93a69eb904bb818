// An adapter that closes the line mid-answer, answers garbage or never
// answers: every call fails within its timeout with a report, nothing hangs,
// and the next open reconnects.
#include <fcntl.h>
#include <unistd.h>

#include <thread>

#include "adapters/adapter_fixture.h"

namespace {

using gpibdrv::kDone;

constexpr gpibdrv::BusAddress kMeter{9, -1};
constexpr long kMarginMs = 700;  // a loaded machine, a sanitizer build

class AdapterFaultTest : public AdapterTest {
  protected:
    // What opening asks that the adapter answers: four version lines and the
    // mark; an AR488 also its terminators, its listener search, its own
    // address refused, and the version lines behind that and the test read.
    std::string openingAnswers() const { return ar488() ? "10" : "5"; }
    // Of those, the numbers: the mark, and an AR488's terminators.
    std::string openingNumbers() const { return ar488() ? "2" : "1"; }
};

TEST_P(AdapterFaultTest, LineClosedMidAnswerFailsAndTheNextOpenReconnects) {
    // The answers of opening go out right.
    start({"--fault", "close-mid-answer", "--fault-after", openingAnswers(), "--fault-times", "1"});
    ASSERT_EQ(open(), kDone) << board->describe();
    long n = 0;
    board->send(kMeter, "*IDN?\n", 6, gpibdrv::EndMode::EoiOnLast, kThreeSeconds, n);
    int result = kDone;
    auto start = std::chrono::steady_clock::now();
    read(kMeter, 100, -1, nullptr, &result);
    EXPECT_EQ(result, GPIB_ENEB);
    EXPECT_LT(msSince(start), 3000 + kMarginMs);
    EXPECT_NE(board->describe().find("closed the line"), std::string::npos) << board->describe();
    EXPECT_EQ(board->serialPoll(kMeter, kOneSecond, *std::make_unique<uint8_t>()), GPIB_ENEB);
    ASSERT_EQ(open(), kDone) << board->describe();
    EXPECT_EQ(query(kMeter, "*IDN?\n"), "ADAPTER BENCH,METER,1,1.0\n");
}

TEST_P(AdapterFaultTest, GarbageForANumberFailsWithEdvrAndTheLinkRecovers) {
    start({"--fault", "garbage", "--fault-after", openingNumbers()});  // opening's go right
    ASSERT_EQ(open(), kDone) << board->describe();
    uint8_t status = 0;
    bool srq = false;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(board->serialPoll(kMeter, kOneSecond, status), GPIB_EDVR);
    EXPECT_EQ(board->srqLine(srq), GPIB_EDVR);
    EXPECT_LT(msSince(start), 2000 + kMarginMs);
    EXPECT_EQ(query(kMeter, "*IDN?\n"), "ADAPTER BENCH,METER,1,1.0\n");
    EXPECT_EQ(open(), kDone) << board->describe();
}

TEST_P(AdapterFaultTest, SilentAdapterTimesOutEveryCall) {
    start({"--fault", "silent", "--fault-after", openingAnswers()});
    ASSERT_EQ(open(), kDone) << board->describe();
    long n = 0;
    board->send(kMeter, "*IDN?\n", 6, gpibdrv::EndMode::EoiOnLast, kOneSecond, n);
    int result = kDone;
    uint8_t status = 0;
    bool srq = false;
    auto start = std::chrono::steady_clock::now();
    read(kMeter, 100, -1, nullptr, &result, kOneSecond);
    EXPECT_EQ(result, GPIB_EABO);
    EXPECT_EQ(board->serialPoll(kMeter, kOneSecond, status), GPIB_EABO);
    EXPECT_EQ(board->srqLine(srq), GPIB_EABO);
    EXPECT_LT(msSince(start), 3 * 1000 + 3 * kMarginMs);
    // Opening again asks for the version line and gets none.
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(open(), GPIB_ENEB);
    EXPECT_LT(msSince(start), 2 * options.openTimeoutMs + kMarginMs);
    EXPECT_NE(board->describe().find("no answer to ++ver"), std::string::npos) << board->describe();
}

TEST_P(AdapterFaultTest, AnAdapterThatIsNotThereIsReported) {
    start({"--fault", "silent"});
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(open(), GPIB_ENEB);
    EXPECT_LT(msSince(start), options.openTimeoutMs + kMarginMs);
    EXPECT_NE(board->describe().find("no answer to ++ver"), std::string::npos) << board->describe();
    emulator->stop();
    EXPECT_EQ(open(), GPIB_ENEB);
    const std::string why = board->describe();
    EXPECT_NE(why.find(GetParam().tcp ? "Connection refused" : "No such file"), std::string::npos)
        << why;
    long n = 0;
    EXPECT_EQ(board->send(kMeter, "x", 1, gpibdrv::EndMode::EoiOnLast, kOneSecond, n), GPIB_ENEB);
}

TEST_P(AdapterFaultTest, AVersionLineOwedToAnEarlierHostPutsNoAnswerOutOfStep) {
    if (GetParam().tcp)
        GTEST_SKIP() << "a new TCP connection brings nothing of an earlier one";
    start();
    // An earlier program left in the middle of a read from an empty address
    // with the marker behind it: the adapter answers that ++ver 300 ms later,
    // after this open has flushed the line and asked its own.
    const int fd = ::open(options.port.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    const std::string left = "++addr 30\n++read_tmo_ms 300\n++read eoi\n++ver\n";
    ASSERT_EQ(::write(fd, left.data(), left.size()), ssize_t(left.size()));
    ::close(fd);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_EQ(open(), kDone) << board->describe();
    EXPECT_EQ(query(kMeter, "*IDN?\n"), "ADAPTER BENCH,METER,1,1.0\n");
    uint8_t status = 0xFF;
    EXPECT_EQ(board->serialPoll(kMeter, kOneSecond, status), kDone);
    EXPECT_EQ(query(kMeter, "*IDN?\n"), "ADAPTER BENCH,METER,1,1.0\n");
}

TEST_P(AdapterFaultTest, RecognisingAnAdapterAsksOnlyForItsVersion) {
    if (GetParam().tcp)
        GTEST_SKIP() << "adapters are recognised by their serial device only";
    start({"--count-lines"});
    const auto other = ar488() ? adapters::Flavour::Prologix : adapters::Flavour::Ar488;
    EXPECT_EQ(adapters::probeAdapter(options.port, 115200, GetParam().flavour, 500).substr(0, 5),
              ar488() ? "AR488" : "Prolo");
    EXPECT_EQ(adapters::probeAdapter(options.port, 115200, other, 500), "");
    EXPECT_EQ(emulator->stop(), "lines: ++ver 2\n");
}

INSTANTIATE_TEST_SUITE_P(Routes, AdapterFaultTest, testing::ValuesIn(kRoutes), routeName);

}  // namespace
