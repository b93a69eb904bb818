// Our own help facility: how it finds a help file, which page a command and a
// context number lead to, the message for a file it cannot find, the help
// window showing the page; and the built help itself.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <vector>

#include "qt/help_facility.h"
#include "qt/help_window.h"
#include "qt/qt_help.h"
#include "qt/qt_text.h"

namespace {

constexpr char kProject[] = R"([OPTIONS]
Compiled file=Quillon2.chm
Contents file=toc.hhc
Default topic=html/index.html
Title=Bench Help

[MAP]
; a comment
#define IDH_WINDOW 2007557
#define IDH_BUS 0x10

[ALIAS]
IDH_WINDOW=html/window.html
IDH_BUS=html/bus.html
IDH_UNMAPPED=html/none.html
)";

constexpr char kContents[] =
    R"(<UL><LI><OBJECT type="text/sitemap"><param name="Name" value="Start">
<param name="Local" value="html/index.html"></OBJECT>
<LI><OBJECT type="text/sitemap"><param name="Name" value="The window"><param name="Local" value="html/window.html"></OBJECT></UL>)";

void write(const QString& path, const QByteArray& text) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

// help/ holds a complete help (chm, project, contents, pages); program/ holds
// a link to it and a lone chm without pages.
class HelpFacilityTest : public ::testing::Test {
  protected:
    HelpFacilityTest() {
        write(help("Quillon2.chm"), "ITSF");
        write(help("Quillon2.hhp"), kProject);
        write(help("toc.hhc"), kContents);
        for (const char* page : {"index", "window", "bus"}) {
            write(help(QStringLiteral("html/%1.html").arg(QLatin1String(page))), "<p>page</p>");
        }
        write(program("Lone.chm"), "ITSF");
        QFile::link(help("Quillon2.chm"), program("Linked.chm"));
    }

    QString help(const QString& name) const { return m_root.filePath("help/" + name); }
    QString program(const QString& name) const { return m_root.filePath("program/" + name); }
    HelpFacility facility() const { return HelpFacility({program(""), help("")}); }
    QString helpFolder() const { return QFileInfo(help("")).canonicalFilePath(); }

  private:
    QTemporaryDir m_root;
};

TEST_F(HelpFacilityTest, BareNameIsLookedUpFolderByFolder) {
    EXPECT_EQ(facility().locate("Lone.chm"), QFileInfo(program("Lone.chm")).canonicalFilePath());
    EXPECT_EQ(facility().locate("Quillon2.chm"),
              QFileInfo(help("Quillon2.chm")).canonicalFilePath());
    EXPECT_EQ(facility().locate("Quillon.chm"), QString());
    EXPECT_EQ(facility().locate(""), QString());
}

TEST_F(HelpFacilityTest, AbsolutePathIsTakenAsItStands) {
    HelpTopic topic = facility().resolve(help("Quillon2.chm"), 0, 0);
    EXPECT_EQ(topic.problem, QString());
    EXPECT_EQ(topic.folder, helpFolder());
    // Not looked up by its bare name when the folder named is wrong.
    const QString elsewhere = program("sub/Quillon2.chm");
    EXPECT_EQ(facility().resolve(elsewhere, 0, 0).problem,
              QStringLiteral("Cannot find the help file \"%1\".").arg(elsewhere));
}

TEST_F(HelpFacilityTest, MissingFileGetsTheFacilitysMessage) {
    EXPECT_EQ(facility().resolve("Quillon.hlp", 15, 2007557).problem,
              QStringLiteral("Cannot find the help file \"Quillon.hlp\"."));
}

TEST_F(HelpFacilityTest, LinkLeadsToThePagesBesideItsTarget) {
    HelpTopic topic = facility().resolve("Linked.chm", 0, 0);
    EXPECT_EQ(topic.problem, QString());
    EXPECT_EQ(topic.folder, helpFolder());
}

TEST_F(HelpFacilityTest, FileWithoutItsPagesIsReported) {
    EXPECT_EQ(facility().resolve("Lone.chm", 0, 0).problem,
              QStringLiteral("Cannot show the help file \"Lone.chm\": its pages are not installed "
                             "beside it."));
}

struct CommandRow {
    int command;
    long data;
    const char* page;
    bool contents;
};

class HelpCommandTest : public HelpFacilityTest,
                        public ::testing::WithParamInterface<CommandRow> {};

TEST_P(HelpCommandTest, CommandChoosesThePage) {
    const CommandRow& row = GetParam();
    HelpTopic topic = facility().resolve("Quillon2.chm", row.command, row.data);
    ASSERT_EQ(topic.problem, QString());
    EXPECT_EQ(topic.page, QLatin1String(row.page));
    EXPECT_EQ(topic.contents, row.contents);
    EXPECT_EQ(topic.title, QStringLiteral("Bench Help"));
    ASSERT_EQ(topic.entries.size(), 2);
    EXPECT_EQ(topic.entries[1].name, QStringLiteral("The window"));
    EXPECT_EQ(topic.entries[1].page, QStringLiteral("html/window.html"));
}

