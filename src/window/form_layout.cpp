#include "window/form_layout.h"

namespace {

using Kind = ControlKind;

ControlDescription make(const char* name, Kind kind, const char* container, std::u16string caption,
                        std::u16string tooltip, TwipsRect rect, int tab) {
    ControlDescription spec;
    spec.name = name;
    spec.kind = kind;
    spec.container = container;
    spec.caption = std::move(caption);
    spec.tooltip = std::move(tooltip);
    spec.rect = rect;
    spec.tabIndex = tab;
    return spec;
}

ControlDescription hidden(ControlDescription spec) {
    spec.visible = false;
    return spec;
}

ControlDescription checked(ControlDescription spec) {
    spec.value = 1;
    return spec;
}

ControlDescription option(int index, std::u16string caption, int left, int width, int tab) {
    ControlDescription spec = make("optTMO", Kind::OptionButton, "frmTimeout", std::move(caption),
                                   u"", {left, 240, width, 255}, tab);
    spec.index = index;
    return spec;
}

std::vector<ControlDescription> build() {
    const char* win = "";
    std::vector<ControlDescription> c;
    ControlDescription title =
        make("lblTitle", Kind::Label, win, u"Tarvel Morrow Utility", u"", {3240, 0, 2895, 255}, 53);
    title.font = FontSpec{"MS Sans Serif", 9.75, 700};
    c.push_back(title);
    c.push_back(make("cmdHelp", Kind::Button, win, u"Help", u"Displays help file",
                     {7800, 120, 1400, 375}, 49));
    c.push_back(hidden(make("txtError", Kind::TextBox, win, u"", u"", {240, 480, 9255, 375}, 50)));

    c.push_back(
        make("frmCtlrName", Kind::Frame, win, u"Controller Name", u"", {240, 1080, 2175, 855}, 0));
    c.push_back(make("cmdSetIName", Kind::Button, "frmCtlrName", u"Set",
                     u"Sets new GPIB Controller device name.", {240, 360, 615, 375}, 1));
    c.push_back(make("combIntfcName", Kind::ComboBox, "frmCtlrName", u"",
                     u"Selects GPIB Controller device name, typically 'gpib0'",
                     {960, 360, 1095, 315}, 2));

    c.push_back(make("frmCtlrAddr", Kind::Frame, win, u"Controller Address", u"",
                     {2640, 1080, 1695, 885}, 3));
    c.push_back(make("cmdSetCtlr", Kind::Button, "frmCtlrAddr", u"Set",
                     u"Sets new Controller Address", {240, 360, 615, 375}, 4));
    c.push_back(make("txtCtlrAddr", Kind::TextBox, "frmCtlrAddr", u"", u"Typically 0 or 21",
                     {960, 360, 495, 375}, 5));

    c.push_back(
        make("frmAddr", Kind::Frame, win, u"Device Address", u"", {4440, 1080, 1695, 885}, 6));
    c.push_back(make("cmdSet", Kind::Button, "frmAddr", u"Set", u"Sets current device address",
                     {240, 360, 615, 375}, 7));
    c.push_back(make("txtAddr", Kind::TextBox, "frmAddr", u"",
                     u"Primary addresses 0-30, secondary addresses 0000-3030", {960, 360, 495, 375},
                     8));

    c.push_back(make("frmREN", Kind::Frame, win, u"REN ", u"", {6240, 1080, 1215, 855}, 9));
    c.push_back(checked(make("ckRen", Kind::CheckBox, "frmREN", u"Assert", u"Asserts REN",
                             {120, 360, 1695, 240}, 10)));

    c.push_back(
        make("frm488_1", Kind::Frame, win, u"488.1 Commands", u"", {7560, 960, 1815, 2295}, 36));
    c.push_back(make("cmdIFC", Kind::Button, "frm488_1", u"Send IFC",
                     u"Sends IFC (Abort) to all devices", {240, 360, 1400, 375}, 37));
    c.push_back(make("cmdDevClr", Kind::Button, "frm488_1", u"Device Clear",
                     u"Sends Device Clear to the set device", {240, 840, 1400, 375}, 38));
    c.push_back(make("cmdSPoll", Kind::Button, "frm488_1", u"Serial Poll",
                     u"Serial Polls the set device", {240, 1320, 1400, 375}, 39));
    c.push_back(make("cmdTrig", Kind::Button, "frm488_1", u"Trigger", u"Triggers the set device",
                     {240, 1800, 1400, 375}, 40));

    c.push_back(
        make("frmCMD", Kind::Frame, win, u"Device Command", u"", {240, 2160, 5895, 1215}, 11));
    c.push_back(make("Label1", Kind::Label, "frmCMD", u"Command Terminators", u"",
                     {360, 360, 1695, 255}, 52));
    c.push_back(make("ckCR", Kind::CheckBox, "frmCMD", u"CR", u"Adds CR to command string",
                     {2160, 360, 855, 255}, 12));
    c.push_back(checked(make("ckLF", Kind::CheckBox, "frmCMD", u"LF",
                             u"Adds linefeed to command string", {3000, 360, 615, 255}, 13)));
    c.push_back(make("combCmd", Kind::ComboBox, "frmCMD", u"", u"", {240, 720, 4455, 315}, 14));
    c.push_back(make("cmdSend", Kind::Button, "frmCMD", u"Send",
                     u"Sends text in then Device Command String box", {4920, 720, 735, 375}, 15));

    c.push_back(
        make("frmResults", Kind::Frame, win, u"Device Response", u"", {240, 3480, 5895, 2295}, 16));
    c.push_back(make("ckAutoQuery", Kind::CheckBox, "frmResults", u"Auto Query",
                     u"Reads a response to any query with a '?' in the command string",
                     {240, 255, 1815, 240}, 17));
    c.push_back(make("ckByteCnt", Kind::CheckBox, "frmResults", u"Display Byte Count",
                     u"Displays input byte count", {240, 480, 2295, 255}, 18));
    c.push_back(make("ckDispAll", Kind::CheckBox, "frmResults", u"Display All Characters",
                     u"Shows all characters including non-printing characters",
                     {240, 720, 2415, 255}, 19));
    c.push_back(make("ckCRTerm", Kind::CheckBox, "frmResults", u"CR Terminator",
                     u"Sets Carriage Return character as the receive message terminator",
                     {2520, 720, 1335, 255}, 54));
    c.push_back(make("ckLFTerm", Kind::CheckBox, "frmResults", u"LF Terminator",
                     u"Sets Linefeed character as the receive message terminator",
                     {4080, 720, 1455, 255}, 55));
    c.push_back(make("cmdRead", Kind::Button, "frmResults", u"Read Device Response",
                     u"Reads device data", {3120, 240, 2535, 375}, 20));
    ControlDescription results =
        make("txtResults", Kind::TextBox, "frmResults", u"", u"", {240, 1080, 5415, 1095}, 21);
    results.multiLine = true;
    c.push_back(results);

    c.push_back(
        make("frm488_2", Kind::Frame, win, u"488.2 Commands", u"", {7560, 3600, 1935, 2775}, 41));
    c.push_back(make("cmdFindLstn", Kind::Button, "frm488_2", u"Find Listeners",
                     u"Finds all GPIB devices on the bus", {240, 360, 1400, 375}, 42));
    c.push_back(make("cmdAllPoll", Kind::Button, "frm488_2", u"All Poll",
                     u"Serial Polls all GPIB devices", {240, 840, 1400, 375}, 43));
    c.push_back(make("cmdFindRQS", Kind::Button, "frm488_2", u"Find RSQ",
                     u"Finds device asserting SRQ", {240, 1320, 1400, 375}, 44));
    c.push_back(make("cmdRST", Kind::Button, "frm488_2", u"Send *RST",
                     u"Sends *RST to the set device", {240, 1800, 1400, 375}, 45));
    c.push_back(make("cmdCLS", Kind::Button, "frm488_2", u"Send  *CLS",
                     u"Sends *CLS to the set device", {240, 2280, 1400, 375}, 46));

    // The loop buttons lie over the frame's rectangle but belong to the window.
    c.push_back(
        make("frmIDNLoop", Kind::Frame, win, u"IDN Message Loop", u"", {240, 5880, 3135, 735}, 22));
    c.push_back(make("cmdIDNtst", Kind::Button, win, u"Run Loop", u"Starts *IDN? query loop",
                     {480, 6120, 1215, 375}, 23));
    c.push_back(make("cmdIDNtstoff", Kind::Button, win, u"Stop Loop", u"Stops *IDN? query loop",
                     {2040, 6120, 1095, 375}, 24));
    c.push_back(hidden(
        make("lblCount", Kind::Label, win, u"Loop Count", u"", {4560, 5880, 1215, 255}, 51)));
    c.push_back(
        hidden(make("txtCount", Kind::TextBox, win, u"", u"", {4440, 6240, 1215, 375}, 28)));

    c.push_back(make("frmCmdLp", Kind::Frame, win, u"Device Command Loop", u"",
                     {240, 6720, 3135, 735}, 25));
    c.push_back(make("cmdCmdtst", Kind::Button, "frmCmdLp", u"Start Loop",
                     u"Starts loop using text inthe Device Command box", {360, 240, 1095, 375},
                     26));
    c.push_back(make("cmdCmdtstoff", Kind::Button, "frmCmdLp", u"Stop Loop",
                     u"Stops Device Command loop", {1800, 240, 1095, 375}, 27));

    c.push_back(make("frmTimeout", Kind::Frame, win, u"Device Timeout",
                     u"Selects GPIB bus timeouts", {240, 7560, 6375, 615}, 29));
    c.push_back(option(0, u"10 mS", 200, 855, 30));
    c.push_back(option(1, u"100mS", 1200, 975, 31));
    c.push_back(option(2, u"1 Sec", 2200, 855, 32));
    c.push_back(option(3, u"3 Sec", 3200, 855, 33));
    c.push_back(option(4, u"10 Sec", 4200, 950, 34));
    c.push_back(option(5, u"None", 5200, 855, 35));

    ControlDescription logo =
        make("ImageTarvel", Kind::Picture, win, u"", u"", {7320, 6480, 2340, 765}, -1);
    logo.image = kLogoResource;
    c.push_back(logo);
    c.push_back(make("cmdExit", Kind::Button, win, u"Exit", u"Exits the program",
                     {7800, 7440, 1400, 375}, 47));
    ControlDescription rev =
        make("txtRev", Kind::TextBox, win, u"", u"", {7200, 7920, 2055, 240}, 48);
    rev.background = SystemColour::InactiveBorder;
    c.push_back(rev);

    ControlDescription timer = make("Timer1", Kind::Timer, win, u"", u"", {}, -1);
    timer.interval = 250;
    c.push_back(timer);
    // The dialog's stored file name is kept as its caption; no action reads it.
    c.push_back(make("cdbHelp", Kind::CommonDialog, win, u"Quillon2.htm", u"", {}, -1));
    return c;
}

}  // namespace

const ControlDescription& FormSpec() {
    static const ControlDescription spec = [] {
        ControlDescription s =
            make("Form1", Kind::Form, "", u"Tarvel Morrow", u"", {0, 0, 9855, 8235}, -1);
        s.image = kIconResource;
        return s;
    }();
    return spec;
}

const std::vector<ControlDescription>& FormLayout() {
    static const std::vector<ControlDescription> layout = build();
    return layout;
}
