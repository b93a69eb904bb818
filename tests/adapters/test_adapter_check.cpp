// tm-adapter-check against the emulated adapter in each of its behaviours:
// what it prints of each, the way it says the driver chooses, its exit
// status, and that it sent the adapter nothing for an instrument.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <fstream>
#include <string>
#include <vector>

#include "adapters/emulator_process.h"

namespace {

struct CheckRun {
    int status = -1;
    std::string said;
};

CheckRun check(const std::string& args) {
    const std::string out = scratchPath("check.txt");
    const std::string command =
        std::string(TM_ADAPTER_CHECK) + " " + args + " </dev/null >" + out + " 2>&1";
    CheckRun r;
    r.status = WEXITSTATUS(std::system(command.c_str()));
    std::ifstream in(out);
    r.said.assign(std::istreambuf_iterator<char>(in), {});
    return r;
}

struct Row {
    const char* what;
    std::vector<std::string> emulator;  // its options beyond the flavour
    std::string args;                   // the check's, beyond the device
    std::vector<std::string> says;
};

TEST(AdapterCheck, SaysWhatEachAdapterDoesAndSendsNothingForAnInstrument) {
    const Row rows[] = {
        {"an AR488 that takes host input only between commands",
         {"--flavour", "ar488"},
         "",
         {"dialect:          AR488", "listener search:  ++fndl",
          "read ends:        EOI (++read eoi); a byte through ++eor",
          "host input:       waits for the read (a read from 0, ++read_tmo_ms ",
          "reads:            fast: host input waits for the read"}},
        {"an AR488 whose reads end on host input",
         {"--flavour", "ar488", "--read-ends-on-input"},
         "",
         {"host input:       ends the read",
          "reads:            safe: host input ended a test read"}},
        {"a Prologix, which has no address of its own to read from",
         {"--flavour", "prologix"},
         "",
         {"dialect:          Prologix", "listener search:  not asked",
          "host input:       not tested (none: a Prologix's manual names no address",
          "reads:            safe: no harmless test read"}},
        {"a Prologix tested at an address its owner knows is empty",
         {"--flavour", "prologix"},
         "--empty-address 3",
         {"host input:       waits for the read (a read from 3, ",
          "reads:            fast: host input waits for the read"}},
        {"a Prologix-compatible whose reads end on host input",
         {"--flavour", "prologix", "--read-ends-on-input"},
         "--empty-address 3",
         {"host input:       ends the read",
          "reads:            safe: host input ended a test read"}},
        {"a short version line",
         {"--flavour", "prologix", "--ver-text", "GPIB 1.0"},
         "",
         {"version line:     \"GPIB 1.0\"", "a short line: asked 2 times behind each read"}},
    };
    for (const Row& row : rows) {
        std::vector<std::string> options = row.emulator;
        options.insert(options.end(),
                       {"--instant", "--count-lines", "--link", scratchPath("check.tty")});
        EmulatorProcess adapter(options);
        ASSERT_TRUE(adapter.started()) << row.what;
        const CheckRun r = check(adapter.where() + " " + row.args);
        EXPECT_EQ(r.status, 0) << row.what << "\n" << r.said;
        EXPECT_EQ(r.said.rfind("tm-adapter-check: " + adapter.where() + "\n", 0), 0u) << r.said;
        for (const std::string& line : row.says)
            EXPECT_NE(r.said.find(line), std::string::npos) << row.what << ": " << line << "\n"
                                                            << r.said;
        // Lines of data, reads from anywhere but the test's address, polls,
        // triggers, clears: none.
        const std::string lines = adapter.stop();
        for (const char* kind : {" data ", "++spoll", "++trg", "++clr", "++ifc", "++loc", "++llo"})
            EXPECT_EQ(lines.find(kind), std::string::npos) << row.what << ": " << lines;
    }
}

TEST(AdapterCheck, AnswersABadCommandLineWith2AndAnAdapterItCannotOpenWith1) {
    EmulatorProcess silent(
        {"--flavour", "ar488", "--fault", "silent", "--link", scratchPath("silent.tty")});
    ASSERT_TRUE(silent.started());
    const struct {
        std::string args;
        int status;
        const char* says;
    } rows[] = {
        {"", 2, "name either a serial device or --host"},
        {"/dev/null --host 127.0.0.1", 2, "name either a serial device or --host"},
        {"/dev/ttyS99 --port 1234", 2, "--port is for --host"},
        {"--host 127.0.0.1 --baud 9600", 2, "--baud is for a serial device"},
        {"--host 127.0.0.1 --port 0", 2, "--port"},
        {"--flavour gpib /dev/null", 2, "--flavour"},
        {"--empty-address 31 /dev/null", 2, "--empty-address"},
        {"/nonexistent/tty", 1, "No such file"},
        {silent.where() + " --timeout 600", 1, "no answer to ++ver"},
        {"--help", 0, "Usage: tm-adapter-check PORT"},
    };
    for (const auto& row : rows) {
        const CheckRun r = check(row.args);
        EXPECT_EQ(r.status, row.status) << row.args << ": " << r.said;
        EXPECT_NE(r.said.find(row.says), std::string::npos) << row.args << ": " << r.said;
    }
}

}  // namespace
