#include "qt/qt_platform.h"

#include <QApplication>
#include <QDir>

#include "qt/qt_help.h"
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
    ShowDesktopHelp(request, m_view != nullptr ? m_view->window() : nullptr,
                    QCoreApplication::applicationDirPath());
}

void QtPlatform::quit() {
    QCoreApplication::exit(0);
}

Text QtPlatform::programFolder() const {
    return FromQString(QDir::toNativeSeparators(QCoreApplication::applicationDirPath()));
}
