// Sending, reading, the common commands and the two loops: every way each of
// them fails or refuses.

#include "reliability/fault_row.h"

namespace {

const char* const kGuard = "No devices found. Use Findlstn or enter and set a device address";

// Leaves no device selected while DevAddr still names the multimeter: an
// address out of range is refused after FoundFlg went to 0.
void forgetDevice(SimWindow& s) {
    s.setAddress(u"31");
}

void typeQuery(SimWindow& s) {
    s.w().combCmd.setText(u"*IDN?");
}

void tick(SimWindow& s) {
    s.w().Timer1.tick();
}

// One working tick's count.
Changes counted(const char* n) {
    return {
        {"txtCount.visible", "1"}, {"lblCount.visible", "1"}, {"LpCount", n}, {"txtCount.text", n}};
}

}  // namespace

std::vector<FaultRow> MessagingRows() {
    return {
        {"SendGuard",
         "",
         [](SimWindow& s) {
             forgetDevice(s);
             typeQuery(s);
         },
         [](SimWindow& s) { s.w().cmdSend.press(); },
         {{"txtResults.text", kGuard}},
         1},
        {"SendNoListener", "  faults:\n    - {call: Send, iberr: ENOL}\n", typeQuery,
         [](SimWindow& s) { s.w().cmdSend.press(); },
         Changes{{"txtResults.text", ""}} +
             ErrorBox("Send error,  ibsta = &H8130 <  ERR CMPL CIC ATN  >, iberr =  2 ENOL <No "
                      "Listener>, ibcnt =  1")},
        // An instrument that holds off its data bytes: the send times out.
        {"SendTimesOut", "  instruments:\n    GPIB0::9::INSTR: {accepts_data: false}\n", typeQuery,
         [](SimWindow& s) { s.w().cmdSend.press(); },
         Changes{{"txtResults.text", ""}} +
             ErrorBox("Send error,  ibsta = &HC130 <  ERR TIMO CMPL CIC ATN  >, iberr =  6 EABO "
                      "<Operation aborted>, ibcnt =  0")},
        // The query went out; the read it runs reports under its own heading.
        {"SendAutoQueryReadFails", "  faults:\n    - {call: Receive, iberr: EABO}\n", typeQuery,
         [](SimWindow& s) { s.w().cmdSend.press(); },
         Changes{{"txtResults.text", ""}, {"TestHalt", "1"}} +
             ErrorBox("Receive Error,  ibsta = &HC128 <  ERR TIMO CMPL CIC TACS  >, iberr =  6 "
                      "EABO <Operation aborted>, ibcnt =  6")},
        {"ReadGuard",
         "",
         forgetDevice,
         [](SimWindow& s) { s.w().cmdRead.press(); },
         {{"txtResults.text", kGuard}},
         1},
        // Nothing to say: the read waits the timeout; the results stay.
        {"ReadTimesOut", "", nullptr, [](SimWindow& s) { s.w().cmdRead.press(); },
         Changes{{"TestHalt", "1"}} +
             ErrorBox("Receive Error,  ibsta = &HC124 <  ERR TIMO CMPL CIC LACS  >, iberr =  6 "
                      "EABO <Operation aborted>, ibcnt =  0")},
        {"ClsGuard",
         "",
         [](SimWindow& s) {
             forgetDevice(s);
             s.w().combCmd.setText(u"typed");
         },
         [](SimWindow& s) { s.w().cmdCLS.press(); },
         {{"txtResults.text", kGuard}},
         1},
        {"ClsSendFails", "  faults:\n    - {call: Send, iberr: ECAP}\n",
         [](SimWindow& s) { s.w().combCmd.setText(u"typed"); },
         [](SimWindow& s) { s.w().cmdCLS.press(); },
         Changes{{"txtResults.text", ""}, {"combCmd.text", ""}} +
             ErrorBox("Send error,  ibsta = &H8130 <  ERR CMPL CIC ATN  >, iberr =  11 ECAP <No "
                      "capability>, ibcnt =  1")},
        {"RstSendFails", "  faults:\n    - {call: Send, iberr: EBUS}\n",
         [](SimWindow& s) { s.w().combCmd.setText(u"typed"); },
         [](SimWindow& s) { s.w().cmdRST.press(); },
         Changes{{"txtResults.text", ""}, {"combCmd.text", ""}} +
             ErrorBox("Send error,  ibsta = &H8130 <  ERR CMPL CIC ATN  >, iberr =  14 EBUS "
                      "<Command error>, ibcnt =  1")},
    };
}

