#pragma once
// Leaving the program.

#include "window/window.h"

// Ends the program at once: no driver call, nothing taken offline.
void cmdExit_Click(Window& w);
