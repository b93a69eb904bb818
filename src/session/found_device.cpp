#include "session/found_device.h"

void SelectFoundDevice(Window& w) {
    w.Device = w.founddev;
    w.gpib.DevAddr = w.foundAddrWord;
    w.txtAddr.setText(PlainDecimal(static_cast<long long>(w.founddev)));
}
