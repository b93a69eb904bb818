// The start-up reference: the least a Qt Widgets program does to show a window
// of the program's size (657 x 549) and report it, built with the same
// compiler and flags. With TARVEL_MORROW_READY_PROBE set it prints the ready
// line once the window has been shown and quits, exactly as the program does.

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QWidget window;
    window.setFixedSize(657, 549);
    window.setWindowTitle(QStringLiteral("Empty window"));
    window.show();
    if (std::getenv("TARVEL_MORROW_READY_PROBE") != nullptr) {
        QTimer::singleShot(0, [] {
            std::printf("state: ready\n");
            std::fflush(stdout);
            QCoreApplication::quit();
        });
    }
    return QApplication::exec();
}
