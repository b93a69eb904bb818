#pragma once
// The desktop's help facility. On Windows it is HTML Help (HtmlHelpA of
// hhctrl.ocx) and, for the other help files, the system's WinHelp, as the
// common dialog calls it. Elsewhere it is our own: HelpFacility decides what
// to show and HelpWindow shows it, or a message box says what is missing.

#include <QString>

#include "window/platform.h"

class QWidget;

// Shows the help request asks for, beside owner. Reports nothing to the
// program: a file that cannot be shown is the facility's own message.
void ShowDesktopHelp(const HelpRequest& request, QWidget* owner, const QString& programFolder);
