#pragma once
// What the handlers need from the desktop besides the controls: the beep, an
// immediate repaint of one box before a blocking call, the help facility and
// the end of the program. The Qt view implements it; tests record it.

#include "controls/text_box.h"
#include "text/text.h"

// One request to the help facility, by the route the operator took.
struct HelpRequest {
    enum class Route {
        HtmlHelp,      // the Help button: file, command, data
        CommonDialog,  // double click on the window: file, command
        ContextHelp,   // F1: help file setting, context number in data
    };
    Route route = Route::HtmlHelp;
    Text file;
    int command = 0;
    long data = 0;
};

class Platform {
  public:
    virtual ~Platform() = default;

    virtual void beep() = 0;
    // Draws box now, so its text shows while the next driver call blocks.
    virtual void repaint(const TextBox& box) = 0;
    virtual void showHelp(const HelpRequest& request) = 0;
    // Ends the program at once.
    virtual void quit() = 0;
    // The folder of the running program, without a trailing separator.
    virtual Text programFolder() const = 0;
};
