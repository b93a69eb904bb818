#pragma once
// The window's description as data: every named control with its kind,
// container, caption, tooltip, twips geometry, tab index and initial state.

#include <vector>

#include "controls/control_description.h"

// The window itself (name "Form1"): caption, client size, icon.
const ControlDescription& FormSpec();

// Every control in the window, containers before the controls they hold.
const std::vector<ControlDescription>& FormLayout();

// Frames of the window and the icon/logo resources the view loads.
inline constexpr const char* kIconResource = ":/tarvel-morrow/icon.ico";
inline constexpr const char* kLogoResource = ":/tarvel-morrow/logo.bmp";
