#pragma once
// The device address box and its Set button.

#include "window/window.h"

// Any change of the address text, typed or written by an action, makes Set
// usable again.
void txtAddr_Change(Window& w);

// Selects the device at the typed address: a primary address 0-30, or primary
// x 100 + secondary (100-3030, written with three or four characters). The
// old descriptor goes offline, a new one is opened, and the device counts as
// selected only when a listener answers there.
void cmdSet_Click(Window& w);
