// Every entry point of libgpib.so.0 on the built-in simulated bench, with the
// status linux-gpib documents for it: a success and a refusal each, one row
// a case, each on a fresh bench. Built against our gpib/ib.h and linked with
// the library, as a linux-gpib program is.

#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>

#include "gpib/ib.h"

extern "C" int GpibSimReload(const char* benchPathOrNull);

namespace {

constexpr int kOk = -1;  // no ERR expected
const Addr4882_t kDmm = 9, kCounter = 12, kNobody = 20, kBad = 31;
const Addr4882_t kPsu = MakeAddr(5, 0x61);

struct Row {
    const char* name;
    std::function<bool()> call;  // the call; false when a detail it checks is wrong
    int iberr;                   // kOk, or the error with ERR
    int bits = 0;                // ibsta bits that must be set as well
};

int dev(int pad, int tmo = T3s, int eos = 0) {
    return ibdev(0, pad, NO_SAD, tmo, 1, eos);
}
bool wrote(int ud, const char* text) {
    ibwrt(ud, text, long(strlen(text)));
    return !(ibsta & ERR);
}
std::string readAll(int ud) {
    char buf[256];
    ibrd(ud, buf, sizeof buf);
    return std::string(buf, size_t(ibsta & ERR ? 0 : ibcntl));
}
std::string scratch(const char* name, const char* text = nullptr) {
    std::string path = testing::TempDir() + name;
    std::remove(path.c_str());
    if (text)
        std::ofstream(path) << text;
    return path;
}
short srqAfterTrigger() {
    Trigger(0, kCounter);
    short on = 0;
    TestSRQ(0, &on);
    return on;
}
void giveControlAway() {
    PassControl(0, kDmm);
}

const Row kRows[] = {
    // The traditional calls.
    {"ibask",
     [] {
         int v = -1;
         ibask(0, IbaPAD, &v);
         return v == 0;
     },
     kOk, CIC},
    {"ibask unknown option",
     [] {
         int v;
         ibask(0, 0x77, &v);
         return true;
     },
     EARG},
    {"ibbna",
     [] {
         int d = dev(9);
         ibbna(d, const_cast<char*>("GPIB1"));
         return iberr == 0;
     },
     kOk},
    {"ibbna unknown board",
     [] {
         ibbna(dev(9), const_cast<char*>("gpib7"));
         return true;
     },
     EARG},
    {"ibcac",
     [] {
         ibcac(0, 0);
         return true;
     },
     kOk, CIC | ATN},
    {"ibcac on a device",
     [] {
         ibcac(dev(9), 0);
         return true;
     },
     EARG},
    {"ibclr",
     [] {
         ibclr(dev(9));
         return ibsta == CMPL;
     },
     kOk},
    {"ibclr on a board",
     [] {
         ibclr(0);
         return true;
     },
     EARG},
    {"ibcmd",
     [] {
         const char c[] = {UNL, LAD | 9};
         ibcmd(0, c, 2);
         return ibcnt == 2;
     },
     kOk},
    {"ibcmd on a device",
     [] {
         ibcmd(dev(9), "?", 1);
         return true;
     },
     EARG},
    {"ibcmda",
     [] {
         const char c[] = {UNL};
         ibcmda(0, c, 1);
         return AsyncIbcnt() == 1;
     },
     kOk, CMPL},
    {"ibconfig",
     [] {
         ibconfig(dev(9), IbcTMO, T1s);
         return iberr == T3s;
     },
     kOk},
    {"ibconfig bad value",
     [] {
         ibconfig(dev(9), IbcTMO, 18);
         return true;
     },
     EARG},
    {"ibdev", [] { return ibdev(0, 5, 0x61, T1s, 1, 0) >= 16; }, kOk, CMPL},
    {"ibdev bad address", [] { return ibdev(0, 31, 0, T1s, 1, 0) == -1; }, EARG},
    {"ibdev no such board", [] { return ibdev(5, 9, 0, T1s, 1, 0) == -1; }, EDVR},
    {"ibeos",
     [] {
         int d = dev(9, T3s, 0x40A);
         ibeos(d, 0);
         return iberr == 0x40A;
     },
     kOk},
    {"ibeos bad mode",
     [] {
         ibeos(dev(9), 0x2000);
         return true;
     },
     EARG},
    {"ibeot",
     [] {
         ibeot(dev(9), 0);
         return iberr == 1;
     },
     kOk},
    {"ibeot no descriptor",
     [] {
         ibeot(999, 1);
         return true;
     },
     EDVR},
    {"ibfind", [] { return ibfind("gpib1") == 1; }, kOk, CIC},
    {"ibfind no such name", [] { return ibfind("nosuch") == -1; }, EDVR},
    {"ibgts",
     [] {
         ibgts(0, 0);
         return !(ibsta & ATN);
     },
     kOk, CIC},
    {"ibgts on a device",
     [] {
         ibgts(dev(9), 0);
         return true;
     },
     EARG},
    {"ibist",
     [] {
         ibist(0, 1);
         ibist(0, 0);
         return iberr == 1;
     },
     kOk},
    {"ibist no descriptor",
     [] {
         ibist(-3, 1);
         return true;
     },
     EDVR},
    {"iblines",
     [] {
         short l = 0;
         iblines(0, &l);
         return (l & ValidALL) == ValidALL;
     },
     kOk},
    {"iblines no result",
     [] {
         iblines(0, nullptr);
         return true;
     },
     EARG},
    {"ibln",
     [] {
         short a = 0, b = 0, c = 1;
         ibln(0, 9, NO_SAD, &a);
         ibln(0, 7, ALL_SAD, &b);
         ibln(0, 20, NO_SAD, &c);
         return a == 1 && b == 1 && c == 0;
     },
     kOk},
    {"ibln bad address",
     [] {
         short f;
         ibln(0, 31, NO_SAD, &f);
         return true;
     },
     EARG},
    {"ibloc",
     [] {
         ibloc(dev(9));
         return ibsta == CMPL;
     },
     kOk},
    {"ibloc no descriptor",
     [] {
         ibloc(77);
         return true;
     },
     EDVR},
    {"ibonl 0 frees",
     [] {
         int d = dev(9);
         ibonl(d, 0);
         bool ok = !(ibsta & ERR);
         ibtmo(d, T1s);
         return ok;
     },
     EDVR},
    {"ibonl 1 resets",
     [] {
         int d = dev(9);
         ibtmo(d, T1s);
         ibonl(d, 1);
         int v = 0;
         ibask(d, IbaTMO, &v);
         return v == T3s;
     },
     kOk},
    {"ibpad",
     [] {
         ibpad(dev(9), 12);
         return iberr == 9;
     },
     kOk},
    {"ibpad bad address",
     [] {
         ibpad(dev(9), 31);
         return true;
     },
     EARG},
    {"ibpct",
     [] {
         ibpct(dev(9));
         bool ok = !(ibsta & ERR);
         wrote(dev(12), "ID\n");
         return ok;
     },
     ECIC},
    {"ibpct on a board",
     [] {
         ibpct(0);
         return true;
     },
     EARG},
    {"ibppc",
     [] {
         int c = dev(12);
         ibppc(c, PPE_byte(3, 1));
         char r = 0;
         srqAfterTrigger();
         ibrpp(0, &r);
         return r == 0x04;
     },
     kOk},
    {"ibppc bad byte",
     [] {
         ibppc(dev(9), 0x55);
         return true;
     },
     EARG},
    {"ibppc board without PP2",
     [] {
         ibppc(0, PPE_byte(1, 1));
         return true;
     },
     ECAP},
    {"ibrd",
     [] {
         int d = dev(9);
         wrote(d, "*IDN?\n");
         return readAll(d).rfind("SIMULATED", 0) == 0;
     },
     kOk, END},
    {"ibrd nothing to read",
     [] {
         readAll(dev(9));
         return ibcnt == 0;
     },
     EABO, TIMO},
    {"ibrd board nobody talks",
     [] {
         char b[4];
         ibrd(0, b, 4);
         return true;
     },
     EADR},
    {"ibrda",
     [] {
         int d = dev(9);
         wrote(d, "*IDN?\n");
         char b[64];
         ibrda(d, b, 64);
         ibwait(d, CMPL);
         return AsyncIbcnt() == 31 && (AsyncIbsta() & END);
     },
     kOk, CMPL},
    {"ibrdf",
     [] {
         int d = dev(9);
         wrote(d, "*IDN?\n");
         std::string p = scratch("rdf.txt");
         ibrdf(d, p.c_str());
         std::ifstream f(p);
         std::string s;
         std::getline(f, s);
         return s == "SIMULATED BENCH,DMM-9,0001,1.0";
     },
     kOk, END},
    {"ibrdf bad path",
     [] {
         ibrdf(dev(9), "/nonexistent/dir/x");
         return ibcnt == ENOENT;
     },
     EFSO},
    {"ibrpp",
     [] {
         char r = 1;
         ibrpp(0, &r);
         return r == 0;
     },
     kOk, CIC},
    {"ibrpp no result",
     [] {
         ibrpp(0, nullptr);
         return true;
     },
     EARG},
    {"ibrsc",
     [] {
         ibrsc(0, 0);
         bool ok = !(ibsta & ERR) && iberr == 1;
         ibsic(0);
         return ok;
     },
     ESAC},
    {"ibrsc on a device",
     [] {
         ibrsc(dev(9), 1);
         return true;
     },
     EARG},
    {"ibrsp",
     [] {
         char s = 1;
         ibrsp(dev(9), &s);
         return s == 0;
     },
     kOk},
    {"ibrsp on a board",
     [] {
         char s;
         ibrsp(0, &s);
         return true;
     },
     EARG},
    {"ibrsv",
     [] {
         ibrsv(0, 0x01);
         int v = 0;
         ibask(0, IbaRsv, &v);
         return v == 1;
     },
     kOk},
    {"ibrsv requesting service",
     [] {
         ibrsv(0, 0x41);
         return true;
     },
     ECAP},
    {"ibsad",
     [] {
         ibsad(dev(5), 0x61);
         return iberr == 0;
     },
     kOk},
    {"ibsad bad address",
     [] {
         ibsad(dev(5), 0x50);
         return true;
     },
     EARG},
    {"ibsic",
     [] {
         ibsic(0);
         return true;
     },
     kOk, CIC},
    {"ibsic on a device",
     [] {
         ibsic(dev(9));
         return true;
     },
     EARG},
    {"ibspb",
     [] {
         short n = 5;
         ibspb(dev(9), &n);
         return n == 0;
     },
     kOk},
    {"ibspb on a board",
     [] {
         short n;
         ibspb(0, &n);
         return true;
     },
     EARG},
    {"ibsre",
     [] {
         ibsre(0, 1);
         ibsre(0, 0);
         return iberr == 1;
     },
     kOk},
    {"ibsre on a device",
     [] {
         ibsre(dev(9), 1);
         return true;
     },
     EARG},
    {"ibstop nothing to stop",
     [] {
         ibstop(dev(9));
         return true;
     },
     kOk, CMPL},
    {"ibtmo",
     [] {
         ibtmo(0, T1s);
         return iberr == T10s;
     },
     kOk},
    {"ibtmo bad code",
     [] {
         ibtmo(0, 18);
         return true;
     },
     EARG},
    {"ibtrg",
     [] {
         ibtrg(dev(12));
         return srqAfterTrigger() == 1;
     },
     kOk},
    {"ibtrg on a board",
     [] {
         ibtrg(0);
         return true;
     },
     EARG},
    {"ibvers leaves the status",
     [] {
         ibwait(0, 0);
         char* v = nullptr;
         ibvers(&v);
         return v && *v;
     },
     kOk, CIC},
    {"ibwait CMPL",
     [] {
         ibwait(dev(9), CMPL);
         return true;
     },
     kOk, CMPL},
    {"ibwait timeout",
     [] {
         ibwait(dev(9, T100ms), RQS | TIMO);
         return !(ibsta & RQS);
     },
     kOk, TIMO},
    {"ibwait SRQI on a device",
     [] {
         ibwait(dev(9), SRQI);
         return true;
     },
     EARG},
    {"ibwait 0: status now",
     [] {
         srqAfterTrigger();
         ibwait(0, 0);
         return true;
     },
     kOk, SRQI | CIC},
    {"ibwrt", [] { return wrote(dev(9), "*IDN?\n") && ibcnt == 6; }, kOk, CMPL},
    {"ibwrt nobody listens",
     [] {
         wrote(dev(kNobody), "x");
         return true;
     },
     ENOL},
    {"ibwrt board to the listeners",
     [] {
         SendSetup(0, std::array<Addr4882_t, 2>{kDmm, NOADDR}.data());
         return wrote(0, "*IDN?\n") && readAll(dev(9)).size() == 31;
     },
     kOk},
    {"ibwrta",
     [] {
         wrote(dev(9), "*IDN?\n");
         ibwrta(dev(9), "*IDN?\n", 6);
         ibwait(dev(9), CMPL);
         return AsyncIbcnt() == 6;
     },
     kOk, CMPL},
    {"ibwrtf",
     [] {
         std::string p = scratch("wrtf.txt", "*IDN?\n");
         int d = dev(9);
         ibwrtf(d, p.c_str());
         bool ok = ibcnt == 6;
         return ok && readAll(d).size() == 31;
     },
     kOk, END},
    {"ibwrtf missing file",
     [] {
         ibwrtf(dev(9), "/nonexistent/x");
         return ibcnt == ENOENT;
     },
     EFSO},

    // The IEEE 488.2 routines.
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
     EDVR},
};

