#pragma once
// The desktop for the handlers: the system beep, an immediate repaint of a
// box, the end of the program, and the program's folder.

#include "window/platform.h"

class QtView;

class QtPlatform : public Platform {
  public:
    // The view whose widgets repaint() draws; set once the view exists.
    void attach(QtView* view) { m_view = view; }

    void beep() override;
    void repaint(const TextBox& box) override;
    void showHelp(const HelpRequest& request) override;
    void quit() override;
    Text programFolder() const override;

  private:
    QtView* m_view = nullptr;
};
