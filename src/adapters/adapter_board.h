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

    // How the driver works the adapter; the defaults suit the adapters we
    // know, tests and odd set-ups change them.
    // The adapter's own read timeout (++read_tmo_ms) between two bytes: a
    // read that ends without EOI is over this long after its last byte.
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
