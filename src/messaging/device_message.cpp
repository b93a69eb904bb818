#include "messaging/device_message.h"

namespace {

// End mode: EOI with the last byte, append nothing.
constexpr int16_t kEoiWithLastByte = 2;

}  // namespace

Text TerminatedMessage(const Window& w, TextView command) {
    const bool cr = w.ckCR.checked();
    const bool lf = w.ckLF.checked();
    Text message;
    message.reserve(command.size() + 2);
    message.append(command);
    if (cr) {
        message.push_back(u'\r');
    }
    if (lf) {
        message.push_back(u'\n');
    }
    return message;
}

bool SendMessage(Window& w, Text& message) {
    w.gpib.Send(w.gpib.BoardIndex, w.gpib.DevAddr, message, kEoiWithLastByte);
    return !w.failed();
}

bool IsQuery(TextView message) {
    return message.find(u'?') != TextView::npos;
}
