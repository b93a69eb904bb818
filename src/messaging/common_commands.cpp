#include "messaging/common_commands.h"

#include "messaging/device_message.h"

namespace {

// Sends command with the usual terminators and confirms it with the device's
// address. Past the guard, the typed command is cleared whatever happens, so
// it cannot be mistaken for what was sent.
void SendCommonCommand(Window& w, const char16_t* command, const char16_t* confirmation) {
    w.txtError.setVisible(false);
    if (!w.deviceGuard()) {
        return;
    }
    w.txtResults.setText(u"");
    w.combCmd.setText(u"");
    Text message = TerminatedMessage(w, command);
    if (!SendMessage(w, message)) {
        w.reportError(u"Send error");
        return;
    }
    w.txtError.setVisible(false);
    w.txtResults.setText(confirmation + NumberText(w.Device));
}

}  // namespace

void cmdCLS_Click(Window& w) {
    SendCommonCommand(w, u"*CLS", u"*CLS sent to device");
}

void cmdRST_Click(Window& w) {
    SendCommonCommand(w, u"*RST", u"*RST sent to device");
}
