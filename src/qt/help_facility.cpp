#include "qt/help_facility.h"

#include <QDir>
#include <QFileInfo>

namespace {

constexpr int kContentsCommand = 3;
constexpr int kContextCommand = 0x0F;

HelpTopic problem(const QString& text) {
    HelpTopic topic;
    topic.problem = text;
    return topic;
}

}  // namespace

QStringList HelpFacility::defaultFolders(const QString& programFolder) {
    QStringList folders{programFolder};
#ifdef TM_HELP_FROM_PROGRAM
    folders << QDir::cleanPath(programFolder + QLatin1Char('/') +
                               QStringLiteral(TM_HELP_FROM_PROGRAM));
#endif
#ifdef TM_HELP_INSTALL_DIR
    folders << QStringLiteral(TM_HELP_INSTALL_DIR);
#endif
#ifdef TM_HELP_BUILD_DIR
    folders << QStringLiteral(TM_HELP_BUILD_DIR);
#endif
    folders.removeDuplicates();
    return folders;
}

QString HelpFacility::locate(const QString& file) const {
    if (file.isEmpty()) {
        return {};
    }
    QStringList candidates;
    if (QDir::isAbsolutePath(file)) {
        candidates << file;
    } else {
        for (const QString& folder : m_folders) {
            candidates << QDir(folder).filePath(file);
        }
    }
    for (const QString& candidate : candidates) {
        QFileInfo info(candidate);
        if (info.isFile()) {
            return info.canonicalFilePath();
        }
    }
    return {};
}

HelpTopic HelpFacility::resolve(const QString& file, int command, long data) const {
    const QString found = locate(file);
    if (found.isEmpty()) {
        return problem(QStringLiteral("Cannot find the help file \"%1\".").arg(file));
    }
    const QFileInfo info(found);
    HelpProject project;
    const QString projectFile = info.dir().filePath(info.completeBaseName() + ".hhp");
    if (!HelpProject::read(projectFile, project) || project.defaultTopic.isEmpty()) {
        return problem(QStringLiteral("Cannot show the help file \"%1\": its pages are not "
                                      "installed beside it.")
                           .arg(file));
    }

    HelpTopic topic;
    topic.title = project.title;
    topic.folder = info.absolutePath();
    topic.page = project.defaultTopic;
    if (command == kContentsCommand) {
        topic.contents = true;
    } else if (command == kContextCommand) {
        topic.page = project.contextTopics.value(data, project.defaultTopic);
    }
    if (!project.contentsFile.isEmpty()) {
        topic.entries = ReadHelpContents(info.dir().filePath(project.contentsFile));
    }
    if (!QFileInfo(info.dir().filePath(topic.page)).isFile()) {
        return problem(QStringLiteral("Cannot show the help file \"%1\": the page \"%2\" is "
                                      "missing.")
                           .arg(file, topic.page));
    }
    return topic;
}
