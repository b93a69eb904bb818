#include "qt/qt_help.h"

#include <QMessageBox>
#include <QWidget>

#include "qt/help_facility.h"
#include "qt/help_window.h"
#include "qt/qt_text.h"

#ifdef _WIN32
#include <string.h>
#include <windows.h>

#include <string>

namespace {

constexpr UINT kHtmlDisplayToc = 0x0001;  // HH_DISPLAY_TOC
constexpr int kContentsCommand = 3;       // HELP_CONTENTS of the common dialog

using HtmlHelpFn = HWND(WINAPI*)(HWND, LPCSTR, UINT, DWORD_PTR);

HtmlHelpFn htmlHelp() {
    static HtmlHelpFn entry = [] {
        HMODULE library = LoadLibraryA("hhctrl.ocx");
        return library != nullptr
                   ? reinterpret_cast<HtmlHelpFn>(GetProcAddress(library, "HtmlHelpA"))
                   : nullptr;
    }();
    return entry;
}

bool isCompiledHtmlHelp(const std::string& file) {
    return file.size() >= 4 && _stricmp(file.c_str() + file.size() - 4, ".chm") == 0;
}

}  // namespace

void ShowDesktopHelp(const HelpRequest& request, QWidget* owner, const QString&) {
    HWND handle = owner != nullptr ? reinterpret_cast<HWND>(owner->winId()) : nullptr;
    const std::string file = ToCodePage(request.file);
    const auto data = static_cast<DWORD_PTR>(request.data);
    if (request.route == HelpRequest::Route::HtmlHelp || isCompiledHtmlHelp(file)) {
        // The common dialog's "contents" is HTML Help's table of contents.
        UINT command =
            request.route == HelpRequest::Route::CommonDialog && request.command == kContentsCommand
                ? kHtmlDisplayToc
                : static_cast<UINT>(request.command);
        if (HtmlHelpFn entry = htmlHelp()) {
            entry(handle, file.c_str(), command, data);
        }
        return;
    }
    // Context help in a WinHelp file: HELP_CONTEXT with the context number.
    UINT command = request.route == HelpRequest::Route::ContextHelp
                       ? HELP_CONTEXT
                       : static_cast<UINT>(request.command);
    WinHelpA(handle, file.c_str(), command, data);
}

#else

void ShowDesktopHelp(const HelpRequest& request, QWidget* owner, const QString& programFolder) {
    const HelpFacility facility(HelpFacility::defaultFolders(programFolder));
    const HelpTopic topic =
        facility.resolve(ToQString(request.file), request.command, static_cast<long>(request.data));
    if (!topic.problem.isEmpty()) {
        auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Help"), topic.problem,
                                    QMessageBox::Ok, owner);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->show();
        return;
    }
    // One help window per owner, reused for every request. (HelpWindow has no
    // meta-object of its own, so findChild<HelpWindow*> would take any widget.)
    HelpWindow* window = nullptr;
    if (owner != nullptr) {
        for (QObject* child : owner->children()) {
            if ((window = dynamic_cast<HelpWindow*>(child)) != nullptr) {
                break;
            }
        }
    }
    if (window == nullptr) {
        window = new HelpWindow(owner);
    }
    window->showTopic(topic);
}

#endif
