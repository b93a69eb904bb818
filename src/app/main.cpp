// The program: picks the driver, builds the window and its view, runs
// start-up before the window is first shown, then the event loop.

#include <QApplication>
#include <QFontDatabase>
#include <QIcon>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <thread>

#include "gpib/driver_library.h"
#include "gpib/gpib32.h"
#include "qt/qt_platform.h"
#include "qt/qt_view.h"
#include "session/help.h"
#include "ui/form1.h"
#include "window/form_layout.h"

namespace {

// With TARVEL_MORROW_READY_PROBE set, the program reports on standard output
// how start-up ended as soon as the window has been shown, then quits. Package
// tests and the start-up benchmark use it to see the installed program reach
// the ready state without a person looking at the screen.
void reportAndQuit(const Window& w) {
    bool ready = w.cmdFindLstn.enabled();
    std::printf("state: %s\n", ready ? "ready" : "stopped");
    std::printf("results: %s\n", ToUtf8(w.txtResults.text()).c_str());
    std::printf("error: %s\n", w.txtError.visible() ? ToUtf8(w.txtError.text()).c_str() : "");
    std::printf("double-click help: %s\n", ToUtf8(DoubleClickHelpFile()).c_str());
    std::fflush(stdout);
    QCoreApplication::quit();
}

constexpr const char* kHelp = R"(Usage: tarvel-morrow [Qt's options]

One window for talking to instruments on a GPIB (IEEE 488) bus: pick the
controller board, address an instrument, send a command and read the answer,
serial-poll, trigger, clear, send Interface Clear, find every listener on the
bus and who requests service, and run repeat loops. All bus traffic goes
through a GPIB driver library loaded at start: the one GPIB_LIBRARY names,
else linux-gpib's or NI-488.2's, else the program's own driver, which serves
the boards of a board map (Prologix and AR488 adapters, VXI-11 gateways,
platform boards, simulated benches) or a simulated bench.

Options:
  -h, --help             show this text and end
  --version              show the version and end

Any other argument is Qt's (-platform NAME, -style NAME, -geometry WxH+X+Y).

Environment:
  GPIB_LIBRARY=FILE      load this GPIB driver library (a path or a name), no other
  GPIB_BOARDS=FILE       the board map of the program's own driver
  GPIB_SIM_BENCH=FILE    the simulated bench's bench file (default: built-in)
  GPIB_SIM_INSTANT=1     simulated bus time and timeouts cost nothing
  GPIB_SIM_TRACE=FILE    the program's own driver logs every call it serves
  GPIB_TRACE=FILE        every driver call, whatever the driver (- for stderr)
  GPIB_ENDMODE_FAMILY=linux-gpib|ni
                         the end-mode numbering of an unusual driver library

The window's help (the Help button, F1) has a page for every control and
every driver; F12 opens the window of driver calls.
)";

}  // namespace

int main(int argc, char* argv[]) {
    // Asked before Qt starts, so that both answer without a display.
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::printf("tarvel-morrow %s\n", TM_VERSION);
            return 0;
        }
    }
    // Other arguments are Qt's own (-platform, ...); the program takes none.
    QApplication app(argc, argv);

    // The first text the window lays out makes Qt read the desktop's font
    // configuration and list every installed font: the largest single cost of
    // start-up. Have a second thread do that while this one locates the
    // driver, loads the bench and runs start-up, which need no fonts.
    // QFontDatabase is thread-safe; the thread ends before any widget exists.
    std::jthread fontList([] { (void)QFontDatabase::families(); });

    QApplication::setWindowIcon(QIcon(QString::fromLatin1(kIconResource)));
    std::unique_ptr<DriverLibrary> library =
        DriverLibrary::Locate(QCoreApplication::applicationDirPath().toStdString());
    GPIB32 gpib(*library);
    // GPIB_TRACE=FILE: every driver call to the file, from the first one on.
    gpib.Trace().openFromEnvironment(library->Path());
    QtPlatform platform;
    Form1 form(gpib, platform);
    // Start-up runs on the models before the window is built, as a form's
    // load runs before it is first shown, so each widget is made once with
    // its start-up contents instead of following every change.
    form.load();

    fontList.join();
    QtView view(form);
    platform.attach(&view);
    view.show();
    if (std::getenv("TARVEL_MORROW_READY_PROBE") != nullptr) {
        QTimer::singleShot(0, [&form] { reportAndQuit(form.window()); });
    }
    return QApplication::exec();
}
