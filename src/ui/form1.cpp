#include "ui/form1.h"

#include "bus/bus_commands.h"
#include "bus/listener_search.h"
#include "bus/serial_polls.h"
#include "messaging/command_send.h"
#include "messaging/common_commands.h"
#include "messaging/repeating_loops.h"
#include "messaging/response_read.h"
#include "session/controller_selection.h"
#include "session/device_address.h"
#include "session/exit.h"
#include "session/help.h"
#include "session/start_up.h"
#include "session/timeout_ren.h"

Form1::Form1(GPIB32& gpib, Platform& platform) : m_window(gpib, platform) {
    wire();
    refreshDriverNote();
}

template <typename... Args>
void Form1::hook(Event<Args...>& event, void (*handler)(Window&, Args...)) {
    event.connect([this, handler](Args... args) {
        handler(m_window, std::forward<Args>(args)...);
        // A handler may have met a missing entry point; the title says so.
        refreshDriverNote();
    });
}

// Each control event with a handler, one line each; a handler that comes later
// is hooked up by adding its line here.
void Form1::wire() {
    Window& w = m_window;
    hook(w.txtAddr.change, txtAddr_Change);
    hook(w.optTMO.click, optTMO_Click);
    hook(w.ckRen.click, ckRen_Click);
    hook(w.cmdExit.click, cmdExit_Click);
    hook(w.cmdHelp.click, cmdHelp_Click);
    hook(w.form.dblClick, Form_DblClick);
    hook(w.cmdFindLstn.click, cmdFindLstn_Click);
    hook(w.cmdSetIName.click, cmdSetIName_Click);
    hook(w.cmdSetCtlr.click, cmdSetCtlr_Click);
    hook(w.cmdTrig.click, cmdTrig_Click);
    hook(w.cmdSPoll.click, cmdSPoll_Click);
    hook(w.cmdDevClr.click, cmdDevClr_Click);
    hook(w.cmdIFC.click, cmdIFC_Click);
    hook(w.cmdAllPoll.click, cmdAllPoll_Click);
    hook(w.cmdFindRQS.click, cmdFindRQS_Click);
    hook(w.cmdSet.click, cmdSet_Click);
    hook(w.cmdSend.click, cmdSend_Click);
    hook(w.combCmd.keyPress, combCmd_KeyPress);
    hook(w.cmdRead.click, cmdRead_Click);
    hook(w.ckCRTerm.click, ckCRTerm_Click);
    hook(w.ckLFTerm.click, ckLFTerm_Click);
    hook(w.cmdCLS.click, cmdCLS_Click);
    hook(w.cmdRST.click, cmdRST_Click);
    hook(w.cmdIDNtst.click, cmdIDNtst_Click);
    hook(w.cmdIDNtstoff.click, cmdIDNtstoff_Click);
    hook(w.cmdCmdtst.click, cmdCmdtst_Click);
    hook(w.cmdCmdtstoff.click, cmdCmdtstoff_Click);
    hook(w.Timer1.timer, Timer1_Timer);
}

void Form1::load() {
    Form_Load(m_window);
    refreshDriverNote();
}

void Form1::refreshDriverNote() {
    DriverLibrary& library = m_window.gpib.Library();
    std::string note = library.Loaded() ? library.Description() : std::string();
    const std::string& problem = library.Problem();
    // A trace file that cannot be written is said once, here; calls go on untraced.
    for (const std::string& sentence : {problem, m_window.gpib.Trace().problem()}) {
        if (!sentence.empty())
            note += note.empty() ? sentence : " \u2014 " + sentence;
    }
    m_window.form.setCaptionNote(FromUtf8(note));
}
