#pragma once
// The help facility where the desktop has no HTML Help: it takes a help file
// name, a help command and a context number exactly as the program passes
// them, and decides which page of which help to show, or what to tell the
// operator when it cannot. It does not decode compiled help: it shows the
// html pages installed beside the .chm files, as their project file (.hhp)
// lists them. No widgets here; HelpWindow shows the result.

#include <QList>
#include <QString>
#include <QStringList>
#include <utility>

#include "qt/help_project.h"

// What to show for one request, or why nothing can be shown.
struct HelpTopic {
    QString problem;  // not empty: the facility's own message, nothing to show
    QString title;
    QString folder;         // the folder of the help file; pages are relative to it
    QString page;           // the page to show
    bool contents = false;  // the operator asked for the contents
    QList<HelpContentsEntry> entries;
};

class HelpFacility {
  public:
    // Bare and relative names are looked up in folders, in this order.
    explicit HelpFacility(QStringList folders) : m_folders(std::move(folders)) {}

    // The program's folder, the help folder seen from it, the installed help
    // folder and the build's help folder.
    static QStringList defaultFolders(const QString& programFolder);

    // The file the name stands for (links followed); empty when not found.
    QString locate(const QString& file) const;
    // Command 0: the default topic; 3: the contents; 0x0F: the topic of the
    // context number in data (the default topic for an unknown number).
    // Any other command shows the default topic.
    HelpTopic resolve(const QString& file, int command, long data) const;

  private:
    QStringList m_folders;
};
