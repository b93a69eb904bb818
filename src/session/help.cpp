#include "session/help.h"

#ifndef TM_DOUBLE_CLICK_HELP_FILE
#error "TM_DOUBLE_CLICK_HELP_FILE must name the installed Quillon2.chm"
#endif

Text DoubleClickHelpFile() {
    return FromUtf8(TM_DOUBLE_CLICK_HELP_FILE);
}

Text ProgramFolderHelpFile(const Platform& platform) {
    return platform.programFolder() + kFolderSeparator + u"Quillon2.chm";
}

void cmdHelp_Click(Window& w) {
    w.platform.showHelp({HelpRequest::Route::HtmlHelp, kHelpButtonFile, kHelpDefaultTopic, 0});
}

void Form_DblClick(Window& w) {
    w.cdbHelp.HelpFile = DoubleClickHelpFile();
    w.cdbHelp.HelpCommand = kHelpContents;
    w.platform.showHelp(
        {HelpRequest::Route::CommonDialog, w.cdbHelp.HelpFile, w.cdbHelp.HelpCommand, 0});
}

void Form_ContextHelp(Window& w) {
    w.platform.showHelp({HelpRequest::Route::ContextHelp, w.HelpFile, kHelpContext,
                         static_cast<long>(w.HelpContextID)});
}
