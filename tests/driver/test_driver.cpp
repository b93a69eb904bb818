// The driver core over a board that answers what a test tells it: how a
// board's answers become ibsta and iberr, and the 488.2 routines every kind
// inherits from the bus operations.

#include <gtest/gtest.h>

#include <map>

#include "driver/driver.h"

namespace {

using gpibdrv::BusAddress;
using gpibdrv::CallStatus;
using gpibdrv::kDone;

// Listeners and status bytes by address; every operation can be made to
// answer an error instead.
class FakeBoard final : public gpibdrv::Board {
  public:
    std::map<int, uint8_t> stb;         // pad*32+sad+1 -> status byte (listeners too)
    std::map<std::string, int> errors;  // operation -> error it answers
    std::vector<std::string> calls;

    static int key(BusAddress a) { return a.pad * 32 + a.sad + 1; }
    int result(const std::string& op) {
        calls.push_back(op);
        auto it = errors.find(op);
        return it == errors.end() ? kDone : it->second;
    }
    std::string describe() const override { return "fake"; }
    int statusBits() override { return GPIB_CIC; }
    int setOwnAddress(int, int) override { return result("own"); }
    int send(BusAddress, const char*, long count, gpibdrv::EndMode, gpibdrv::Timeout,
             long& sent) override {
        sent = count;
        return result("send");
    }
    int receive(BusAddress, char* dst, long count, int, gpibdrv::Timeout, long& got,
                int& ended) override {
        got = count > 0 ? 1 : 0;
        if (got)
            dst[0] = 'A';
        ended = gpibdrv::kEndEoi;
        return result("receive");
    }
    int serialPoll(BusAddress a, gpibdrv::Timeout, uint8_t& status) override {
        status = stb.count(key(a)) ? stb[key(a)] : 0;
        return result("poll " + std::to_string(a.pad));
    }
    int trigger(const BusAddress*) override { return result("trigger"); }
    int clear(const BusAddress*) override { return result("clear"); }
    int interfaceClear() override { return result("ifc"); }
    int remoteEnable(bool on) override { return result(on ? "ren on" : "ren off"); }
    int listens(BusAddress a, bool& listening) override {
        listening = stb.count(key(a)) != 0;
        return result("listens");
    }
    int srqLine(bool& asserted) override {
        asserted = false;
        return result("srq");
    }
};

class DriverCore : public testing::Test {
  protected:
    DriverCore() {
        auto fake = std::make_unique<FakeBoard>();
        board = fake.get();
        driver.addBoard({0, "GPIB0"}, std::move(fake));
    }
    gpibdrv::Driver driver;
    FakeBoard* board;
    CallStatus st;
};

TEST_F(DriverCore, ABoardsAnswerBecomesTheStatusOfTheCall) {
    struct Row {
        const char* op;
        int error;
        int ibsta;
    };
    const Row rows[] = {
        {"send", kDone, GPIB_CMPL | GPIB_CIC},
        {"send", GPIB_EABO, GPIB_ERR | GPIB_TIMO | GPIB_CMPL | GPIB_CIC},  // a timeout
        {"send", GPIB_ENOL, GPIB_ERR | GPIB_CMPL | GPIB_CIC},
        {"send", GPIB_ENEB, GPIB_ERR | GPIB_CMPL | GPIB_CIC},  // an adapter that is gone
        {"ifc", GPIB_ECAP, GPIB_ERR | GPIB_CMPL | GPIB_CIC},
    };
    for (const Row& row : rows) {
        board->errors = {{row.op, row.error}};
        st = {};
        if (std::string(row.op) == "send")
            driver.Send(0, 9, "x\n", 2, GPIB_DABend, st);
        else
            driver.SendIFC(0, st);
        EXPECT_EQ(st.ibsta, row.ibsta) << row.op << " " << row.error;
        EXPECT_EQ(st.errorSet, row.error != kDone);
        if (row.error != kDone) {
            EXPECT_EQ(st.iberr, row.error);
        }
    }
    // A read that ends with EOI shows END; one that fails never does.
    char buf[4];
    board->errors.clear();
    st = {};
    driver.Receive(0, 9, buf, 4, GPIB_STOPend, st);
    EXPECT_EQ(st.ibsta, GPIB_END | GPIB_CMPL | GPIB_CIC);
    EXPECT_EQ(st.count, 1);
    board->errors = {{"receive", GPIB_EABO}};
    driver.Receive(0, 9, buf, 4, GPIB_STOPend, st);
    EXPECT_EQ(st.ibsta & (GPIB_END | GPIB_TIMO), GPIB_TIMO);
}

TEST_F(DriverCore, WhatABoardCannotDoIsRefusedAndNothingChanges) {
    int ud = driver.ibfind("GPIB0", st);
    ASSERT_EQ(ud, 0);
    board->errors = {{"ren off", GPIB_ECAP}, {"own", GPIB_ECAP}};
    driver.ibsre(ud, 1, st);
    EXPECT_EQ(st.ibsta & GPIB_ERR, 0);
    driver.ibsre(ud, 0, st);
    EXPECT_EQ(st.iberr, GPIB_ECAP);
    int value = -1;
    driver.ibask(ud, GPIB_IbcSRE, &value, st);
    EXPECT_EQ(value, 1) << "REN was not released";
    // The board's own address: the same one is fine, another is refused.
    driver.ibpad(ud, 0, st);
    EXPECT_EQ(st.ibsta & GPIB_ERR, 0);
    driver.ibpad(ud, 5, st);
    EXPECT_EQ(st.iberr, GPIB_ECAP);
    driver.ibask(ud, GPIB_IbaPAD, &value, st);
    EXPECT_EQ(value, 0);
}

TEST_F(DriverCore, FindLstnFindsPrimariesElseSecondariesWithinTheLimit) {
    board->stb = {{FakeBoard::key({3, -1}), 0},
                  {FakeBoard::key({5, 1}), 0},
                  {FakeBoard::key({5, 4}), 0},
                  {FakeBoard::key({7, 0}), 0}};
    const Addr4882_t pads[] = {3, 5, 7, 9, GPIB_NOADDR};
    Addr4882_t found[8] = {};
    driver.FindLstn(0, pads, found, 8, st);
    EXPECT_EQ(st.ibsta & GPIB_ERR, 0);
    ASSERT_EQ(st.count, 4);
    EXPECT_EQ(found[0], 3);
    EXPECT_EQ(found[1], 5 | 0x61 << 8);
    EXPECT_EQ(found[2], 5 | 0x64 << 8);
    EXPECT_EQ(found[3], 7 | 0x60 << 8);  // secondary 0 is a secondary, not "none"
    // More listeners than the list holds: ETAB with the list full.
    driver.FindLstn(0, pads, found, 2, st);
    EXPECT_EQ(st.iberr, GPIB_ETAB);
    EXPECT_EQ(st.count, 2);
    // An address past 30 fails the search, after what came before it.
    const Addr4882_t bad[] = {3, 31, 5, GPIB_NOADDR};
    driver.FindLstn(0, bad, found, 8, st);
    EXPECT_EQ(st.iberr, GPIB_EARG);
    EXPECT_EQ(st.count, 1);
}

TEST_F(DriverCore, FindRqsAndAllSpollStopWhereTheyMust) {
    board->stb = {{FakeBoard::key({3, -1}), 0x10}, {FakeBoard::key({5, -1}), 0x41}};
    const Addr4882_t list[] = {3, 5, 7, GPIB_NOADDR};
    short status = 0;
    driver.FindRQS(0, list, &status, st);
    EXPECT_EQ(st.ibsta & GPIB_ERR, 0);
    EXPECT_EQ(status, 0x41);
    EXPECT_EQ(st.count, 1);  // the index of the device that asked
    EXPECT_EQ(board->calls, (std::vector<std::string>{"poll 3", "poll 5"}));
    // A poll the board cannot make ends both routines there, with its error.
    board->errors = {{"poll 5", GPIB_ECAP}};
    short results[3] = {};
    driver.AllSpoll(0, list, results, st);
    EXPECT_EQ(st.iberr, GPIB_ECAP);
    EXPECT_EQ(st.count, 1);  // the device that failed
    EXPECT_EQ(results[0], 0x10);
    board->errors.clear();
    board->stb[FakeBoard::key({5, -1})] = 0x01;
    driver.FindRQS(0, list, &status, st);
    EXPECT_EQ(st.iberr, GPIB_ETAB);  // nobody asked for service
}

}  // namespace
