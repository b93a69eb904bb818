#pragma once
// The part of opening a board that start-up and the controller selection
// share: REN, the default timeout, the listener search and the buttons.

#include "window/window.h"

// Hides the error box, asserts REN, ticks the REN box, enables the timeout
// frame and selects "3 Sec" (which runs the timeout action). False when
// ibsre or the timeout action failed; its report is then showing.
bool AssertRenAndSelectDefaultTimeout(Window& w);

// Searches the bus, selects the device found, and enables the operating
// buttons but the two loop stop buttons.
void FinishOpening(Window& w);