std::vector<FaultRow> LoopRows() {
    return {
        {"IdnLoopSendFails", "  faults:\n    - {call: Send, iberr: ENOL}\n",
         [](SimWindow& s) { s.w().cmdIDNtst.press(); }, tick,
         counted("1") + Changes{{"TestHalt", "1"}} +
             ErrorBox("Send error,  ibsta = &H8130 <  ERR CMPL CIC ATN  >, iberr =  2 ENOL <No "
                      "Listener>, ibcnt =  1")},
        // The loop's own heading replaces the read's report.
        {"IdnLoopReceiveFails", "  faults:\n    - {call: Receive, iberr: EABO}\n",
         [](SimWindow& s) { s.w().cmdIDNtst.press(); }, tick,
         counted("1") + Changes{{"TestHalt", "1"}} +
             ErrorBox("Receive error,  ibsta = &HC128 <  ERR TIMO CMPL CIC TACS  >, iberr =  6 "
                      "EABO <Operation aborted>, ibcnt =  6")},
        {"CommandLoopSendFails", "  faults:\n    - {call: Send, iberr: ENOL}\n",
         [](SimWindow& s) {
             s.w().combCmd.setText(u"READ?");
             s.w().cmdCmdtst.press();
         },
         tick,
         counted("1") + Changes{{"TestHalt", "1"}} +
             ErrorBox("Send error,  ibsta = &H8130 <  ERR CMPL CIC ATN  >, iberr =  2 ENOL <No "
                      "Listener>, ibcnt =  1")},
        {"CommandLoopReceiveFails", "  faults:\n    - {call: Receive, iberr: EABO}\n",
         [](SimWindow& s) {
             s.w().combCmd.setText(u"READ?");
             s.w().cmdCmdtst.press();
         },
         tick,
         counted("1") + Changes{{"TestHalt", "1"}} +
             ErrorBox("Receive error,  ibsta = &HC128 <  ERR TIMO CMPL CIC TACS  >, iberr =  6 "
                      "EABO <Operation aborted>, ibcnt =  6")},
        // Not a halt: the count goes on and the next tick says it again.
        {"CommandLoopEmptyBox", "",
         [](SimWindow& s) {
             s.w().combCmd.setText(u"READ?");
             s.w().cmdCmdtst.press();
             s.w().combCmd.setText(u"");
         },
         tick, counted("1") + ErrorBox("Command box empty"), 1},
        // The send works; the read refuses with the device guard, no halt.
        {"IdnLoopWithoutDevice", "",
         [](SimWindow& s) {
             forgetDevice(s);
             s.w().cmdIDNtst.press();
         },
         tick, counted("1") + Changes{{"txtResults.text", kGuard}}, 1},
        // Halted: the next ticks change nothing at all.
        {"HaltedLoopStaysStill",
         "  faults:\n    - {call: Send, iberr: ENOL}\n",
         [](SimWindow& s) {
             s.w().cmdIDNtst.press();
             tick(s);
         },
         [](SimWindow& s) {
             tick(s);
             tick(s);
         },
         {}},
        {"CommandLoopStartEmpty",
         "",
         nullptr,
         [](SimWindow& s) { s.w().cmdCmdtst.press(); },
         {{"txtResults.text",
           "No command specified.  Enter a command before starting the Command Loop"}},
         1},
    };
}
