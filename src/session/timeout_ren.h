#pragma once
// The board's I/O timeout and the Remote Enable line.

#include <cstdint>

#include "window/window.h"

// Timeout code of option index (0-5); -1 for any other index.
int16_t TimeoutCode(int16_t index);

// A timeout option became selected. Reports nothing: callers that care test
// ibsta afterwards.
void optTMO_Click(Window& w, int16_t index);

void ckRen_Click(Window& w);
