// The rows of the IEEE 488.2 routines: a success and a refusal each.
#include "entry_point_rows.h"

namespace entrytest {

std::vector<Row> routineRows() {
    return {
        {"AllSPoll",
         [] {
             short r[2] = {-1, -1};
             srqAfterTrigger();
             const Addr4882_t l[] = {kDmm, kCounter, NOADDR};
             AllSPoll(0, l, r);
             return r[0] == 0 && r[1] == 0x41;
         },
         kOk},
        {"AllSpoll bad address",
         [] {
             short r[2];
             const Addr4882_t l[] = {kBad, NOADDR};
             AllSpoll(0, l, r);
             return true;
         },
         EARG},
        {"DevClear",
         [] {
             DevClear(0, kDmm);
             return true;
         },
         kOk},
        {"DevClear nobody there",
         [] {
             DevClear(0, kNobody);
             return true;
         },
         ENOL},
        {"DevClearList",
         [] {
             const Addr4882_t l[] = {kDmm, kPsu, NOADDR};
             DevClearList(0, l);
             bool ok = !(ibsta & ERR);
             DevClearList(0, nullptr);
             return ok;
         },
         kOk},
        {"DevClearList bad address",
         [] {
             const Addr4882_t l[] = {40, NOADDR};
             DevClearList(0, l);
             return true;
         },
         EARG},
        {"EnableLocal",
         [] {
             const Addr4882_t l[] = {kDmm, NOADDR};
             EnableLocal(0, l);
             bool ok = !(ibsta & ERR);
             EnableLocal(0, nullptr);
             return ok;
         },
         kOk},
        {"EnableLocal not system controller",
         [] {
             ibrsc(0, 0);
             EnableLocal(0, nullptr);
             return true;
         },
         ESAC},
        {"EnableRemote",
         [] {
             const Addr4882_t l[] = {kDmm, NOADDR};
             EnableRemote(0, l);
             int v = 0;
             ibask(0, IbaSRE, &v);
             return v == 1;
         },
         kOk},
        {"EnableRemote not system controller",
         [] {
             ibrsc(0, 0);
             EnableRemote(0, nullptr);
             return true;
         },
         ESAC},
        {"FindLstn",
         [] {
             Addr4882_t pads[32], found[8];
             for (int i = 0; i < 31; ++i) pads[i] = Addr4882_t(i + 1);
             pads[30] = NOADDR;
             FindLstn(0, pads, found, 8);
             return ibcnt == 4 && found[0] == kPsu;
         },
         kOk},
        {"FindLstn table too small",
         [] {
             Addr4882_t pads[] = {5, 7, 9, 12, NOADDR}, found[2];
             FindLstn(0, pads, found, 2);
             return true;
         },
         ETAB},
        {"FindRQS",
         [] {
             srqAfterTrigger();
             short s = 0;
             const Addr4882_t l[] = {kDmm, kCounter, NOADDR};
             FindRQS(0, l, &s);
             return s == 0x41 && ibcnt == 1;
         },
         kOk},
        {"FindRQS nobody asks",
         [] {
             short s;
             const Addr4882_t l[] = {kDmm, NOADDR};
             FindRQS(0, l, &s);
             return true;
         },
         ETAB},
        {"PassControl",
         [] {
             giveControlAway();
             bool ok = !(ibsta & ERR) && !(ibsta & CIC);
             SendCmds(0, "?", 1);
             return ok;
         },
         ECIC},
        {"PassControl bad address",
         [] {
             PassControl(0, kBad);
             return true;
         },
         EARG},
        {"PPoll",
         [] {
             PPollConfig(0, kCounter, 8, 1);
             srqAfterTrigger();
             short r = 0;
             PPoll(0, &r);
             return r == 0x80;
         },
         kOk},
        {"PPoll no result",
         [] {
             PPoll(0, nullptr);
             return true;
         },
         EARG},
        {"PPollConfig",
         [] {
             PPollConfig(0, kCounter, 1, 0);
             short r = 0;
             PPoll(0, &r);
             return r == 0x01;
         },
         kOk},
        {"PPollConfig bad line",
         [] {
             PPollConfig(0, kCounter, 9, 1);
             return true;
         },
         EARG},
        {"PPollUnconfig",
         [] {
             PPollConfig(0, kCounter, 1, 0);
             const Addr4882_t l[] = {kCounter, NOADDR};
             PPollUnconfig(0, l);
             short r = 1;
             PPoll(0, &r);
             return r == 0;
         },
         kOk},
        {"PPollUnconfig bad address",
         [] {
             const Addr4882_t l[] = {kBad, NOADDR};
             PPollUnconfig(0, l);
             return true;
         },
         EARG},
        {"RcvRespMsg",
         [] {
             Send(0, kDmm, "*IDN?", 5, NLend);
             ReceiveSetup(0, kDmm);
             char b[64];
             RcvRespMsg(0, b, 64, STOPend);
             return ibcnt == 31;
         },
         kOk, END},
        {"RcvRespMsg nobody addressed",
         [] {
             char b[8];
             RcvRespMsg(0, b, 8, STOPend);
             return true;
         },
         EADR},
        {"ReadStatusByte",
         [] {
             short s = -1;
             ReadStatusByte(0, kDmm, &s);
             return s == 0;
         },
         kOk},
        {"ReadStatusByte nobody there",
         [] {
             short s;
             ReadStatusByte(0, kNobody, &s);
             return true;
         },
         ENOL},
        {"Receive",
         [] {
             Send(0, kDmm, "*IDN?\n", 6, DABend);
             char b[64];
             Receive(0, kDmm, b, 64, '\n');
             return ibcnt == 31;
         },
         kOk, END},
        {"Receive bad termination",
         [] {
             char b[8];
             Receive(0, kDmm, b, 8, 0x200);
             return true;
         },
         EARG},
        {"ReceiveSetup",
         [] {
             ReceiveSetup(0, kDmm);
             return true;
         },
         kOk},
        {"ReceiveSetup bad address",
         [] {
             ReceiveSetup(0, kBad);
             return true;
         },
         EARG},
        {"ResetSys",
         [] {
             const Addr4882_t l[] = {kDmm, NOADDR};
             ResetSys(0, l);
             return true;
         },
         kOk},
        {"ResetSys no list",
         [] {
             ResetSys(0, nullptr);
             return true;
         },
         EARG},
        {"Send",
         [] {
             Send(0, kDmm, "*IDN?", 5, NLend);
             return ibcnt == 5 && readAll(dev(9)).size() == 31;
         },
         kOk},
        {"Send bad end mode",
         [] {
             Send(0, kDmm, "x", 1, 3);
             return true;
         },
         EARG},
        {"SendCmds",
         [] {
             const char c[] = {UNL, UNT};
             SendCmds(0, c, 2);
             return ibcnt == 2;
         },
         kOk},
        {"SendCmds bad count",
         [] {
             SendCmds(0, "x", -1);
             return true;
         },
         EARG},
        {"SendDataBytes",
         [] {
             const Addr4882_t l[] = {kDmm, NOADDR};
             SendSetup(0, l);
             SendDataBytes(0, "*IDN?", 5, NLend);
             return readAll(dev(9)).size() == 31;
         },
         kOk},
        {"SendDataBytes nobody addressed",
         [] {
             SendDataBytes(0, "x", 1, DABend);
             return true;
         },
         ENOL},
        {"SendIFC",
         [] {
             SendIFC(0);
             return true;
         },
         kOk, CIC},
        {"SendIFC not system controller",
         [] {
             ibrsc(0, 0);
             SendIFC(0);
             return true;
         },
         ESAC},
        {"SendList",
         [] {
             const Addr4882_t l[] = {kDmm, NOADDR};
             SendList(0, l, "*IDN?\n", 6, DABend);
             return readAll(dev(9)).size() == 31;
         },
         kOk},
        {"SendList no list",
         [] {
             SendList(0, nullptr, "x", 1, DABend);
             return true;
         },
         EARG},
        {"SendLLO",
         [] {
             SendLLO(0);
             int v = 0;
             ibask(0, IbaSRE, &v);
             return v == 1;
         },
         kOk},
        {"SendLLO not system controller",
         [] {
             ibrsc(0, 0);
             SendLLO(0);
             return true;
         },
         ESAC},
        {"SendSetup",
         [] {
             const Addr4882_t l[] = {kDmm, kPsu, NOADDR};
             SendSetup(0, l);
             return true;
         },
         kOk},
        {"SendSetup empty list",
         [] {
             const Addr4882_t l[] = {NOADDR};
             SendSetup(0, l);
             return true;
         },
         EARG},
        {"SetRWLS",
         [] {
             const Addr4882_t l[] = {kDmm, NOADDR};
             SetRWLS(0, l);
             return true;
         },
         kOk},
        {"SetRWLS no list",
         [] {
             SetRWLS(0, nullptr);
             return true;
         },
         EARG},
        {"TestSRQ",
         [] {
             short r = 1;
             TestSRQ(0, &r);
             return r == 0 && srqAfterTrigger() == 1;
         },
         kOk},
        {"TestSRQ no result",
         [] {
             TestSRQ(0, nullptr);
             return true;
         },
         EARG},
        {"TestSys",
         [] {
             short r[2] = {-1, -1};
             const Addr4882_t l[] = {kDmm, kPsu, NOADDR};
             TestSys(0, l, r);
             return r[0] == 0 && r[1] == 0 && ibcnt == 0;
         },
         kOk},
        {"TestSys nobody there",
         [] {
             short r[1];
             const Addr4882_t l[] = {kNobody, NOADDR};
             TestSys(0, l, r);
             return true;
         },
         ENOL},
        {"Trigger", [] { return srqAfterTrigger() == 1; }, kOk},
        {"Trigger bad address",
         [] {
             Trigger(0, kBad);
             return true;
         },
         EARG},
        {"TriggerList",
         [] {
             const Addr4882_t l[] = {kCounter, NOADDR};
             TriggerList(0, l);
             short on = 0;
             TestSRQ(0, &on);
             return on == 1;
         },
         kOk},
        {"TriggerList bad address",
         [] {
             const Addr4882_t l[] = {40, NOADDR};
             TriggerList(0, l);
             return true;
         },
         EARG},
        {"WaitSRQ",
         [] {
             Trigger(0, kCounter);
             short r = 0;
             WaitSRQ(0, &r);
             return r == 1;
         },
         kOk},
        {"WaitSRQ timeout",
         [] {
             ibtmo(0, T100ms);
             short r = 1;
             WaitSRQ(0, &r);
             return r == 0;
         },
         kOk, TIMO},
        {"WaitSRQ no result",
         [] {
             WaitSRQ(0, nullptr);
             return true;
         },
         EARG},
        {"no such board",
         [] {
             SendIFC(9);
             return true;
         },
         EARG},
    };
}

}  // namespace entrytest
