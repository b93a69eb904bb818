#pragma once
// The IEEE 488.1 commands: Trigger, Serial Poll and Device Clear address the
// selected device; Send IFC clears the whole interface.

#include "window/window.h"

void cmdTrig_Click(Window& w);
void cmdSPoll_Click(Window& w);
void cmdDevClr_Click(Window& w);
// Also restores REN as the REN box says and stops both repeating loops.
void cmdIFC_Click(Window& w);
