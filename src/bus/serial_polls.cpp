#include "bus/serial_polls.h"

#include <algorithm>
#include <array>

namespace {

// The "100mS" timeout: a device that does not answer its poll at once is not
// going to.
constexpr int16_t kPollTimeout = 9;

// Number of devices in the found list: the cells before its end marker, at
// most all of its cells.
int listedDevices(const Window& w) {
    const auto end = std::find(w.FoundList.begin(), w.FoundList.end(), kEndOfList);
    return static_cast<int>(end - w.FoundList.begin());
}

// Both polls need a selected device and a list to walk; either refusal beeps
// and makes no driver call.
bool pollGuards(Window& w) {
    if (!w.deviceGuard()) {
        return false;
    }
    if (w.FoundList[0] == kEndOfList) {
        w.txtResults.setText(u"Device list empty. Use Findlstn to create a device list");
        w.txtError.setVisible(false);
        w.platform.beep();
        return false;
    }
    return true;
}

Text number(int16_t value) {
    return NumberText(static_cast<long long>(value));
}

// "Inst 3, 0": a device by its bus address word and its status byte.
Text response(const Window& w, const std::array<int16_t, kFoundListCells>& status, int i) {
    const auto cell = static_cast<size_t>(i);
    return u"Inst" + number(w.FoundList[cell]) + u"," + number(status[cell]);
}

void showResponses(Window& w, const std::array<int16_t, kFoundListCells>& status) {
    // FoundNum counts what the search reported; only the listed cells exist.
    const int shown = std::min(w.FoundNum, listedDevices(w));
    if (w.FoundNum > 1) {
        Text text;
        Text separator;
        for (int i = 0; i < shown; ++i) {
            text += separator + response(w, status, i);
            separator = u"; ";
        }
        w.txtResults.setText(u"All Serial Poll: Responses = " + text);
    } else if (w.FoundNum == 1) {
        w.txtResults.setText(u"All Serial Poll: Response = " + response(w, status, 0));
    } else {
        w.platform.beep();
        w.txtResults.setText(u"All Serial Poll: No responses returned");
    }
}

void findRequester(Window& w) {
    w.txtResults.setText(u"FindRQS:Wait while polling devices");
    w.platform.repaint(w.txtResults);
    int16_t status = 0;
    w.gpib.FindRQS(w.gpib.BoardIndex, w.FoundList, status);
    const int found = w.gpib.ibcnt;
    // An index the list does not hold is no answer, whatever the status says.
    if (w.failed() || found < 0 || found >= listedDevices(w)) {
        w.reportError(u"FindRQS Error");
        w.txtResults.setText(u"");
        return;
    }
    w.txtResults.setText(u"FindRQS: Device found at address " +
                         number(w.FoundList[static_cast<size_t>(found)]) +
                         u" with SPoll response = " + number(status));
}

}  // namespace

void cmdAllPoll_Click(Window& w) {
    w.combCmd.setText(u"");
    if (!pollGuards(w)) {
        return;
    }
    w.txtResults.setText(u"All Serial Poll: Polling All devices");
    w.gpib.ibtmo(w.bud, kPollTimeout);
    std::array<int16_t, kFoundListCells> status{};
    w.gpib.AllSpoll(w.gpib.BoardIndex, w.FoundList, status);
    if (w.failed()) {
        w.reportError(u"AllSpoll error");
    } else {
        showResponses(w, status);
    }
    w.gpib.ibtmo(w.bud, w.vtmo);
}

void cmdFindRQS_Click(Window& w) {
    w.txtError.setVisible(false);
    if (!pollGuards(w)) {
        return;
    }
    int16_t srq = 0;
    w.gpib.TestSRQ(w.gpib.BoardIndex, srq);
    if (w.failed()) {
        // Without an answer the line's state is unknown: say so rather than
        // claim it is not asserted.
        w.reportError(u"TestSRQ Error");
        return;
    }
    if (srq == 0) {
        w.platform.beep();
        w.txtResults.setText(u"FindRQS: SRQ not asserted - no devices polled");
        return;
    }
    w.gpib.ibtmo(w.bud, kPollTimeout);
    if (w.FoundNum <= 0) {
        w.txtResults.setText(u"FindRQS:No found devices to be polled");
    } else {
        findRequester(w);
    }
    w.gpib.ibtmo(w.bud, w.vtmo);
}
