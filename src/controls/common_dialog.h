#pragma once
// The common-dialog component: no visible part, only the help settings that
// the double-click help route hands to the platform.

#include "controls/control.h"

class CommonDialog : public Control {
  public:
    explicit CommonDialog(const ControlDescription& spec) : Control(spec) {}

    std::u16string HelpFile;
    int HelpCommand = 0;
};
