#pragma once
// The controller side of the session: which board is open and the board's
// own bus address.

#include <cstdint>

#include "window/window.h"

// Board number of a controller name: the number read from its 5th and 6th
// characters ("GPIB0" 0, "gpib12" 12, "GPIB123" 12; shorter names 0).
int16_t BoardNumber(const Text& name);

// Set beside the controller name: opens the named board the way start-up
// opens GPIB0, but writes the address box into the board instead of reading
// the board's address.
void cmdSetIName_Click(Window& w);

// Set beside the controller address: gives the open board a new primary
// address 0-30 and clears the interface.
void cmdSetCtlr_Click(Window& w);
