#include "bus/bus_commands.h"

namespace {

// The outcome of a device command: the report, or the success text.
void finish(Window& w, const Text& heading, const Text& success) {
    if (w.failed()) {
        w.reportError(heading);
        return;
    }
    w.txtError.setVisible(false);
    w.txtResults.setText(success);
}

Text deviceText(const Window& w) {
    return NumberText(w.Device);
}

// Both loops back to idle, as their stop buttons would leave them.
void stopLoops(Window& w) {
    w.IDNTestFlg = 0;
    w.cmdIDNtst.setEnabled(true);
    w.cmdIDNtstoff.setEnabled(false);
    w.CMDloopFlg = 0;
    w.cmdCmdtst.setEnabled(true);
    w.cmdCmdtstoff.setEnabled(false);
    w.txtCount.setVisible(false);
    w.lblCount.setVisible(false);
}

}  // namespace

void cmdTrig_Click(Window& w) {
    w.txtError.setVisible(false);
    // Trigger empties the command box even when it then refuses.
    w.combCmd.setText(u"");
    if (!w.deviceGuard()) {
        return;
    }
    w.gpib.Trigger(w.gpib.BoardIndex, w.gpib.DevAddr);
    finish(w, u"Trigger Error", u"GET sent to device" + deviceText(w));
}

void cmdSPoll_Click(Window& w) {
    w.txtError.setVisible(false);
    if (!w.deviceGuard()) {
        return;
    }
    w.combCmd.setText(u"");
    int16_t status = 0;
    w.gpib.ReadStatusByte(w.gpib.BoardIndex, w.gpib.DevAddr, status);
    finish(w, u"SPoll Error",
           u"Serial poll response for device" + deviceText(w) + u" = " +
               NumberText(static_cast<long long>(status)));
}

void cmdDevClr_Click(Window& w) {
    w.txtError.setVisible(false);
    if (!w.deviceGuard()) {
        return;
    }
    w.combCmd.setText(u"");
    w.gpib.DevClear(w.gpib.BoardIndex, w.gpib.DevAddr);
    finish(w, u"DevCLr Error", u"Selected Device Clear sent to device" + deviceText(w));
}

void cmdIFC_Click(Window& w) {
    w.txtError.setVisible(false);
    w.combCmd.setText(u"");
    w.gpib.SendIFC(w.gpib.BoardIndex);
    if (w.failed()) {
        w.reportError(u"SendIFC Error");
        return;
    }
    w.txtError.setVisible(false);
    w.txtResults.setText(u"Interface Clear sent");
    // After the clear REN follows the REN box again, whatever set it last.
    w.gpib.ibsre(w.bud, w.ckRen.checked() ? 1 : 0);
    if (w.failed()) {
        w.reportError(u"ibSRE Error");
        return;
    }
    stopLoops(w);
}
