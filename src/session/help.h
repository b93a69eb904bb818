#pragma once
// The three ways to open help: the Help button, a double click on the window's
// background and F1. Each passes its file name unchanged to the platform's
// help facility; whether the file exists is the facility's concern.

#include "window/window.h"

// Help commands as the help facility takes them.
inline constexpr int kHelpDefaultTopic = 0;  // HTML Help: show the default topic
inline constexpr int kHelpContents = 3;      // common dialog: show the contents
inline constexpr int kHelpContext = 0x0F;    // HTML Help: the topic of a context number

#ifdef _WIN32
inline constexpr char16_t kFolderSeparator = u'\\';
#else
inline constexpr char16_t kFolderSeparator = u'/';
#endif

// The Help button's file, by its bare name.
inline constexpr char16_t kHelpButtonFile[] = u"Quillon.chm";

// The double click's help file: a fixed absolute path chosen when the program
// is built (the installed help folder).
Text DoubleClickHelpFile();
// The context help file once start-up has succeeded: Quillon2.chm in the
// program's own folder.
Text ProgramFolderHelpFile(const Platform& platform);

// The Help button: the default topic of "Quillon.chm".
void cmdHelp_Click(Window& w);
// A double click on the window itself: the contents of the fixed help file.
void Form_DblClick(Window& w);
// F1 anywhere in the window: the help-file setting at the window's context
// number, as start-up left them.
void Form_ContextHelp(Window& w);
