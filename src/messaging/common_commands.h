#pragma once
// The two 488.2 common commands the window sends without typing: Clear
// Status and Reset. Neither answers, so no read follows.

#include "window/window.h"

void cmdCLS_Click(Window& w);
void cmdRST_Click(Window& w);
