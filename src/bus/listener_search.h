#pragma once
// Find Listeners: asks the driver which addresses listen, lists them, and
// makes the first one found the current device.

#include "window/window.h"

void cmdFindLstn_Click(Window& w);

// Makes sure FoundList holds its end marker within its cells: when no cell
// holds -1, the last cell gets it. Cells before it are left alone.
void TerminateFoundList(Window& w);
