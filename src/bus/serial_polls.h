#pragma once
// The bus-wide serial polls over the found list: All Poll shows every found
// device's status byte, Find RSQ names the device that requests service.

#include "window/window.h"

void cmdAllPoll_Click(Window& w);
void cmdFindRQS_Click(Window& w);
