#include "session/timeout_ren.h"

#include <array>

namespace {

// Driver timeout codes: 10 ms, 100 ms, 1 s, 3 s, 10 s, none.
constexpr std::array<int16_t, 6> kTimeoutCodes = {7, 9, 11, 12, 13, 0};
// ibconfig option for the device's serial-poll timeout.
constexpr int16_t kSerialPollTimeout = 24;

}  // namespace

int16_t TimeoutCode(int16_t index) {
    if (index < 0 || index >= static_cast<int16_t>(kTimeoutCodes.size())) {
        return -1;
    }
    return kTimeoutCodes[static_cast<size_t>(index)];
}

void optTMO_Click(Window& w, int16_t index) {
    w.txtError.setVisible(false);
    if (const int16_t code = TimeoutCode(index); code >= 0) {
        w.vtmo = code;
    }
    w.gpib.ibtmo(w.bud, w.vtmo);
    if (w.FoundFlg == 1) {
        // A known device polls with the same timeout as the board.
        w.gpib.ibconfig(w.ud, kSerialPollTimeout, w.vtmo);
    }
}

void ckRen_Click(Window& w) {
    if (w.ckRen.checked()) {
        w.gpib.ibsre(w.bud, 1);
        w.txtResults.setText(u"REN Asserted");
    } else {
        w.gpib.ibsre(w.bud, 0);
        w.txtResults.setText(u"REN deasserted");
    }
    if (w.failed()) {
        w.reportError(u"ibsre Error");
    } else {
        w.txtError.setVisible(false);
    }
}
