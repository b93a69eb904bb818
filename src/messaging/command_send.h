#pragma once
// The command box and its Send button.

#include <cstdint>

#include "window/window.h"

// Sends the typed command with its terminators; a query is answered at once
// by a read when Auto Query is ticked, anything else is confirmed.
void cmdSend_Click(Window& w);

// Enter in the command box sends, also while the Send button is disabled. The
// key itself is passed on unchanged.
void combCmd_KeyPress(Window& w, int16_t& KeyAscii);
