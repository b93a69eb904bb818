#include "qt/qt_platform.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>
#include <QWidget>

#include "qt/qt_text.h"
#include "qt/qt_view.h"

void QtPlatform::beep() {
    QApplication::beep();
}

void QtPlatform::repaint(const TextBox& box) {
    if (m_view != nullptr) {
        m_view->repaintNow(box);
    }
}

void QtPlatform::showHelp(const HelpRequest& request) {
    // The help files are named the way the program has always named them
    // (backslash separators); the desktop's viewer opens them when they exist.
    QString file = ToQString(request.file).replace(QLatin1Char('\\'), QLatin1Char('/'));
    QFileInfo info(QDir(ToQString(programFolder())), file);
    if (info.exists()) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(info.absoluteFilePath()));
    }
}

void QtPlatform::quit() {
    QCoreApplication::exit(0);
}

Text QtPlatform::programFolder() const {
    return FromQString(QDir::toNativeSeparators(QCoreApplication::applicationDirPath()));
}
