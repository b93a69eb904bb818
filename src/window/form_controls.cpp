#include "window/form_controls.h"

#include <stdexcept>

#include "window/form_layout.h"

namespace {

const ControlDescription& spec(const char* name) {
    for (const ControlDescription& s : FormLayout()) {
        if (s.name == name) {
            return s;
        }
    }
    throw std::logic_error(std::string("control missing from the layout: ") + name);
}

std::vector<const ControlDescription*> optionSpecs(const char* name) {
    std::vector<const ControlDescription*> specs;
    for (const ControlDescription& s : FormLayout()) {
        if (s.name == name) {
            specs.push_back(&s);
        }
    }
    return specs;
}

}  // namespace

#define TM_CONTROL(n) n(spec(#n))

FormControls::FormControls()
    : form(FormSpec()),
      TM_CONTROL(lblTitle),
      TM_CONTROL(cmdHelp),
      TM_CONTROL(txtError),
      TM_CONTROL(frmCtlrName),
      TM_CONTROL(cmdSetIName),
      TM_CONTROL(combIntfcName),
      TM_CONTROL(frmCtlrAddr),
      TM_CONTROL(cmdSetCtlr),
      TM_CONTROL(txtCtlrAddr),
      TM_CONTROL(frmAddr),
      TM_CONTROL(cmdSet),
      TM_CONTROL(txtAddr),
      TM_CONTROL(frmREN),
      TM_CONTROL(ckRen),
      TM_CONTROL(frm488_1),
      TM_CONTROL(cmdIFC),
      TM_CONTROL(cmdDevClr),
      TM_CONTROL(cmdSPoll),
      TM_CONTROL(cmdTrig),
      TM_CONTROL(frmCMD),
      TM_CONTROL(Label1),
      TM_CONTROL(ckCR),
      TM_CONTROL(ckLF),
      TM_CONTROL(combCmd),
      TM_CONTROL(cmdSend),
      TM_CONTROL(frmResults),
      TM_CONTROL(ckAutoQuery),
      TM_CONTROL(ckByteCnt),
      TM_CONTROL(ckDispAll),
      TM_CONTROL(ckCRTerm),
      TM_CONTROL(ckLFTerm),
      TM_CONTROL(cmdRead),
      TM_CONTROL(txtResults),
      TM_CONTROL(frm488_2),
      TM_CONTROL(cmdFindLstn),
      TM_CONTROL(cmdAllPoll),
      TM_CONTROL(cmdFindRQS),
      TM_CONTROL(cmdRST),
      TM_CONTROL(cmdCLS),
      TM_CONTROL(frmIDNLoop),
      TM_CONTROL(cmdIDNtst),
      TM_CONTROL(cmdIDNtstoff),
      TM_CONTROL(lblCount),
      TM_CONTROL(txtCount),
      TM_CONTROL(frmCmdLp),
      TM_CONTROL(cmdCmdtst),
      TM_CONTROL(cmdCmdtstoff),
      TM_CONTROL(frmTimeout),
      optTMO("optTMO", optionSpecs("optTMO")),
      TM_CONTROL(ImageTarvel),
      TM_CONTROL(cmdExit),
      TM_CONTROL(txtRev),
      TM_CONTROL(Timer1),
      TM_CONTROL(cdbHelp) {
    Control* members[] = {
        &lblTitle,    &cmdHelp,    &txtError,    &frmCtlrName, &cmdSetIName,  &combIntfcName,
        &frmCtlrAddr, &cmdSetCtlr, &txtCtlrAddr, &frmAddr,     &cmdSet,       &txtAddr,
        &frmREN,      &ckRen,      &frm488_1,    &cmdIFC,      &cmdDevClr,    &cmdSPoll,
        &cmdTrig,     &frmCMD,     &Label1,      &ckCR,        &ckLF,         &combCmd,
        &cmdSend,     &frmResults, &ckAutoQuery, &ckByteCnt,   &ckDispAll,    &ckCRTerm,
        &ckLFTerm,    &cmdRead,    &txtResults,  &frm488_2,    &cmdFindLstn,  &cmdAllPoll,
        &cmdFindRQS,  &cmdRST,     &cmdCLS,      &frmIDNLoop,  &cmdIDNtst,    &cmdIDNtstoff,
        &lblCount,    &txtCount,   &frmCmdLp,    &cmdCmdtst,   &cmdCmdtstoff, &frmTimeout,
        &ImageTarvel, &cmdExit,    &txtRev,      &Timer1,      &cdbHelp};
    // Keep the description's order, with the options where the layout lists them.
    for (const ControlDescription& s : FormLayout()) {
        if (s.name == optTMO.name()) {
            m_all.push_back(&optTMO(s.index));
            continue;
        }
        for (Control* c : members) {
            if (&c->spec() == &s) {
                m_all.push_back(c);
            }
        }
    }
}

#undef TM_CONTROL

Control* FormControls::find(const std::string& name) const {
    for (Control* c : m_all) {
        if (c->name() == name) {
            return c;
        }
    }
    return nullptr;
}

Control* FormControls::container(const Control& control) const {
    return control.spec().container.empty() ? nullptr : find(control.spec().container);
}

std::vector<Button*> FormControls::operatingButtons() {
    return {&cmdSetCtlr,  &cmdSet,       &cmdSend,    &cmdRead,   &cmdIDNtst, &cmdIDNtstoff,
            &cmdCmdtst,   &cmdCmdtstoff, &cmdIFC,     &cmdDevClr, &cmdTrig,   &cmdSPoll,
            &cmdFindLstn, &cmdFindRQS,   &cmdAllPoll, &cmdRST,    &cmdCLS};
}
