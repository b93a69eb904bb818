#include "qt/help_project.h"

#include <QFile>
#include <QRegularExpression>
#include <QTextStream>

namespace {

// "[MAP]" -> "MAP"; empty for a line that opens no section.
QString sectionOf(const QString& line) {
    if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
        return line.mid(1, line.size() - 2).trimmed().toUpper();
    }
    return {};
}

// One [MAP] line: "#define IDH_WINDOW 2007557" (a number may be written 0x...).
void readMapLine(const QString& line, QMap<QString, long>& numbers) {
    QStringList parts = line.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    if (parts.size() != 3 || parts[0] != QLatin1String("#define")) {
        return;
    }
    bool ok = false;
    long number = parts[2].toLong(&ok, 0);
    if (ok) {
        numbers.insert(parts[1], number);
    }
}

}  // namespace

bool HelpProject::read(const QString& path, HelpProject& project) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return false;
    }
    project = HelpProject{};
    QMap<QString, long> numbers;
    QMap<QString, QString> aliases;
    QString section;
    QTextStream in(&file);
    while (!in.atEnd()) {
        QString line = in.readLine().trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';'))) {
            continue;
        }
        if (QString opened = sectionOf(line); !opened.isEmpty()) {
            section = opened;
            continue;
        }
        if (section == QLatin1String("MAP")) {
            readMapLine(line, numbers);
            continue;
        }
        qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals < 0) {
            continue;
        }
        QString key = line.left(equals).trimmed();
        QString value = line.mid(equals + 1).trimmed();
        if (section == QLatin1String("ALIAS")) {
            aliases.insert(key, value);
        } else if (section == QLatin1String("OPTIONS")) {
            if (key.compare(QLatin1String("Title"), Qt::CaseInsensitive) == 0) {
                project.title = value;
            } else if (key.compare(QLatin1String("Default topic"), Qt::CaseInsensitive) == 0) {
                project.defaultTopic = value;
            } else if (key.compare(QLatin1String("Contents file"), Qt::CaseInsensitive) == 0) {
                project.contentsFile = value;
            }
        }
    }
    for (auto it = numbers.cbegin(); it != numbers.cend(); ++it) {
        if (aliases.contains(it.key())) {
            project.contextTopics.insert(it.value(), aliases.value(it.key()));
        }
    }
    return true;
}

QList<HelpContentsEntry> ReadHelpContents(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return {};
    }
    const QString text = QString::fromUtf8(file.readAll());
    // One sitemap object per entry: its Name and Local parameters.
    static const QRegularExpression object(
        QStringLiteral("<object[^>]*>(.*?)</object>"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression param(
        QStringLiteral("<param\\s+name=\"(\\w+)\"\\s+value=\"([^\"]*)\""),
        QRegularExpression::CaseInsensitiveOption);
    QList<HelpContentsEntry> entries;
    for (auto objects = object.globalMatch(text); objects.hasNext();) {
        const QString body = objects.next().captured(1);
        HelpContentsEntry entry;
        for (auto params = param.globalMatch(body); params.hasNext();) {
            auto match = params.next();
            if (match.captured(1).compare(QLatin1String("Name"), Qt::CaseInsensitive) == 0) {
                entry.name = match.captured(2);
            } else if (match.captured(1).compare(QLatin1String("Local"), Qt::CaseInsensitive) ==
                       0) {
                entry.page = match.captured(2);
            }
        }
        if (!entry.page.isEmpty()) {
            entries.push_back(entry);
        }
    }
    return entries;
}
