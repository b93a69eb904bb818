#pragma once
// Serial devices that could be a GPIB adapter, by the stable names the
// system gives them under /dev/serial/by-id (the USB maker and product):
// a Prologix by its own name, an AR488 by its Arduino, CH340 or FTDI chip.
// Only names are read, unless the person asks for a probe: then each is
// asked ++ver, and nothing else is written to it.

#include <string>
#include <vector>

namespace boards {

struct SerialCandidate {
    std::string path;     // what a board map names: /dev/serial/by-id/...
    std::string chip;     // what the name says: "Prologix", "Arduino", "CH340", "FTDI"
    std::string kind;     // the board kind it most likely is: prologix | ar488
    bool probed = false;  // asked ++ver
    std::string version;  // its answer, as printable text
    std::string problem;  // why it gave none
};

struct SerialSearch {
    std::string folder;
    std::vector<SerialCandidate> found;
    int others = 0;  // serial devices whose name says none of the above
};

// The folder GPIB_SERIAL_BY_ID names (tests), else /dev/serial/by-id.
std::string serialFolder();

// Reads the folder; with probe, asks every candidate at once, each for at
// most probeMs.
SerialSearch findSerialAdapters(bool probe, int probeMs);

// What a name says about the chip behind it, and the kind that goes with
// it; false for a name that says none of them.
bool recogniseSerialName(const std::string& name, std::string& chip, std::string& kind);

}  // namespace boards
