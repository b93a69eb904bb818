// The start-up reference: the least a Qt Widgets program does to show a window
// of the program's size (657 x 549) and report it, built with the same
// compiler and flags. With TARVEL_MORROW_READY_PROBE set it prints the ready
// line once the window has been shown and quits, exactly as the program does.
//
// Built a second time as text_window, with one line of text in the window: the
// least any window that shows text pays, since the first text laid out makes
// Qt read the desktop's font configuration and list the installed fonts.

#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QWidget window;
    window.setFixedSize(657, 549);
    window.setWindowTitle(QStringLiteral("Empty window"));
#ifdef TM_ONE_LINE_OF_TEXT
    QLabel line(QStringLiteral("Ready"), &window);
    line.move(8, 8);
#endif
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
