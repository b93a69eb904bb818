#pragma once
// The help window of our own help facility: the contents on the left, the
// page on the right. It runs beside the program's window and is reused for
// every request.

#include <QWidget>

#include "qt/help_facility.h"

class QListWidget;
class QTextBrowser;
class QUrl;

class HelpWindow : public QWidget {
  public:
    explicit HelpWindow(QWidget* owner = nullptr);

    // Shows topic (which has no problem) and brings the window to the front.
    void showTopic(const HelpTopic& topic);

    // The page shown, as an absolute file path.
    QString currentPage() const;
    QListWidget* contentsList() const { return m_contents; }
    QTextBrowser* browser() const { return m_browser; }

  private:
    void fillContents(const HelpTopic& topic);
    void markCurrentEntry(const QUrl& source);

    QListWidget* m_contents;
    QTextBrowser* m_browser;
};
