#pragma once
// The window to a screen reader or an automation tool: each widget named and
// described from the window's description, frames as named groups, the logo
// as a graphic, and the timeout options as radio buttons.

#include <QWidget>

#include "controls/control.h"

// Teaches Qt's accessibility the interfaces above; once per program, before
// the first widget is made.
void InstallAccessibleInterfaces();

// Gives the widget of control its accessible name, description and role.
// Call it right after the widget is made: Qt keeps the first interface it
// makes for a widget, and the role is chosen then.
void DescribeForScreenReaders(QWidget* widget, const Control& control);
