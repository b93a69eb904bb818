#pragma once
// The identification loop and the command loop, both worked by Timer1: each
// tick does one transaction per running loop and counts. The first failed
// send or read halts all looping until a loop is started again.

#include "window/window.h"

void cmdIDNtst_Click(Window& w);
void cmdIDNtstoff_Click(Window& w);
void cmdCmdtst_Click(Window& w);
void cmdCmdtstoff_Click(Window& w);

void Timer1_Timer(Window& w);
