#include "qt/help_window.h"

#include <QDir>
#include <QHBoxLayout>
#include <QListWidget>
#include <QSplitter>
#include <QTextBrowser>
#include <QUrl>

namespace {

constexpr int kPageRole = Qt::UserRole;

}  // namespace

HelpWindow::HelpWindow(QWidget* owner)
    : QWidget(owner, Qt::Window), m_contents(new QListWidget), m_browser(new QTextBrowser) {
    // It goes with its owner and never keeps the program running by itself.
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(QStringLiteral("Help"));
    auto* splitter = new QSplitter(this);
    splitter->addWidget(m_contents);
    splitter->addWidget(m_browser);
    splitter->setStretchFactor(1, 3);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter);
    resize(820, 560);
    m_browser->setOpenExternalLinks(true);

    QObject::connect(m_contents, &QListWidget::itemActivated, [this](QListWidgetItem* item) {
        m_browser->setSource(QUrl::fromLocalFile(item->data(kPageRole).toString()));
    });
    QObject::connect(m_contents, &QListWidget::itemClicked, [this](QListWidgetItem* item) {
        m_browser->setSource(QUrl::fromLocalFile(item->data(kPageRole).toString()));
    });
    // The signal comes before source() has moved on, so it names the page.
    QObject::connect(m_browser, &QTextBrowser::sourceChanged,
                     [this](const QUrl& source) { markCurrentEntry(source); });
}

void HelpWindow::showTopic(const HelpTopic& topic) {
    setWindowTitle(topic.title.isEmpty() ? QStringLiteral("Help") : topic.title);
    fillContents(topic);
    const QUrl source = QUrl::fromLocalFile(QDir(topic.folder).filePath(topic.page));
    m_browser->setSource(source);
    markCurrentEntry(source);
    if (topic.contents) {
        m_contents->setFocus();
    } else {
        m_browser->setFocus();
    }
    show();
    raise();
    activateWindow();
}

QString HelpWindow::currentPage() const {
    return QDir::cleanPath(m_browser->source().toLocalFile());
}

void HelpWindow::fillContents(const HelpTopic& topic) {
    m_contents->clear();
    for (const HelpContentsEntry& entry : topic.entries) {
        auto* item = new QListWidgetItem(entry.name, m_contents);
        item->setData(kPageRole, QDir::cleanPath(QDir(topic.folder).filePath(entry.page)));
    }
}

// The contents entry of the page shown is the current one.
void HelpWindow::markCurrentEntry(const QUrl& source) {
    const QString page = QDir::cleanPath(source.toLocalFile());
    for (int row = 0; row < m_contents->count(); ++row) {
        if (m_contents->item(row)->data(kPageRole).toString() == page) {
            m_contents->setCurrentRow(row);
            return;
        }
    }
    m_contents->setCurrentRow(-1);
}
