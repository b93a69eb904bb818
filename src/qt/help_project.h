#pragma once
// What the help window needs from a help project (.hhp) and its contents file
// (.hhc): the title, the default topic, the contents and the topics of the
// context numbers. Plain text parsing, no widgets.

#include <QList>
#include <QMap>
#include <QString>

struct HelpContentsEntry {
    QString name;
    QString page;  // relative to the project's folder
};

struct HelpProject {
    QString title;
    QString defaultTopic;
    QString contentsFile;
    QMap<long, QString> contextTopics;  // [MAP] number -> [ALIAS] page

    // Reads the project file at path; nothing when it cannot be read.
    static bool read(const QString& path, HelpProject& project);
};

// The entries of a contents file (.hhc), in their order; empty when it
// cannot be read.
QList<HelpContentsEntry> ReadHelpContents(const QString& path);
