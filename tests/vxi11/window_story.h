#pragma once
// The window's whole story, toolkit-free, through whatever driver library is
// loaded: start-up with its listener search, *IDN? with Auto Query, a serial
// poll, Find RQS after a trigger, all polls, a device clear, REN off and on,
// IFC. What each step shows, for comparing one path with another.

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bundled/gpib_sim.h"
#include "gpib/driver_library.h"
#include "gpib/gpib32.h"
#include "ui/form1.h"
#include "window/recording_platform.h"

namespace windowstory {

struct Story {
    std::vector<std::string> shown;  // results and error after each step
    std::string title;
};

// Start-up with its listener search, *IDN? with Auto Query, a serial poll,
// Find RQS after a trigger, all polls, a device clear, REN off and on, IFC.
inline Story tellStory(DriverLibrary& library) {
    GPIB32 gpib(library);
    RecordingPlatform platform;
    Form1 form(gpib, platform);
    Window& w = form.window();
    Story story;
    auto step = [&](const char* name) {
        story.shown.push_back(std::string(name) + ": " + ToUtf8(w.txtResults.text()) + " | " +
                              (w.txtError.visible() ? ToUtf8(w.txtError.text()) : ""));
    };
    form.load();
    story.title = ToUtf8(w.form.title());
    step("start-up");
    w.txtAddr.setText(u"9");
    w.cmdSet.press();
    step("set 9");
    w.ckAutoQuery.setValue(true);
    w.combCmd.setText(u"*IDN?");
    int16_t enter = 13;
    w.combCmd.keyPress.fire(enter);
    step("*IDN?");
    w.cmdSPoll.press();
    step("serial poll");
    w.txtAddr.setText(u"12");
    w.cmdSet.press();
    w.cmdTrig.press();
    step("trigger 12");
    w.cmdFindRQS.press();
    step("find RQS");
    w.cmdAllPoll.press();
    step("all polls");
    w.cmdDevClr.press();
    step("device clear");
    w.ckRen.setValue(false);
    step("REN off");
    w.ckRen.setValue(true);
    step("REN on");
    w.cmdIFC.press();
    step("IFC");
    return story;
}

// Loads the bundled library on a board map of this text (GPIB_BOARDS for the
// time of the load): 0, or the library's refusal.
inline int loadMap(GpibSimReload_fn reload, const std::string& text, const std::string& path) {
    { std::ofstream(path) << text; }
    setenv("GPIB_BOARDS", path.c_str(), 1);
    const int loaded = reload(nullptr);
    unsetenv("GPIB_BOARDS");
    std::remove(path.c_str());
    return loaded;
}

}  // namespace windowstory
