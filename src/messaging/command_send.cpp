#include "messaging/command_send.h"

#include "messaging/device_message.h"
#include "messaging/response_read.h"

namespace {

constexpr int16_t kEnter = 13;

}  // namespace

void cmdSend_Click(Window& w) {
    w.txtError.setVisible(false);
    Text message = TerminatedMessage(w, w.combCmd.text());
    w.txtResults.setText(u"");
    if (!w.deviceGuard()) {
        return;
    }
    // Decided on what the operator typed: the driver boundary may turn a
    // character its code page lacks into '?', which asks nothing.
    const bool query = IsQuery(message);
    if (!SendMessage(w, message)) {
        w.reportError(u"Send error");
        return;
    }
    w.txtError.setVisible(false);
    if (query && w.ckAutoQuery.checked()) {
        cmdRead_Click(w);
    } else {
        w.txtResults.setText(u"Send String => " + message);
    }
}

void combCmd_KeyPress(Window& w, int16_t& KeyAscii) {
    if (KeyAscii == kEnter) {
        cmdSend_Click(w);
    }
}
