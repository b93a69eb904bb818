#pragma once
// Selecting the device that a listener search found, after start-up and
// after a controller selection.

#include "window/window.h"

// Device and txtAddr take the found display address (primary, or primary x 100
// + secondary). DevAddr takes the bus address word the search stored for that
// device: for a device with a secondary address the display form (501) is not
// an address the driver understands, the stored word (0x6105) is.
void SelectFoundDevice(Window& w);
