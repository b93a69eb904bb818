// The traditional calls of the driver core over a board that records what
// it is asked: what the simulated bench cannot show (how a write is cut at
// each EOS byte, whom board-level transfers reach, what a kind without
// command bytes still does, how automatic serial polls end a wait).

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "driver/driver.h"

namespace {

using gpibdrv::BusAddress;
using gpibdrv::CallStatus;
using gpibdrv::EndMode;
using gpibdrv::kDone;

class RecordingBoard final : public gpibdrv::Board {
  public:
    std::vector<std::string> log;
    std::map<int, uint8_t> stb;  // pad -> status byte
    bool srq = false, commands = true;

    std::string describe() const override { return "recording"; }
    int statusBits() override { return GPIB_CIC; }
    int setOwnAddress(int, int) override { return kDone; }
    int send(BusAddress to, const char* data, long count, EndMode end, gpibdrv::Timeout,
             long& sent) override {
        log.push_back("send " + where(to) + " " + std::string(data, size_t(count)) +
                      (end == EndMode::EoiOnLast  ? " EOI"
                       : end == EndMode::AppendLf ? " LF"
                                                  : ""));
        sent = count;
        return kDone;
    }
    int receive(BusAddress from, char* dst, long count, int eos, gpibdrv::Timeout, long& got,
                int& ended) override {
        log.push_back("receive " + where(from) + " eos " + std::to_string(eos));
        got = count > 0 ? 1 : 0;
        if (got)
            dst[0] = 'x';
        ended = gpibdrv::kEndEoi;
        return kDone;
    }
    int serialPoll(BusAddress a, gpibdrv::Timeout, uint8_t& status) override {
        log.push_back("poll " + where(a));
        status = stb[a.pad];
        if (status & 0x40)
            stb[a.pad] &= ~0x40, srq = false;  // polled: it stops asking
        return kDone;
    }
    int trigger(const BusAddress*) override { return kDone; }
    int clear(const BusAddress*) override { return kDone; }
    int interfaceClear() override { return kDone; }
    int remoteEnable(bool on) override {
        log.push_back(on ? "ren on" : "ren off");
        return kDone;
    }
    int listens(BusAddress, bool& listening) override {
        listening = true;
        return kDone;
    }
    int srqLine(bool& asserted) override {
        asserted = srq;
        return kDone;
    }
    int command(std::span<const uint8_t> bytes, gpibdrv::Timeout, long& sent) override {
        sent = 0;
        if (!commands)
            return GPIB_ECAP;
        std::string s = "command";
        for (uint8_t b : bytes) s += " " + std::to_string(b);
        log.push_back(s);
        sent = long(bytes.size());
        return kDone;
    }
    static std::string where(BusAddress a) {
        return std::to_string(a.pad) + (a.sad >= 0 ? "/" + std::to_string(a.sad) : "");
    }
};

class DriverCalls : public testing::Test {
  protected:
    DriverCalls() {
        auto b = std::make_unique<RecordingBoard>();
        board = b.get();
        driver.addBoard({0, "GPIB0"}, std::move(b));
    }
    gpibdrv::Driver driver;
    RecordingBoard* board;
    CallStatus st;
};

TEST_F(DriverCalls, AWriteIsCutAtEachEosByteWhenXeosSaysSo) {
    struct Row {
        int eos;
        int eot;
        const char* data;
        std::vector<std::string> sends;
    };
    const Row rows[] = {
        {0, 1, "a\nb\n", {"send 9 a\nb\n EOI"}},
        {0, 0, "a\nb", {"send 9 a\nb"}},
        {gpibdrv::kXEOS | '\n', 0, "a\nb", {"send 9 a\n EOI", "send 9 b"}},
        {gpibdrv::kXEOS | '\n', 1, "a\nb\n", {"send 9 a\n EOI", "send 9 b\n EOI"}},
        // 7-bit compare: 0x8A is LF with bit 7; BIN compares all eight.
        {gpibdrv::kXEOS | 0x8A, 0, "a\nb", {"send 9 a\n EOI", "send 9 b"}},
        {gpibdrv::kXEOS | gpibdrv::kBIN | 0x8A, 0, "a\nb", {"send 9 a\nb"}},
    };
    for (const Row& row : rows) {
        board->log.clear();
        int ud = driver.ibdev(0, 9, 0, 11, row.eot, row.eos, st);
        driver.ibwrt(ud, row.data, long(strlen(row.data)), st);
        EXPECT_EQ(board->log, row.sends) << row.data << " eos " << row.eos;
        EXPECT_EQ(st.count, long(strlen(row.data)));
        driver.ibonl(ud, 0, st);
    }
}

TEST_F(DriverCalls, BoardTransfersReachWhomTheCommandBytesAddressed) {
    const uint8_t bytes[] = {0x3F, 0x40 | 9, 0x60 | 2, 0x20 | 0, 0x20 | 5, 0x20 | 7, 0x61};
    driver.ibcmd(0, bytes, sizeof bytes, st);
    char buf[4];
    driver.ibrd(0, buf, 4, st);
    driver.ibwrt(0, "hi", 2, st);
    std::vector<std::string> expected{"command 63 73 98 32 37 39 97", "receive 9/2 eos -1",
                                      "send 5 hi EOI", "send 7/1 hi EOI"};
    EXPECT_EQ(board->log, expected);
    // UNL leaves nobody to write to; UNT nobody to read from.
    const uint8_t unaddress[] = {0x3F, 0x5F};
    driver.ibcmd(0, unaddress, 2, st);
    driver.ibwrt(0, "hi", 2, st);
    EXPECT_EQ(st.iberr, GPIB_ENOL);
    driver.ibrd(0, buf, 4, st);
    EXPECT_EQ(st.iberr, GPIB_EADR);
}

TEST_F(DriverCalls, EachAddressedListenerIsWrittenToOnceUntilUnlistened) {
    using namespace gpibdrv::cmd;
    // 5 twice, 7 with two secondaries: three listeners, one write each.
    const uint8_t bytes[] = {UNL, LAD(5), LAD(5), LAD(7), SAD(1), SAD(2), TAD(0)};
    driver.ibcmd(0, bytes, sizeof bytes, st);
    driver.ibwrt(0, "hi", 2, st);
    EXPECT_EQ(st.ibsta & GPIB_ERR, 0);
    EXPECT_EQ(board->log, (std::vector<std::string>{"command 63 37 37 39 97 98 64", "send 5 hi EOI",
                                                    "send 7/1 hi EOI", "send 7/2 hi EOI"}));
    // ReceiveSetup unlistens every device before it addresses the talker,
    // on a kind without command bytes as on the bus.
    board->commands = false;
    driver.ReceiveSetup(0, 12, st);
    driver.ibwrt(0, "hi", 2, st);
    EXPECT_EQ(st.iberr, GPIB_ENOL);
}

TEST_F(DriverCalls, AKindWithoutCommandBytesAddressesWithItsNextTransfer) {
    board->commands = false;
    const Addr4882_t listeners[] = {9, Addr4882_t(5 | 0x61 << 8), GPIB_NOADDR};
    driver.SendSetup(0, listeners, st);
    EXPECT_EQ(st.ibsta & GPIB_ERR, 0);
    driver.SendDataBytes(0, "x", 1, GPIB_NLend, st);
    driver.ReceiveSetup(0, 12, st);
    char buf[4];
    driver.RcvRespMsg(0, buf, 4, '\n', st);
    driver.EnableRemote(0, listeners, st);
    EXPECT_EQ(st.ibsta & GPIB_ERR, 0);
    std::vector<std::string> expected{"send 9 x LF", "send 5/1 x LF", "receive 12 eos 10",
                                      "ren on"};
    EXPECT_EQ(board->log, expected);
    // What only command bytes can do is refused.
    driver.SendCmds(0, "\x3F", 1, st);
    EXPECT_EQ(st.iberr, GPIB_ECAP);
    driver.PPollConfig(0, 9, 1, 1, st);
    EXPECT_EQ(st.iberr, GPIB_ECAP);
}

TEST_F(DriverCalls, AutomaticSerialPollsEndAWaitForRqs) {
    int dmm = driver.ibdev(0, 9, 0, 11, 1, 0, st);
    int counter = driver.ibdev(0, 12, 0, 11, 1, 0, st);
    board->stb[12] = 0x41;
    board->srq = true;
    driver.ibwait(counter, GPIB_RQS | GPIB_TIMO, st);
    EXPECT_EQ(st.ibsta & (GPIB_RQS | GPIB_TIMO | GPIB_ERR), GPIB_RQS);
    // Every open device was polled once; the byte waits for ibrsp.
    std::vector<std::string> polls{"poll 9", "poll 12"};
    EXPECT_EQ(board->log, polls);
    char status = 0;
    driver.ibrsp(counter, &status, st);
    EXPECT_EQ(uint8_t(status), 0x41);
    EXPECT_EQ(st.ibsta & GPIB_RQS, 0);
    EXPECT_EQ(board->log.size(), 2u) << "ibrsp took the queued byte without polling";
    // A service request nobody open answers for ends the wait with ESRQ.
    board->srq = true;
    driver.ibwait(dmm, GPIB_RQS | GPIB_TIMO, st);
    EXPECT_EQ(st.ibsta & GPIB_ERR, GPIB_ERR);
    EXPECT_EQ(st.iberr, GPIB_ESRQ);
    // A device's wait takes only TIMO, END, CMPL and RQS.
    driver.ibwait(dmm, GPIB_SRQI, st);
    EXPECT_EQ(st.iberr, GPIB_EARG);
}

}  // namespace
