#pragma once
// Reading the device's answer and showing it, and the two boxes that choose
// the byte a read stops at.

#include "window/window.h"

// Reads one answer of at most 100 bytes and shows it: NULs as '*', cut at the
// first CR (else LF) or with every CR and LF shown as a marker, trailing
// blanks trimmed, optionally with the byte count. A failed read is reported,
// halts the loops and leaves txtResults as it was. Callers learn the outcome
// from ibsta, which still holds the status of the read when it returns.
void cmdRead_Click(Window& w);

// A read stops at CR or at LF, never at both: each box clears the other
// without running the other's action.
void ckCRTerm_Click(Window& w);
void ckLFTerm_Click(Window& w);
