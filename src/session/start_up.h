#pragma once
// Start-up: the window's load action, run once before the window is shown.

#include "window/window.h"

void Form_Load(Window& w);
