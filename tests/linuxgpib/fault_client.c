/* A linux-gpib program in CI on the simulated bench: the bench file's faults
 * (benches/faults.yaml) reach it as the iberr they name. Exits with the
 * number of checks that went wrong. */
#include <gpib/ib.h>
#include <stdio.h>

static int failures;

static void check(int good, const char* step) {
    printf("%s %s (ibsta 0x%04x iberr %d ibcnt %d)\n", good ? "ok  " : "FAIL", step, ibsta & 0xffff,
           iberr, ibcnt);
    if (!good)
        ++failures;
}

int main(void) {
    char buf[64];
    int dmm = ibdev(0, 9, NO_SAD, T1s, 1, 0);
    check(dmm >= 0, "ibdev 9");
    ibwrt(dmm, "*IDN?\n", 6);
    check(!(ibsta & ERR), "the first ibwrt goes through");
    ibrd(dmm, buf, sizeof buf);
    check((ibsta & (ERR | TIMO)) == (ERR | TIMO) && iberr == EABO && ibcnt == 3,
          "ibrd: the bench's EABO, with TIMO and 3 bytes");
    ibwrt(dmm, "*IDN?\n", 6);
    check((ibsta & ERR) && iberr == ENOL, "the second ibwrt: the bench's ENOL");
    ibwrt(dmm, "*IDN?\n", 6);
    check(!(ibsta & ERR), "the third goes through: the fault healed");
    printf("%d failed\n", failures);
    return failures;
}
