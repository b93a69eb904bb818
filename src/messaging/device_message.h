#pragma once
// The two rules every message to the device follows, whoever sends it: the
// typed command, the common commands and both loops.

#include "window/window.h"

// The command followed by a carriage return when ckCR is ticked, then a line
// feed when ckLF is ticked; nothing else is added and nothing typed is touched.
Text TerminatedMessage(const Window& w, TextView command);

// Sends message to the selected device, EOI with its last byte and no byte of
// the driver's own. True when the driver reports no error.
bool SendMessage(Window& w, Text& message);

// A message with a question mark anywhere asks for an answer.
bool IsQuery(TextView message);
