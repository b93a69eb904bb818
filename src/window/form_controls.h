#pragma once
// Every named control of the window, built from its description. Handlers
// reach them by their names (txtError, cmdSet, optTMO(3)); the view walks them
// all to build its widgets.

#include <string>
#include <vector>

#include "controls/button.h"
#include "controls/check_box.h"
#include "controls/combo_box.h"
#include "controls/common_dialog.h"
#include "controls/form.h"
#include "controls/option_group.h"
#include "controls/text_box.h"
#include "controls/timer.h"

class FormControls {
  public:
    FormControls();
    FormControls(const FormControls&) = delete;
    FormControls& operator=(const FormControls&) = delete;

    Form form;

    Control lblTitle;
    Button cmdHelp;
    TextBox txtError;

    Control frmCtlrName;
    Button cmdSetIName;
    ComboBox combIntfcName;

    Control frmCtlrAddr;
    Button cmdSetCtlr;
    TextBox txtCtlrAddr;

    Control frmAddr;
    Button cmdSet;
    TextBox txtAddr;

    Control frmREN;
    CheckBox ckRen;

    Control frm488_1;
    Button cmdIFC;
    Button cmdDevClr;
    Button cmdSPoll;
    Button cmdTrig;

    Control frmCMD;
    Control Label1;
    CheckBox ckCR;
    CheckBox ckLF;
    ComboBox combCmd;
    Button cmdSend;

    Control frmResults;
    CheckBox ckAutoQuery;
    CheckBox ckByteCnt;
    CheckBox ckDispAll;
    CheckBox ckCRTerm;
    CheckBox ckLFTerm;
    Button cmdRead;
    TextBox txtResults;

    Control frm488_2;
    Button cmdFindLstn;
    Button cmdAllPoll;
    Button cmdFindRQS;
    Button cmdRST;
    Button cmdCLS;

    Control frmIDNLoop;
    Button cmdIDNtst;
    Button cmdIDNtstoff;
    Control lblCount;
    TextBox txtCount;

    Control frmCmdLp;
    Button cmdCmdtst;
    Button cmdCmdtstoff;

    Control frmTimeout;
    OptionGroup optTMO;

    Control ImageTarvel;
    Button cmdExit;
    TextBox txtRev;
    Timer Timer1;
    CommonDialog cdbHelp;

    // Every control but the window itself, in description order (containers
    // before what they hold); option buttons appear one by one.
    const std::vector<Control*>& all() const { return m_all; }
    // The control of that name (for an option group, its option 0); nullptr
    // when there is none.
    Control* find(const std::string& name) const;
    // The frame that holds control, nullptr for a control of the window.
    Control* container(const Control& control) const;

    // The 17 buttons that start-up disables until the board is ready.
    std::vector<Button*> operatingButtons();

  private:
    std::vector<Control*> m_all;
};
