// The one-line report of a failed driver call, for the error box.

#include "gpib/gpib32.h"

namespace {

struct BitText {
    uint16_t bit;
    const char16_t* text;
};

// In report order, bit 15 down to bit 0.
constexpr BitText kBits[] = {
    {0x8000, u"ERR "},  {0x4000, u"TIMO "},  {0x2000, u"END "},   {0x1000, u"SRQI "},
    {0x0800, u"RQS "},  {0x0400, u"SPOLL "}, {0x0200, u"EVENT "}, {0x0100, u"CMPL "},
    {0x0080, u"LOK "},  {0x0040, u"REM "},   {0x0020, u"CIC "},   {0x0010, u"ATN "},
    {0x0008, u"TACS "}, {0x0004, u"LACS "},  {0x0002, u"DTAS "},  {0x0001, u"DCAS "},
};

const char16_t* errorText(int16_t code) {
    switch (code) {
        case 0:
            return u" EDVR <Op System Error>";
        case 1:
            return u" ECIC <Not CIC>";
        case 2:
            return u" ENOL <No Listener>";
        case 3:
            return u" EADR <Address error>";
        case 4:
            return u" EARG <Invalid argument>";
        case 5:
            return u" ESAC <Not Sys Ctrlr>";
        case 6:
            return u" EABO <Operation aborted>";
        case 7:
            return u" ENEB <No GPIB board>";
        case 10:
            return u" EOIP <Async I/O in prg>";
        case 11:
            return u" ECAP <No capability>";
        case 12:
            return u" EFSO <File sys. error>";
        case 14:
            return u" EBUS <Command error>";
        case 15:
            return u" ESTB <Status byte lost>";
        case 16:
            return u" ESRQ <SRQ stuck on>";
        case 20:
            return u" ETAB <Table Overflow>";
        default:
            return u"";
    }
}

}  // namespace

void GPIB32::FormatStatusReport(Text& text) {
    Text report = text;
    report += u",  ibsta = &H";
    report += Hex16(ibsta);
    report += u" <";
    report += u"  ";
    for (const BitText& b : kBits) {
        if (static_cast<uint16_t>(ibsta) & b.bit)
            report += b.text;
    }
    report += u" >, iberr = ";
    report += NumberText(static_cast<long long>(iberr));
    report += errorText(iberr);
    report += u", ibcnt = ";
    report += NumberText(static_cast<long long>(ibcntl));
    text = report;
    StatusReport = std::move(report);
}
