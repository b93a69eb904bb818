// Every failure the program reports can be provoked from a bench file: a
// board that is missing or not system controller, instruments that misbehave,
// and faults injected into any entry point.

#include <functional>
#include <vector>

#include "sim_driver.h"

namespace {

using simtest::benchFile;

constexpr const char* kBase = R"(spec: "1.1"
devices:
  meter:
    eom:
      GPIB INSTR: {q: "\n", r: "\n"}
    dialogues:
      - {q: "*IDN?", r: "SIMULATED BENCH,METER,1,1.0"}
resources:
  GPIB0::9::INSTR: {device: meter}
  GPIB0::7::2::INSTR: {device: meter}
)";

class Faults : public simtest::SimDriver {
  protected:
    void withFaults(const std::string& faults) {
        ASSERT_EQ(reload(simtest::writeBench("faults.yaml",
                                             std::string(kBase) + "gpib:\n  faults:\n" + faults)),
                  0)
            << description();
    }
    void send(int16_t addr) {
        Text t = FromUtf8("*IDN?\n");
        m_gpib.Send(0, addr, t, 2);
    }
    void expect(int ibsta, int iberr, const char* what) {
        EXPECT_EQ(m_gpib.ibsta & 0xFFFF, ibsta) << what;
        EXPECT_EQ(m_gpib.iberr, iberr) << what;
    }
    std::vector<int16_t> probe() {
        std::vector<int16_t> list;
        for (int16_t a = 1; a <= 30; ++a) list.push_back(a);
        list.push_back(-1);
        return list;
    }
    std::vector<int16_t> m_found = std::vector<int16_t>(65, 0);
    int16_t m_v = 0;
};

struct FaultRow {
    const char* fault;  // one entry of gpib.faults
    std::function<void(GPIB32&)> call;
    int ibsta;
    int iberr;
};

TEST_F(Faults, AnyEntryPointFailsWithTheGivenErrorAndStatus) {
    int16_t v = 0, ud = 0;
    Text b(100, u' ');
    std::vector<int16_t> list = {9, -1}, results(65, 0), probe = this->probe();
    const FaultRow rows[] = {
        {"{call: ibfind, iberr: EDVR}", [](GPIB32& g) { g.ibfind(FromUtf8("GPIB0")); }, 0x8000,
         GPIB_EDVR},
        {"{call: ibask, iberr: ECAP}", [&](GPIB32& g) { g.ibask(0, 1, v); }, 0x8130, GPIB_ECAP},
        {"{call: SendIFC, iberr: EBUS}", [](GPIB32& g) { g.SendIFC(0); }, 0x8100,
         GPIB_EBUS},  // never CIC
        {"{call: ibsre, iberr: EARG}", [](GPIB32& g) { g.ibsre(0, 1); }, 0x8130, GPIB_EARG},
        {"{call: ibtmo, iberr: EARG}", [](GPIB32& g) { g.ibtmo(0, 12); }, 0x8130, GPIB_EARG},
        {"{call: ibpad, iberr: EARG}", [](GPIB32& g) { g.ibpad(0, 5); }, 0x8130, GPIB_EARG},
        {"{call: ibconfig, iberr: ECAP}", [](GPIB32& g) { g.ibconfig(0, 0x18, 12); }, 0x8130,
         GPIB_ECAP},
        {"{call: ibdev, iberr: ENEB}", [&](GPIB32& g) { g.ibdev(0, 9, 0, 12, 1, 10, ud); }, 0x8130,
         GPIB_ENEB},
        {"{call: ibln, iberr: EBUS}",
         [&](GPIB32& g) {
             g.ibdev(0, 9, 0, 12, 1, 10, ud);
             g.ibln(ud, 9, 0, v);
         },
         0x8130, GPIB_EBUS},
        {"{call: ibonl, iberr: EDVR}",
         [&](GPIB32& g) {
             g.ibdev(0, 9, 0, 12, 1, 10, ud);
             g.ibonl(ud, 0);
         },
         0x8130, GPIB_EDVR},
        {"{call: Send, iberr: EABO}", [&](GPIB32&) { send(9); }, 0xC130, GPIB_EABO},
        {"{call: Receive, iberr: EBUS, ibsta: [END]}", [&](GPIB32& g) { g.Receive(0, 9, b, 10); },
         0xA130, GPIB_EBUS},
        {"{call: FindLstn, iberr: EDVR}", [&](GPIB32& g) { g.FindLstn(0, probe, m_found, 32); },
         0x8130, GPIB_EDVR},
        {"{call: AllSpoll, iberr: EABO}", [&](GPIB32& g) { g.AllSpoll(0, list, results); }, 0xC130,
         GPIB_EABO},
        {"{call: FindRQS, iberr: EBUS}", [&](GPIB32& g) { g.FindRQS(0, list, v); }, 0x8130,
         GPIB_EBUS},
        {"{call: ReadStatusByte, iberr: ESTB}", [&](GPIB32& g) { g.ReadStatusByte(0, 9, v); },
         0x8130, GPIB_ESTB},
        {"{call: TestSRQ, iberr: ENEB}", [&](GPIB32& g) { g.TestSRQ(0, v); }, 0x8130, GPIB_ENEB},
        {"{call: Trigger, iberr: EOIP}", [](GPIB32& g) { g.Trigger(0, 9); }, 0x8130, GPIB_EOIP},
        {"{call: DevClear, iberr: EBUS}", [](GPIB32& g) { g.DevClear(0, 9); }, 0x8130, GPIB_EBUS},
    };
    for (const auto& r : rows) {
        withFaults(std::string("    - ") + r.fault + "\n");
        m_gpib.SendIFC(0);  // faults of SendIFC itself fail this one
        r.call(m_gpib);
        expect(r.ibsta, r.iberr, r.fault);
    }
}

