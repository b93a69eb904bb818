// The program: picks the driver, builds the window and its view, runs
// start-up before the window is first shown, then the event loop.

#include <QApplication>
#include <QIcon>
#include <memory>

#include "gpib/driver_library.h"
#include "gpib/gpib32.h"
#include "qt/qt_platform.h"
#include "qt/qt_view.h"
#include "ui/form1.h"
#include "window/form_layout.h"

int main(int argc, char* argv[]) {
    // Arguments are Qt's own (-platform, ...); the program takes none.
    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(QString::fromLatin1(kIconResource)));

    std::unique_ptr<DriverLibrary> library =
        DriverLibrary::Locate(QCoreApplication::applicationDirPath().toStdString());
    GPIB32 gpib(*library);
    QtPlatform platform;
    Form1 form(gpib, platform);
    QtView view(form);
    platform.attach(&view);

    form.load();
    view.show();
    return QApplication::exec();
}
