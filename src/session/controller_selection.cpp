#include "session/controller_selection.h"

#include "session/board_opening.h"

namespace {

constexpr int16_t kHighestAddress = 30;

const Text kImproperAddress = u"Improper value for the Controller Address, please reenter";

void refuseAddress(Window& w) {
    w.platform.beep();
    w.txtResults.setText(kImproperAddress);
}

// The opened board becomes controller-in-charge with REN, its new address and
// a 3 s timeout. False when a driver call failed; its report is then showing.
bool openBoard(Window& w, const Text& name, int16_t address) {
    w.bud = w.gpib.ibfind(name);
    if (w.failed()) {
        w.reportError(u"ibfind error");
        w.txtResults.setText(u"Selected GPIB Controller not found" + w.NL +
                             u"Select another Controller Name");
        return false;
    }
    w.gpib.SendIFC(w.gpib.BoardIndex);
    if (w.failed()) {
        w.reportError(u"SendIFC error");
        return false;
    }
    // The board calls go to the board by its number from here on.
    w.bud = w.gpib.BoardIndex;
    w.Ctlraddr = address;
    w.gpib.ibpad(w.bud, w.Ctlraddr);
    if (w.failed()) {
        w.reportError(u"ibpad error");
        return false;
    }
    return AssertRenAndSelectDefaultTimeout(w);
}

}  // namespace

int16_t BoardNumber(const Text& name) {
    const TextView digits = name.size() < 5 ? TextView() : TextView(name).substr(4, 2);
    // Two characters always fit 16 bits.
    return ReadInt16(digits).value_or(0);
}

void cmdSetIName_Click(Window& w) {
    const Text name = w.combIntfcName.text();
    const int16_t board = BoardNumber(name);
    if (board == w.gpib.BoardIndex) {
        return;
    }
    // The selection writes the box into the board without the 0-30 test, but
    // a value beyond 16 bits has no address to write: refuse it before the
    // board changes, so Set works again once the box is corrected.
    const std::optional<int16_t> address = ReadInt16(w.txtCtlrAddr.text());
    if (!address) {
        refuseAddress(w);
        return;
    }
    w.gpib.BoardIndex = board;
    if (!openBoard(w, name, *address)) {
        return;
    }
    FinishOpening(w);
}

void cmdSetCtlr_Click(Window& w) {
    const std::optional<int16_t> address = ReadInt16(w.txtCtlrAddr.text());
    w.combCmd.setText(u"");
    w.txtError.setVisible(false);
    w.txtResults.setText(u"");
    if (!address || *address < 0 || *address > kHighestAddress) {
        refuseAddress(w);
        return;
    }
    w.Ctlraddr = *address;
    w.gpib.ibpad(w.bud, w.Ctlraddr);
    if (w.failed()) {
        w.reportError(u"ibpad error");
        return;
    }
    // The text as typed, not the number read from it.
    w.txtResults.setText(u"Controller Address => " + w.txtCtlrAddr.text());
    // Clears the bus so every device sees the new controller; what it
    // answers changes nothing here.
    w.gpib.SendIFC(w.gpib.BoardIndex);
}
