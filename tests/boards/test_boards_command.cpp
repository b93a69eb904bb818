// tm-boards as a person uses it: boards added, listed as the driver opens
// them, removed; and board map files that are links, folders, FIFOs or not
// the person's to read, each refused or followed without losing a byte.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "adapters/emulator_process.h"
#include "boards/run_command.h"
#include "support/scratch_dir.h"

namespace {

namespace fs = std::filesystem;

constexpr int kNobody = 65534;

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

Ran boards(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
           int asUser = -1) {
    std::vector<std::string> argv{TM_BOARDS};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> environment{"GPIB_BOARDS", "GPIB_SIM_BENCH",
                                         "XDG_CONFIG_HOME=" + testscratch::folder() + "/nohome"};
    environment.insert(environment.end(), env.begin(), env.end());
    return runCommand(argv, environment, 30000, asUser);
}

TEST(BoardsCommand, AddedBoardsAreListedAsTheDriverOpensThemAndRemovedAgain) {
    const std::string map = testscratch::folder() + "/story/boards.yaml";
    Ran r = boards({"--boards", map, "add", "gpib0", "simulated"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "GPIB0 added to " + map + "\n  kind: simulated\n");
    // Port 1 of loopback: refused at once, so the board does not open.
    r = boards({"--boards", map, "add", "GPIB3", "vxi11", "host=127.0.0.1", "core_port=1"});
    ASSERT_EQ(r.status, 0) << r.err;

    r = boards({"--boards", map});
    EXPECT_EQ(r.status, 1) << "a board that does not open is the list's failure";
    EXPECT_NE(r.out.find("board map " + map + "\n"), std::string::npos) << r.out;
    // Columns as wide as their widest entry, two blanks between.
    EXPECT_NE(r.out.find("  GPIB0  simulated  built-in bench" + std::string(25 + 2, ' ') +
                         "open: simulated bench, built-in bench\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("  GPIB3  vxi11      127.0.0.1, interface gpib0, core port 1  not open: "),
              std::string::npos)
        << r.out;
    r = boards({"--boards", map, "--no-open"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.find("open"), std::string::npos) << r.out;

    r = boards({"--boards", map, "remove", "GPIB3"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "GPIB3 removed from " + map +
                         "\n  it was: GPIB3:; kind: vxi11; host: 127.0.0.1; core_port: 1\n");
    r = boards({"list", "--boards", map});
    EXPECT_EQ(r.status, 0) << r.out;
    r = boards({"--boards", map, "remove", "GPIB3"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "tm-boards: nothing written to " + map + ": the map has no board GPIB3\n");
}

TEST(BoardsCommand, WhatTheCommandLineGetsWrongIsSaidAndNothingWritten) {
    const std::string map = testscratch::folder() + "/wrong/boards.yaml";
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err;
    } cases[] = {
        {{"add", "GPIB0"}, 2, "kind is required"},
        {{"add", "GPIB0", "simulated", "bench"}, 1, "\"bench\" is no setting: write KEY=VALUE"},
        {{"add", "GPIB0", "simulated", "kind=vxi11"}, 1, "the kind is the word after"},
        {{"add", "GPIB0", "vxi11", "host=a", "host=b"}, 1, "host= is given twice"},
        {{"add", "GPIB0", "vxi11"}, 1, "needs a host:"},
        {{"add", "GPIB0", "simulated", "--system"}, 2, "--boards and --system exclude each other"},
        {{"find", "--timeout", "0"}, 2, "0 is not a number it takes (10 to 60000)"},
        {{"frobnicate"}, 2, "frobnicate"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"--boards", map};
        args.insert(args.end(), c.args.begin(), c.args.end());
        Ran r = boards(args);
        EXPECT_EQ(r.status, c.status) << args[2] << r.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(map));
    }
}

TEST(BoardsCommand, AMapThatIsALinkIsEditedWhereItLeadsAndStaysALink) {
    const fs::path dir = testscratch::folder() + "/link";
    fs::create_directories(dir / "real");
    const std::string text = "# kept\nboards:\n  GPIB0: {kind: simulated}  # mine\n";
    std::ofstream(dir / "real/boards.yaml") << text;
    chmod((dir / "real/boards.yaml").c_str(), 0640);
    fs::create_symlink("real/boards.yaml", dir / "boards.yaml");
    Ran r = boards({"--boards", (dir / "boards.yaml").string(), "add", "GPIB1", "simulated"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("(a link to " + fs::canonical(dir / "real/boards.yaml").string() + ")"),
              std::string::npos)
        << r.out;
    EXPECT_TRUE(fs::is_symlink(dir / "boards.yaml"));
    EXPECT_EQ(slurp(dir / "real/boards.yaml"), text + "  GPIB1:\n    kind: simulated\n");
    EXPECT_EQ(fs::status(dir / "real/boards.yaml").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    // Nothing of the edit is left beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "real"), fs::directory_iterator()), 1);

    fs::create_symlink("nowhere.yaml", dir / "dangling.yaml");
    r = boards({"--boards", (dir / "dangling.yaml").string(), "add", "GPIB1", "simulated"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("is a link to nowhere.yaml, which cannot be reached"), std::string::npos)
        << r.err;
    EXPECT_FALSE(fs::exists(dir / "nowhere.yaml"));
}

TEST(BoardsCommand, AMapThatIsNoRegularFileIsRefusedUnread) {
    const fs::path dir = testscratch::folder() + "/odd";
    fs::create_directories(dir / "folder.yaml");
    ASSERT_EQ(mkfifo((dir / "fifo.yaml").c_str(), 0600), 0);
    for (const char* name : {"folder.yaml", "fifo.yaml"}) {
        for (std::vector<std::string> args :
             {std::vector<std::string>{"add", "GPIB0", "simulated"}, {"remove", "GPIB0"}, {}}) {
            args.insert(args.begin(), {"--boards", (dir / name).string()});
            Ran r = boards(args);
            EXPECT_EQ(r.status, 1) << name;
            EXPECT_NE(r.err.find("is not a regular file"), std::string::npos) << r.err;
            EXPECT_LT(r.seconds, 10) << "a FIFO must not be waited on";
        }
    }
    EXPECT_TRUE(fs::is_directory(dir / "folder.yaml"));
    EXPECT_TRUE(fs::is_fifo(dir / "fifo.yaml"));
}

TEST(BoardsCommand, AMapThePersonMayNotReadOrReplaceIsLeftAsItWas) {
    // Root reads every file: the person here is nobody, whose map this is not.
    const fs::path dir = testscratch::folder() + "/locked";
    fs::create_directories(dir);
    const std::string text = "boards:\n  GPIB0: {kind: simulated}\n";
    std::ofstream(dir / "secret.yaml") << text;
    chmod((dir / "secret.yaml").c_str(), 0600);
    std::ofstream(dir / "shared.yaml") << text;
    chmod((dir / "shared.yaml").c_str(), 0644);
    chmod(dir.c_str(), 0755);
    chmod(testscratch::folder().c_str(), 0755);
    if (geteuid() != 0 && access((dir / "secret.yaml").c_str(), R_OK) == 0)
        GTEST_SKIP() << "this user may read every file, and is not root to become another";

    const int as = geteuid() == 0 ? kNobody : -1;
    Ran r =
        boards({"--boards", (dir / "secret.yaml").string(), "add", "GPIB1", "simulated"}, {}, as);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot be opened (Permission denied)"), std::string::npos) << r.err;
    r = boards({"--boards", (dir / "shared.yaml").string(), "add", "GPIB1", "simulated"}, {}, as);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no file can be made in " + dir.string()), std::string::npos) << r.err;
    EXPECT_EQ(slurp(dir / "secret.yaml"), text);
    EXPECT_EQ(slurp(dir / "shared.yaml"), text);
}

TEST(BoardsCommand, WithoutAMapThePersonsOwnIsMadeWhereTheDriverLooks) {
    if (fs::exists("/etc/tarvel-morrow/boards.yaml"))
        GTEST_SKIP() << "this machine has a board map in /etc, which tm-boards would copy first";
    const std::string config = testscratch::folder() + "/xdg";
    Ran r = boards({"add", "GPIB0", "vxi11", "host=lab-pc"}, {"XDG_CONFIG_HOME=" + config});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string made = config + "/tarvel-morrow/boards.yaml";
    EXPECT_EQ(r.out.rfind("GPIB0 added to " + made + "\n", 0), 0u) << r.out;
    const std::string text = slurp(made);
    EXPECT_EQ(text.substr(text.find("boards:")),
              "boards:\n  GPIB0:\n    kind: vxi11\n    host: lab-pc\n");
    // The driver reads it from there.
    r = boards({"--no-open"}, {"XDG_CONFIG_HOME=" + config});
    EXPECT_NE(r.out.find("board map " + made), std::string::npos) << r.out;
}

TEST(BoardsCommand, WithoutAMapItListsWhatTheDriverServesAndAsksAnAdapterOnlyWhenOpening) {
    if (fs::exists("/etc/tarvel-morrow/boards.yaml"))
        GTEST_SKIP() << "this machine has a board map in /etc, which would be listed instead";
    const fs::path byId = testscratch::folder() + "/no-map-by-id";
    fs::create_directories(byId);
    const std::string named =
        (byId / "usb-Prologix_Prologix_GPIB-USB_Controller_PX7-if00").string();
    const std::vector<std::string> env{"GPIB_SERIAL_BY_ID=" + byId.string()};
    {
        EmulatorProcess prologix{{"--flavour", "prologix", "--instant", "--count-lines"}};
        ASSERT_TRUE(prologix.started());
        fs::create_symlink(prologix.where(), named);
        Ran r = boards({"--no-open"}, env);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out.rfind("no board map ($GPIB_BOARDS is not set", 0), 0u) << r.out;
        EXPECT_NE(r.out.find(named + " becomes GPIB0 if it answers like a Prologix (not asked: "
                                     "--no-open)"),
                  std::string::npos)
            << r.out;
        EXPECT_NE(r.out.find("  GPIB0  simulated  built-in bench\n"), std::string::npos) << r.out;
        EXPECT_EQ(prologix.stop(), "lines: \n") << "listed without opening, asked nothing";
    }
    EmulatorProcess prologix{{"--flavour", "prologix", "--instant"}};
    ASSERT_TRUE(prologix.started());
    fs::remove(named);
    fs::create_symlink(prologix.where(), named);
    Ran r = boards({}, env);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("  GPIB0  prologix  " + named +
                         "  open: Prologix GPIB-USB Controller version 6.107 on " + named),
              std::string::npos)
        << r.out;
}

TEST(BoardsCommand, APersonWithoutAMapOfTheirOwnStartsFromACopyOfTheSystemsMap) {
    // The system's map lives in /etc: the test puts one there in a mount
    // namespace of its own, which no one else sees and which ends with it.
    if (geteuid() != 0 || runCommand({"/usr/bin/unshare", "-m", "/bin/true"}).status != 0)
        GTEST_SKIP() << "a private mount namespace takes root (and unshare)";
    const std::string config = testscratch::folder() + "/seeded";
    const std::string script =
        "mount -t tmpfs none /etc && mkdir /etc/tarvel-morrow && "
        "printf '# the lab default\\nboards:\\n  GPIB0: {kind: simulated}  # keep\\n' "
        "> /etc/tarvel-morrow/boards.yaml && "
        "XDG_CONFIG_HOME=" +
        config +
        " " TM_BOARDS
        " add GPIB1 vxi11 host=lab-pc && "
        "cat /etc/tarvel-morrow/boards.yaml";
    Ran r = runCommand({"/usr/bin/unshare", "-m", "/bin/sh", "-c", script}, {"GPIB_BOARDS"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string system = "# the lab default\nboards:\n  GPIB0: {kind: simulated}  # keep\n";
    EXPECT_NE(r.out.find("(new, a copy of /etc/tarvel-morrow/boards.yaml: a map of your own "
                         "replaces the system's)"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.substr(r.out.size() - system.size()), system) << "the system's map untouched";
    EXPECT_EQ(slurp(config + "/tarvel-morrow/boards.yaml"),
              system + "  GPIB1:\n    kind: vxi11\n    host: lab-pc\n");
}

}  // namespace
