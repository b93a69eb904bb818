// The rows of the traditional calls: a success and a refusal each.
#include "entry_point_rows.h"

namespace entrytest {

std::vector<Row> traditionalRows() {
    return {
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
        // linux-gpib's lib/ibDma.c: success on any good descriptor, nothing changes.
        {"ibdma",
         [] {
             ibdma(0, 1);
             return true;
         },
         kOk, CIC},
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
        // Unknown descriptors: lib/ibutil.c, ibCheckDescriptor() (EARG, ibcnt 0).
        {"ibeot no descriptor",
         [] {
             ibeot(999, 1);
             return ibcnt == 0;
         },
         EARG},
        // lib/ibEvent.c: EARG on a device; a board's empty queue gives EventNone.
        {"ibevent none here",
         [] {
             short e = 99;
             ibevent(0, &e);
             return e == EventNone;
         },
         kOk, CIC},
        {"ibevent on a device",
         [] {
             short e;
             ibevent(dev(9), &e);
             return true;
         },
         EARG},
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
         EARG},
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
         EARG},
        {"ibonl 0 frees",
         [] {
             int d = dev(9);
             ibonl(d, 0);
             bool ok = !(ibsta & ERR);
             ibtmo(d, T1s);
             return ok;
         },
         EARG},
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
        // lib/ibRsv.c: EARG on a device or a byte over 0xFF; the rest is ibrsv's.
        {"ibrsv2",
         [] {
             ibrsv2(0, 0x01, 0);
             int v = 0;
             ibask(0, IbaRsv, &v);
             return v == 1;
         },
         kOk},
        {"ibrsv2 requesting service",
         [] {
             ibrsv2(0, 0x41, 1);
             return true;
         },
         ECAP},
        {"ibrsv2 on a device",
         [] {
             ibrsv2(dev(9), 0x01, 0);
             return true;
         },
         EARG},
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
        // linux-gpib's lib/ibWrt.c sends the size fstat() gives, and EFSO for any
        // file error. What has no end, or none it can promise, is refused
        // unopened: a device, a FIFO (whose open would wait for a writer), a
        // directory.
        {"ibwrtf endless device",
         [] { return bounded([] { ibwrtf(dev(9), "/dev/zero"); }, EINVAL); }, EFSO},
        {"ibwrtf FIFO", [] { return bounded([] { ibwrtf(dev(9), fifo().c_str()); }, EINVAL); },
         EFSO},
        {"ibwrtf directory",
         [] {
             ibwrtf(dev(9), testscratch::folder().c_str());
             return ibcnt == EISDIR;
         },
         EFSO},
        // A regular file is sent as long as it was when opened, however much
        // more it gives: one in /proc says 0 bytes and reads a page.
        {"ibwrtf sends the size only",
         [] {
             ibwrtf(dev(9), "/proc/self/status");
             return ibcnt == 0;
         },
         kOk},
        {"ibrdf FIFO without a reader",
         [] { return bounded([] { ibrdf(dev(9), fifo().c_str()); }, ENXIO); }, EFSO},

    };
}

}  // namespace entrytest
