#include "messaging/repeating_loops.h"

#include "messaging/device_message.h"
#include "messaging/response_read.h"

namespace {

// Once no loop runs, the count goes away and a halt is forgotten.
void ResetWhenIdle(Window& w) {
    if (w.CMDloopFlg == 0 && w.IDNTestFlg == 0) {
        w.txtCount.setVisible(false);
        w.lblCount.setVisible(false);
        w.LpCount = 0;
        w.TestHalt = 0;
    }
}

// A failure in a tick halts the ticks that follow, not the rest of this one.
void Halt(Window& w, const char16_t* heading) {
    w.reportError(heading);
    w.TestHalt = 1;
}

// Reads the answer to what was just sent. The read reports its own failure;
// the loop's heading replaces that report.
void ReadAnswer(Window& w) {
    cmdRead_Click(w);
    if (w.failed()) {
        Halt(w, u"Receive error");
    }
}

void IdentificationTransaction(Window& w) {
    // Always upper case, whatever the command box shows.
    Text message = TerminatedMessage(w, u"*IDN?");
    if (!SendMessage(w, message)) {
        Halt(w, u"Send error");
        return;
    }
    ReadAnswer(w);
}

void CommandTransaction(Window& w) {
    // Read afresh on every tick: editing the box changes what the loop sends.
    const Text& command = w.combCmd.text();
    if (command.empty()) {
        // Not a halt: it repeats every tick until something is typed.
        w.platform.beep();
        w.txtError.setText(u"Command box empty");
        w.txtError.setVisible(true);
        return;
    }
    w.txtError.setVisible(false);
    Text message = TerminatedMessage(w, command);
    const bool query = IsQuery(message);
    if (!SendMessage(w, message)) {
        Halt(w, u"Send error");
        return;
    }
    if (query && w.ckAutoQuery.checked()) {
        ReadAnswer(w);
    } else {
        w.txtResults.setText(u"Sent string => " + message);
    }
}

}  // namespace

void cmdIDNtst_Click(Window& w) {
    w.combCmd.setText(u"*idn?");
    w.IDNTestFlg = 1;
    w.TestHalt = 0;
    w.cmdIDNtst.setEnabled(false);
    w.cmdIDNtstoff.setEnabled(true);
}

void cmdIDNtstoff_Click(Window& w) {
    w.IDNTestFlg = 0;
    w.cmdIDNtst.setEnabled(true);
    w.cmdIDNtstoff.setEnabled(false);
    ResetWhenIdle(w);
}

void cmdCmdtst_Click(Window& w) {
    if (w.combCmd.text().empty()) {
        w.platform.beep();
        w.txtResults.setText(
            u"No command specified.  Enter a command before starting the Command Loop");
        return;
    }
    w.CMDloopFlg = 1;
    w.TestHalt = 0;
    w.cmdCmdtst.setEnabled(false);
    w.cmdCmdtstoff.setEnabled(true);
}

void cmdCmdtstoff_Click(Window& w) {
    w.CMDloopFlg = 0;
    w.cmdCmdtst.setEnabled(true);
    w.cmdCmdtstoff.setEnabled(false);
    ResetWhenIdle(w);
}

void Timer1_Timer(Window& w) {
    if (w.CMDloopFlg == 0 && w.IDNTestFlg == 0) {
        w.txtCount.setVisible(false);
        w.LpCount = 0;
        return;
    }
    if (w.TestHalt == 1) {
        return;
    }
    w.txtError.setVisible(false);
    if (w.IDNTestFlg == 1) {
        IdentificationTransaction(w);
    }
    if (w.CMDloopFlg == 1) {
        CommandTransaction(w);
    }
    w.txtCount.setVisible(true);
    w.lblCount.setVisible(true);
    ++w.LpCount;
    w.txtCount.setText(PlainDecimal(static_cast<long long>(w.LpCount)));
}
