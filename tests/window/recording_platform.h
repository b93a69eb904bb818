#pragma once
// A platform that records what the handlers ask of the desktop, so beeps,
// repaints, help requests and the end of the program are assertable values.

#include <string>
#include <vector>

#include "text/text.h"
#include "window/platform.h"

class RecordingPlatform : public Platform {
  public:
    void beep() override { ++beeps; }
    void repaint(const TextBox& box) override {
        repaints.push_back(box.name() + ": " + ToUtf8(box.text()));
    }
    void showHelp(const HelpRequest& request) override { help.push_back(request); }
    void quit() override { ++quits; }
    Text programFolder() const override { return folder; }

    int beeps = 0;
    int quits = 0;
    // "name: text as it stood when the repaint was asked for"
    std::vector<std::string> repaints;
    std::vector<HelpRequest> help;
    Text folder = u"/opt/tarvel-morrow";
};
