/* A GPIB program written against linux-gpib's C interface, not ours: it
 * compiles against gpib/ib.h, links with -lgpib, and does what ibtest does on
 * the built-in simulated bench (a multimeter at 9, a counter at 12 that
 * requests service when triggered). Prints each step; exits with the number
 * of steps that went wrong. */
#include <gpib/ib.h>
#include <stdio.h>
#include <string.h>

static int failures;

static void check(int good, const char* step) {
    printf("%s %s (ibsta 0x%04x iberr %d ibcnt %ld)\n", good ? "ok  " : "FAIL", step,
           ThreadIbsta() & 0xffff, ThreadIberr(), ThreadIbcntl());
    if (!good)
        ++failures;
}

static long readText(int ud, char* buf, long size) {
    long n;
    ibrd(ud, buf, size - 1);
    n = (ibsta & ERR) ? 0 : ibcntl;
    buf[n < 0 ? 0 : n] = 0;
    return n;
}

int main(void) {
    char buf[256], stb = 0;
    short lines = 0;
    int board = ibfind("gpib0");
    int dmm, counter;

    check(board == 0 && !(ibsta & ERR) && (ibsta & CIC),
          "ibfind gpib0: the board, controller in charge");
    dmm = ibdev(0, 9, NO_SAD, T3s, 1, 0);
    check(dmm >= 0 && ibsta == CMPL, "ibdev 9");

    ibwrt(dmm, "*IDN?\n", 6);
    check(!(ibsta & ERR) && ibcnt == 6 && ibcntl == 6, "ibwrt *IDN?");
    readText(dmm, buf, sizeof buf);
    check(!strcmp(buf, "SIMULATED BENCH,DMM-9,0001,1.0\n") && (ibsta & END), "ibrd to EOI");

    /* REOS: the read stops at the EOS byte, with END. */
    ibwrt(dmm, "*IDN?\n", 6);
    ibeos(dmm, REOS | ',');
    check(!(ibsta & ERR) && iberr == 0, "ibeos REOS ',' (iberr: the previous mode)");
    readText(dmm, buf, sizeof buf);
    check(!strcmp(buf, "SIMULATED BENCH,") && (ibsta & END), "ibrd stops at ',' (REOS)");
    /* 7-bit compare: 0xAC is ',' with bit 7, and matches without BIN ... */
    ibeos(dmm, REOS | 0xAC);
    readText(dmm, buf, sizeof buf);
    check(!strcmp(buf, "DMM-9,") && (ibsta & END), "ibrd stops at ',' for 0xAC (7-bit EOS)");
    /* ... but not with BIN, which compares all eight bits. */
    ibeos(dmm, REOS | BIN | 0xAC);
    readText(dmm, buf, sizeof buf);
    check(!strcmp(buf, "0001,1.0\n") && (ibsta & END), "ibrd to EOI past ',' (REOS BIN 0xAC)");
    /* Without REOS the byte does not end a read; a full buffer is no END. */
    ibeos(dmm, ',');
    ibwrt(dmm, "*IDN?\n", 6);
    ibrd(dmm, buf, 10);
    check(ibcnt == 10 && !(ibsta & (END | ERR)), "ibrd of 10 bytes: no END");
    readText(dmm, buf, sizeof buf);
    check(!strcmp(buf, "BENCH,DMM-9,0001,1.0\n"), "ibrd of the rest");

    ibrsp(dmm, &stb);
    check(!(ibsta & ERR) && !(stb & 0x40), "ibrsp 9: no service request");

    counter = ibdev(0, 12, NO_SAD, T3s, 1, REOS | '\n');
    ibtrg(counter);
    check(!(ibsta & ERR), "ibtrg 12");
    ibwait(board, SRQI | TIMO);
    check((ibsta & SRQI) && !(ibsta & TIMO), "ibwait board SRQI");
    ibwait(counter, RQS | TIMO);
    check((ibsta & RQS) && !(ibsta & TIMO), "ibwait 12 RQS (automatic serial poll)");
    ibrsp(counter, &stb);
    check(!(ibsta & ERR) && (stb & 0x40) && !(ibsta & RQS), "ibrsp 12: RQS, then no more");
    ibwait(board, 0);
    check(!(ibsta & SRQI), "ibwait board 0: SRQ released");
    readText(counter, buf, sizeof buf);
    check(!strncmp(buf, "LOG 12", 6), "ibrd 12: the triggered reading");

    ibclr(dmm);
    check(!(ibsta & ERR), "ibclr 9");
    ibsic(board);
    check(!(ibsta & ERR) && (ibsta & CIC), "ibsic");
    iblines(board, &lines);
    check(!(ibsta & ERR) && (lines & ValidALL) == ValidALL && !(lines & BusSRQ), "iblines");

    ibonl(dmm, 0);
    check(!(ibsta & ERR), "ibonl 9 0");
    ibwrt(dmm, "*IDN?\n", 6);
    check((ibsta & ERR) && iberr == EARG, "ibwrt on a closed descriptor: EARG");
    printf("%d failed\n", failures);
    return failures;
}
