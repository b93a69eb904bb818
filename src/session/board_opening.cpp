#include "session/board_opening.h"

#include "bus/listener_search.h"
#include "session/found_device.h"

namespace {

constexpr int16_t kThreeSeconds = 12;
constexpr int16_t kThreeSecondsOption = 3;

}  // namespace

bool AssertRenAndSelectDefaultTimeout(Window& w) {
    w.txtError.setVisible(false);
    w.gpib.ibsre(w.bud, 1);
    if (w.failed()) {
        w.reportError(u"ibsre Error");
        return false;
    }
    // A cleared box runs its REN action here, as a tick by the operator would.
    w.ckRen.setValue(1);
    w.txtError.setVisible(false);
    w.frmTimeout.setEnabled(true);

    for (int i = 0; i < w.optTMO.size(); ++i) {
        w.optTMO(i).setValue(false);
    }
    w.vtmo = kThreeSeconds;
    // Selecting the option runs the timeout action, whatever was chosen before.
    w.optTMO(kThreeSecondsOption).setValue(true);
    if (w.failed()) {
        w.reportError(u"ibtmo Error");
        return false;
    }
    return true;
}

void FinishOpening(Window& w) {
    cmdFindLstn_Click(w);
    if (w.FoundFlg == 1) {
        SelectFoundDevice(w);
    }
    for (Button* button : w.operatingButtons()) {
        if (button != &w.cmdIDNtstoff && button != &w.cmdCmdtstoff) {
            button->setEnabled(true);
        }
    }
}
