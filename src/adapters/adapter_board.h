#pragma once
// Serial and network GPIB adapters that speak the "++" command protocol
// (Prologix GPIB-USB and GPIB-ETHERNET controllers, AR488): one kind of
// board of the bundled driver, in two flavours that differ in what they can do.

#include <memory>
#include <string>
#include <vector>

#include "driver/board.h"

namespace adapters {

enum class Flavour { Prologix, Ar488 };

// How reads are asked of the adapter (read_tracker.h): as the probes at open
// find, or as the board map says.
enum class ReadWay { Probe, Fast, Safe };

struct AdapterOptions {
    Flavour flavour = Flavour::Prologix;
    std::string port;  // a serial device (a pseudo-terminal works too); empty for TCP
    int baud = 115200;
    std::string host;  // a TCP adapter; empty for a serial one
    int tcpPort = 1234;
    int controllerAddress = 0;  // what ibask reports as the board's own address
    // Secondary addresses the listener check probes where the adapter has no
    // listener search of its own (probing all 961 would take minutes).
    std::vector<gpibdrv::BusAddress> secondaries;

    ReadWay reads = ReadWay::Probe;

    // How the driver works the adapter; the defaults suit the adapters we
    // know, tests and odd set-ups change them.
    // The adapter's own read timeout (++read_tmo_ms) as opening leaves it;
    // every read and poll then sets the caller's time.
    int readTmoMs = 100;
    // The byte the adapter appends after a byte sent with EOI (++eot_char);
    // read_tracker.h says how it is told from data.
    int eotChar = 0xEA;
    // The read timeout of one listener probe by serial poll (Prologix).
    int probeTmoMs = 20;
    // How long opening may take: connecting, and the version answer (an
    // Arduino resets when its port opens and answers after its boot).
    int openTimeoutMs = 4000;
    // What timeout code 0 ("none") stands for: nothing waits for ever.
    int noTimeoutLimitMs = 30000;
};

// The board; it connects when it is opened (ibfind), not before.
std::unique_ptr<gpibdrv::Board> makeAdapterBoard(const AdapterOptions& options);

// What opening learnt of the adapter, for the person who has one.
struct AdapterReport {
    std::string version;  // its version line
    Flavour flavour = Flavour::Prologix;
    std::vector<int64_t> versionUs;  // how long each version request took
    int markerLines = 1;             // version lines asked behind a read
    bool markTaken = false;          // it took ++eot_char 234
    int eor = -1;                    // AR488: its ++eor when asked (-1: none)
    enum class Fndl { NotAsked, Yes, No } fndl = Fndl::NotAsked;
    enum class HostInput { Untested, Waits, EndsRead } hostInput = HostInput::Untested;
    std::string testRead;         // what the test read did, or why there was none
    ReadWay way = ReadWay::Safe;  // the way the board reads
    std::string why;              // "fast: host input waits for the read", ...
};

// Opens the adapter as a board does (nothing goes to an instrument) and
// answers what it found; testAddress >= 0 makes the host-input test read
// from that address (one where the person knows no instrument is), and
// flavourFromVersion takes the flavour from the version line. kDone, or ENEB
// with why.
int checkAdapter(const AdapterOptions& options, int testAddress, bool flavourFromVersion,
                 AdapterReport& report, std::string& why);
// The report as tm-adapter-check prints it, one finding a line.
std::string formatReport(const AdapterReport& report);

// For recognising an adapter by its serial device: opens the device, asks for
// the version line, and answers it when it answers like this flavour ("" when
// not, or when nothing answered within timeoutMs). Writes nothing else.
std::string probeAdapter(const std::string& port, int baud, Flavour flavour, int timeoutMs);

// For a person asking what a serial device is (tm-boards find --probe): the
// first line it answers to ++ver within timeoutMs, whatever it says, asked
// again every half second while nothing came (an Arduino that reset as its
// port opened hears nothing until it has booted). Writes nothing else. ""
// with the reason when nothing answered.
std::string askVersion(const std::string& port, int baud, int timeoutMs, std::string& why);

}  // namespace adapters