class EntryPoint : public testing::TestWithParam<Row> {};

TEST_P(EntryPoint, HasItsDocumentedStatus) {
    setenv("GPIB_SIM_INSTANT", "1", 1);
    ASSERT_EQ(GpibSimReload(""), 0);
    const Row& row = GetParam();
    bool details = row.call();
    const int status = ThreadIbsta();
    EXPECT_TRUE(details) << "ibsta 0x" << std::hex << status << std::dec << " iberr " << iberr;
    EXPECT_EQ(status, ibsta) << "the global and the thread's status agree";
    if (row.iberr == kOk) {
        EXPECT_EQ(status & ERR, 0) << "iberr " << ThreadIberr() << " " << gpib_error_string(iberr);
    } else {
        EXPECT_EQ(status & ERR, ERR);
        EXPECT_EQ(ThreadIberr(), row.iberr) << gpib_error_string(ThreadIberr());
    }
    EXPECT_EQ(status & row.bits, row.bits) << "ibsta 0x" << std::hex << status;
}

INSTANTIATE_TEST_SUITE_P(LinuxGpib, EntryPoint, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<Row>& info) {
                             std::string n;
                             for (const char* c = info.param.name; *c; ++c)
                                 n += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                             return n;
                         });

TEST(ErrorString, NamesEachCode) {
    const int codes[] = {EDVR, ECIC, ENOL, EADR, EARG, ESAC, EABO, ENEB,
                         EDMA, EOIP, ECAP, EFSO, EBUS, ESTB, ESRQ, ETAB};
    const char* names[] = {"EDVR", "ECIC", "ENOL", "EADR", "EARG", "ESAC", "EABO", "ENEB",
                           "EDMA", "EOIP", "ECAP", "EFSO", "EBUS", "ESTB", "ESRQ", "ETAB"};
    for (size_t i = 0; i < std::size(codes); ++i)
        EXPECT_EQ(std::string(gpib_error_string(codes[i])).rfind(names[i], 0), 0u) << codes[i];
    EXPECT_STREQ(gpib_error_string(99), "unknown error");
}

}  // namespace