INSTANTIATE_TEST_SUITE_P(Commands, HelpCommandTest,
                         ::testing::Values(CommandRow{0, 0, "html/index.html", false},
                                           CommandRow{3, 0, "html/index.html", true},
                                           CommandRow{15, 2007557, "html/window.html", false},
                                           CommandRow{15, 16, "html/bus.html", false},
                                           CommandRow{15, 42, "html/index.html", false},
                                           CommandRow{0, 2007557, "html/index.html", false},
                                           CommandRow{7, 0, "html/index.html", false}));

TEST_F(HelpFacilityTest, ContextWhosePageIsMissingIsReported) {
    write(help("Quillon2.hhp"), "[OPTIONS]\nDefault topic=html/gone.html\n");
    EXPECT_EQ(facility().resolve("Quillon2.chm", 0, 0).problem,
              QStringLiteral("Cannot show the help file \"Quillon2.chm\": the page "
                             "\"html/gone.html\" is missing."));
}

TEST_F(HelpFacilityTest, WindowShowsThePageAndFollowsTheContents) {
    HelpWindow window;
    window.showTopic(facility().resolve("Quillon2.chm", 15, 2007557));
    EXPECT_EQ(window.currentPage(), helpFolder() + "/html/window.html");
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Bench Help"));
    ASSERT_EQ(window.contentsList()->count(), 2);
    EXPECT_EQ(window.contentsList()->currentRow(), 1);

    QListWidget* list = window.contentsList();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(0)).center());
    EXPECT_EQ(window.currentPage(), helpFolder() + "/html/index.html");
    EXPECT_EQ(list->currentRow(), 0);
}

// The help as this build made it: every context number the program uses has a
// page, and every contents entry and every link between pages leads to one.
TEST(BuiltHelp, ContextAndLinksLeadToPages) {
    const QString folder = QStringLiteral(TM_TEST_HELP_BUILD_DIR);
    if (!QFileInfo::exists(folder + "/Quillon2.chm")) {
        GTEST_SKIP() << "the help compiler (chmcmd) was not found, so no .chm was built";
    }
    HelpFacility built({folder});
    for (const char* file : {"Quillon.chm", "Quillon2.chm"}) {
        HelpTopic topic = built.resolve(file, 15, 2007557);
        ASSERT_EQ(topic.problem, QString()) << file;
        EXPECT_EQ(topic.page, QStringLiteral("html/window.html"));
        EXPECT_GE(topic.entries.size(), 9);
        for (const HelpContentsEntry& entry : topic.entries) {
            EXPECT_TRUE(QFileInfo::exists(folder + "/" + entry.page)) << entry.page.toStdString();
        }
    }
    static const QRegularExpression link(QStringLiteral("href=\"([^\"#:]+)\""));
    for (const QFileInfo& page : QDir(folder + "/html").entryInfoList({"*.html"})) {
        QFile file(page.filePath());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        for (auto it = link.globalMatch(text); it.hasNext();) {
            const QString target = it.next().captured(1);
            EXPECT_TRUE(QFileInfo::exists(page.dir().filePath(target)))
                << page.fileName().toStdString() << " links to " << target.toStdString();
        }
    }
}

// HelpWindow has no meta-object of its own, so findChildren would take any widget.
std::vector<HelpWindow*> helpWindowsOf(const QObject& owner) {
    std::vector<HelpWindow*> found;
    for (QObject* child : owner.children()) {
        if (auto* window = dynamic_cast<HelpWindow*>(child)) {
            found.push_back(window);
        }
    }
    return found;
}

// The desktop facility as the program calls it, from the build's program
// folder: the context help after start-up, and a file that is not there.
TEST(DesktopHelp, ShowsTheContextPageOrTheMessage) {
    const QString programFolder = QStringLiteral(TM_TEST_PROGRAM_DIR);
    if (!QFileInfo::exists(programFolder + "/Quillon2.chm")) {
        GTEST_SKIP() << "the help compiler (chmcmd) was not found, so no .chm was built";
    }
    QWidget owner;
    const Text file = FromQString(programFolder + "/Quillon2.chm");
    ShowDesktopHelp({HelpRequest::Route::ContextHelp, file, 0x0F, 2007557}, &owner, programFolder);
    ASSERT_EQ(helpWindowsOf(owner).size(), 1u);
    HelpWindow* help = helpWindowsOf(owner).front();
    EXPECT_TRUE(help->currentPage().endsWith("/share/tarvel-morrow/help/html/window.html"))
        << help->currentPage().toStdString();
    // The Help button's bare name reuses the same window, at the default topic.
    ShowDesktopHelp({HelpRequest::Route::HtmlHelp, u"Quillon.chm", 0, 0}, &owner, programFolder);
    EXPECT_EQ(helpWindowsOf(owner).size(), 1u);
    EXPECT_TRUE(help->currentPage().endsWith("/html/index.html"));
    EXPECT_EQ(owner.findChildren<QMessageBox*>().size(), 0);

    ShowDesktopHelp({HelpRequest::Route::ContextHelp, u"Quillon.hlp", 0x0F, 2007557}, &owner,
                    programFolder);
    auto* box = owner.findChild<QMessageBox*>();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), QStringLiteral("Cannot find the help file \"Quillon.hlp\"."));
}

}  // namespace
