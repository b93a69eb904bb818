#include "window/window.h"

bool Window::failed() const {
    return (static_cast<uint16_t>(gpib.ibsta) & 0x8000u) != 0;
}

void Window::reportError(const Text& heading) {
    Text report = heading;
    gpib.FormatStatusReport(report);
    txtError.setText(report);
    txtError.setVisible(true);
}

bool Window::deviceGuard() {
    if (FoundFlg != 0) {
        return true;
    }
    txtResults.setText(u"No devices found. Use Findlstn or enter and set a device address");
    txtError.setVisible(false);
    platform.beep();
    return false;
}
