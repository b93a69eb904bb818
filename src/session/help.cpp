#include "session/help.h"

#ifndef TM_DOUBLE_CLICK_HELP_FILE
#error "TM_DOUBLE_CLICK_HELP_FILE must name the installed Quillon2.chm"
#endif

namespace {

// The double click's path is fixed when the program is built, under the
// prefix it is built for. An installation into another prefix (the Debian
// package installs into /usr whatever prefix the build had) writes that
// prefix's path over it in the installed program, which is why it sits in a
// buffer of its own, after a mark the installer finds it by
// (cmake/RelocateHelpPath.cmake).
constexpr char kMark[] = "TM-DOUBLE-CLICK-HELP:";
[[gnu::used]] const char kDoubleClickPath[512] = "TM-DOUBLE-CLICK-HELP:" TM_DOUBLE_CLICK_HELP_FILE;
static_assert(sizeof TM_DOUBLE_CLICK_HELP_FILE + sizeof kMark < sizeof kDoubleClickPath);

}  // namespace

Text DoubleClickHelpFile() {
    // Read through a pointer the compiler cannot see into, so that it takes
    // the text from the buffer at run time instead of folding in the one it
    // was built with.
    const char* path = kDoubleClickPath + sizeof kMark - 1;
#if defined(__GNUC__)
    asm("" : "+r"(path));
#endif
    return FromUtf8(path);
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