TEST_F(Faults, FaultsCountTheirCallsHealAndKeepToTheirAddress) {
    withFaults(
        "    - {call: Send, resource: GPIB0::7::2::INSTR, after: 2, times: 1, iberr: ENOL}\n");
    openBoard();
    const struct {
        int16_t addr;
        int iberrOrOk;
    } script[] = {{9, -1}, {0x6207, -1}, {0x6207, -1}, {9, -1}, {0x6207, GPIB_ENOL}, {0x6207, -1}};
    for (const auto& s : script) {
        send(s.addr);
        if (s.iberrOrOk < 0) {
            EXPECT_EQ(m_gpib.ibsta & GPIB_ERR, 0) << s.addr;
        } else {
            expect(0x8128, s.iberrOrOk, "the third Send to 7::2");  // still talker from the last
        }
    }
}

TEST_F(Faults, OddListenerCountsComeFromAFaultThatKeepsTheCall) {
    std::vector<int16_t> list = probe();
    withFaults("    - {call: FindLstn, count: -1}\n");
    openBoard();
    m_gpib.FindLstn(0, list, m_found, 32);
    EXPECT_EQ(m_gpib.ibsta & 0xFFFF, 0x0130);
    EXPECT_EQ(m_gpib.ibcnt, -1);
    EXPECT_EQ(m_found[0], 0x6207);  // the search itself ran
    withFaults("    - {call: FindLstn, iberr: ETAB, count: 64, perform: true}\n");
    openBoard();
    m_gpib.FindLstn(0, list, m_found, 32);
    expect(0x8130, GPIB_ETAB, "64 listeners");
    EXPECT_EQ(m_gpib.ibcnt, 64);
}

TEST_F(Faults, BoardsThatAreMissingOrNotController) {
    ASSERT_EQ(reload(benchFile("absent_board.yaml")), 0);
    EXPECT_EQ(m_gpib.ibfind(FromUtf8("GPIB0")), -1);
    expect(0x8000, GPIB_ENEB, "ibfind of the missing board");
    EXPECT_EQ(m_gpib.ibfind(FromUtf8("GPIB1")), 1);
    m_gpib.ibask(1, 1, m_v);
    EXPECT_EQ(m_v, 21);
    ASSERT_EQ(reload(benchFile("not_controller.yaml")), 0);
    EXPECT_EQ(m_gpib.ibfind(FromUtf8("GPIB0")), 0);
    m_gpib.SendIFC(0);
    expect(0x8100, GPIB_ESAC, "SendIFC");
    m_gpib.ibsre(0, 1);
    expect(0x8100, GPIB_ESAC, "ibsre");
    send(9);
    expect(0x8100, GPIB_ECIC, "Send");
}

TEST_F(Faults, InstrumentsThatMisbehave) {
    ASSERT_EQ(reload(benchFile("troubled.yaml")), 0);
    std::vector<int16_t> list = probe(), results(65, 0);
    m_gpib.FindLstn(0, list, m_found, 32);
    expect(0x8130, GPIB_ETAB, "more listeners than room");
    EXPECT_EQ(m_gpib.ibcnt, 32);
    std::vector<int16_t> polled = {9, 4, 5, -1};
    m_gpib.AllSpoll(0, polled, results);
    expect(0xC130, GPIB_EABO, "a device that does not answer its poll");
    EXPECT_EQ(m_gpib.ibcnt, 1);
    send(5);
    expect(0xC130, GPIB_EABO, "a device that holds off data");
    send(8);
    expect(0x8130, GPIB_ENOL, "a device that is switched off");
    m_gpib.Trigger(0, 6);
    int16_t srq = 0, status = 0;
    m_gpib.TestSRQ(0, srq);
    EXPECT_EQ(srq, 1);
    std::vector<int16_t> six = {9, 6, -1};
    m_gpib.FindRQS(0, six, status);
    expect(0x9130, GPIB_ETAB, "SRQ asserted but no poll shows RQS");
    EXPECT_EQ(m_gpib.ibcnt, 2);
}

}  // namespace
