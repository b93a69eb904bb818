#include "session/start_up.h"

#include "session/board_opening.h"
#include "session/help.h"

namespace {

constexpr int16_t kPrimaryAddressOption = 1;

void setInitialValues(Window& w) {
    w.HelpFile = u"Quillon.hlp";
    w.HelpContextID = 2007557;
    for (Button* button : w.operatingButtons()) {
        button->setEnabled(false);
    }
    w.frmTimeout.setEnabled(false);
    w.RecvBuf = Text(100, u' ');
    w.NL = u"\r\n";
    w.txtRev.setText(u"Revised 05-17-2012");
    w.txtError.setText(u"");
    w.txtResults.setText(u"");
    w.combCmd.setText(u"");
    w.cmdExit.setEnabled(true);

    w.ckCR.setValue(0);
    w.ckLF.setValue(1);
    w.ckCRTerm.setValue(0);
    w.ckLFTerm.setValue(1);
    w.ckRen.setValue(1);
    w.ckAutoQuery.setValue(1);
    w.ckByteCnt.setValue(0);

    w.txtResults.setEnabled(true);
    w.txtError.setEnabled(false);
    w.IDNTestFlg = 0;
    for (const char16_t* command : {u"*esr?", u"*idn?", u"*stb?"}) {
        w.combCmd.addItem(command);
    }
    for (int n = 0; n <= 15; ++n) {
        w.combIntfcName.addItem(u"GPIB" + PlainDecimal(static_cast<long long>(n)));
    }
    w.gpib.BoardIndex = 0;
    w.combIntfcName.setListIndex(w.gpib.BoardIndex);
    w.FoundFlg = 0;
    w.gpib.DevAddr = 4;
    w.Device = 4;
    w.eos = 10;
    w.txtAddr.setText(u"");
    w.txtCtlrAddr.setText(u"0");
    w.IDNTestFlg = 0;
    w.txtCount.setVisible(false);
    w.LpCount = 0;
}

// Opens GPIB0 and makes it controller-in-charge with REN and a 3 s timeout.
// False when a driver call failed; its report is then showing.
bool openBoard(Window& w) {
    w.bud = w.gpib.ibfind(u"GPIB0");
    if (w.failed()) {
        w.reportError(u"ibfind error");
        return false;
    }
    w.gpib.ibask(w.bud, kPrimaryAddressOption, w.Ctlraddr);
    if (w.failed()) {
        w.reportError(u"ibask error");
        return false;
    }
    w.txtCtlrAddr.setText(NumberText(static_cast<long long>(w.Ctlraddr)));
    w.gpib.SendIFC(w.gpib.BoardIndex);
    if (w.failed()) {
        w.reportError(u"SendIFC error");
        return false;
    }
    return AssertRenAndSelectDefaultTimeout(w);
}

}  // namespace

void Form_Load(Window& w) {
    setInitialValues(w);
    if (!openBoard(w)) {
        return;
    }
    FinishOpening(w);
    w.HelpFile = ProgramFolderHelpFile(w.platform);
}
