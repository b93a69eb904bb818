// GPIB_TRACE on the real program: killed without warning once start-up has
// run, it leaves a file of whole lines, every call numbered in order.

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

std::string contents(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(TraceFile, SurvivesAKillWithEveryLineWhole) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("tm-trace-kill-" + std::to_string(getpid()) + ".log");
    std::filesystem::remove(path);
    // The program's own environment, with the bundled bench in instant timing.
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string var = *e;
        if (var.rfind("GPIB_", 0) != 0 && var.rfind("QT_QPA_PLATFORM=", 0) != 0)
            env.push_back(var);
    }
    env.insert(env.end(),
               {"QT_QPA_PLATFORM=offscreen", "GPIB_SIM_INSTANT=1", "GPIB_TRACE=" + path.string()});
    std::vector<char*> envp;
    for (std::string& var : env) envp.push_back(var.data());
    envp.push_back(nullptr);
    char program[] = TM_PROGRAM;
    char* argv[] = {program, nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, program, nullptr, nullptr, argv, envp.data()), 0);

    // Start-up ends with the listener search; then kill at once.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (contents(path).find(") -> found [") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

    const std::string text = contents(path);
    std::filesystem::remove(path);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    std::istringstream lines(text);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line.rfind("# driver calls from ", 0), 0u) << line;
    const std::regex whole(
        R"( +(\d+) +\d+us +\d+us  \w+\(.*\)( -> .+)? \| ibsta 0x[0-9A-F]{4} \(.+\)( iberr \w+)? ibcntl -?\d+)");
    int seq = 0;
    while (std::getline(lines, line)) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, whole)) << line;
        EXPECT_EQ(std::stoi(m[1]), ++seq);
    }
    EXPECT_NE(text.find(R"(ibfind("GPIB0") -> ud 0)"), std::string::npos) << text;
    EXPECT_NE(text.find("FindLstn(board 0, [1 2 3 "), std::string::npos) << text;
}

}  // namespace
