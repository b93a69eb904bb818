#pragma once
// What the bundled driver serves: the boards it builds from a board map, from
// an adapter it recognised, or from a simulated bench, and what the operator
// is told about them.

#include <memory>
#include <string>
#include <vector>

#include "driver/driver.h"

namespace bundled {

struct Configuration {
    std::unique_ptr<gpibdrv::Driver> driver;  // empty when refused
    std::string description;                  // what is served, or why it was refused
    std::vector<std::string> notes;           // what was skipped, one sentence each
    bool describeOpenBoard = false;           // the title names the board opened last
    bool instantTiming = false;               // a simulated bench in instant timing
    std::vector<std::string> devices;         // the serial devices its boards open
};

// The simulated bench of this file ("" for the built-in bench), on every board
// the bench has.
Configuration benchConfiguration(const std::string& path, bool instant);

// The boards of the board map at path, built and not yet opened.
Configuration boardMapConfiguration(const std::string& path, bool instant);

// What the environment says: the board map when there is one; else an adapter
// recognised by its serial device name; else the bench GPIB_SIM_BENCH names
// (the built-in bench without it).
Configuration environmentConfiguration(bool instant);

}  // namespace bundled
