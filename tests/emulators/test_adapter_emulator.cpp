// The emulated adapter answers as each adapter does, where the two differ
// most: errors, address forms, end bytes under ++eoi 1, polls and searches.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "emulators/adapter_emulator.h"

namespace {

using emulators::AdapterFlavour;

struct Row {
    const char* what;
    AdapterFlavour flavour;
    const char* input;
    std::string output;
};

const char kIdn[] = "SIMULATED BENCH,DMM-9,0001,1.0\n";
constexpr auto P = AdapterFlavour::Prologix;
constexpr auto A = AdapterFlavour::Ar488;

TEST(AdapterEmulatorTest, AnswersAsEachAdapterDoes) {
    const Row rows[] = {
        {"version", A, "++ver\n", "AR488 GPIB controller, ver. 0.53.04, 13/04/2025\r\n"},
        {"secondary address, Prologix", P, "++addr 5 97\n++addr\n", "5 97\r\n"},
        {"secondary address, AR488", A, "++addr 5 1\n++addr\n", "5,97\r\n"},
        {"the controller's own address", A, "++addr 0\n", "Invalid parameter\r\n"},
        {"unknown command, AR488", A, "++fly\n", "Unrecognized command\r\n"},
        {"unknown command, Prologix", P, "++fndl all\n", ""},
        // AR488 0.53 takes a number after ++read for the address to read
        // from, and reads to EOI under ++eoi 1.
        {"a number after ++read is an address; under ++eoi 1, AR488 reads to EOI", A,
         "++eoi 1\n++eot_enable 1\n++eot_char 33\n++addr 9\n*IDN?\n++addr 5\n++read 9\n",
         std::string(kIdn) + "!"},
        {"an end byte alone is an address out of range, AR488", A, "++read 44\n",
         "Invalid parameter\r\n"},
        {"reading to LF with ++eoi 0 and ++eor 2, AR488: no mark", A,
         "++eoi 0\n++eor 2\n++eot_enable 1\n++eot_char 33\n++addr 9\n*IDN?\n++read\n", kIdn},
        {"end byte, Prologix", P, "++eot_enable 1\n++eot_char 33\n++addr 9\n*IDN?\n++read 44\n",
         "SIMULATED BENCH,"},
        {"escaped line ends reach the instrument", P, "++addr 9\n*IDN?\x1b\n\n++read eoi\n", kIdn},
        {"a poll of a secondary, AR488", A, "++spoll 5 97\n", "Invalid parameter\r\n"},
        {"a poll of a secondary, Prologix", P, "++spoll 5 97\n", "0\r\n"},
        {"nobody at 3 answers no poll", P, "++spoll 3\n", ""},
        {"listener search", A, "++fndl 5,7,9\n", "5:97,7:98,9\r\n"},
        {"all-poll, nobody asks", A, "++allspoll\n", "\r\n"},
        {"all-poll after a trigger", A, "++trg 12\n++allspoll\n++srq\n", "SRQ:12,65\r\n\r\n0\r\n"},
        {"REN", A, "++ren 0\n++ren\n", "0\r\n"},
        {"settings kept, Prologix", P, "++savecfg 0\n++savecfg\n", "0\r\n"},
    };
    for (const Row& row : rows) {
        emulators::ServedBench bench = emulators::serveBench("", 0, true);
        ASSERT_TRUE(bench.board) << bench.problem;
        std::string out;
        bool hungUp = false;
        emulators::AdapterEmulator adapter(
            bench, {row.flavour},
            {[&](const std::string& b) { return out += b, true; }, [&] { hungUp = true; }});
        adapter.receive(row.input, std::char_traits<char>::length(row.input));
        EXPECT_EQ(out, row.output) << row.what;
        EXPECT_FALSE(hungUp) << row.what;
    }
}

// The command line: every option it has, a bad one refused with exit code 2
// and a sentence, before anything is served.
TEST(AdapterEmulatorCommandLine, RefusesABadOptionWithExitCode2) {
    struct Case {
        const char* args;
        int code;
        const char* says;
    };
    const Case cases[] = {
        {"--help", 0, "Usage: tm-adapter-emulator"},
        {"--bogus", 2, "--bogus"},
        {"--flavour gpib", 2, "--flavour"},
        {"--tcp 70000", 2, "--tcp"},
        {"--tcp port", 2, "--tcp"},
        {"--board 16", 2, "--board"},
        {"--fault nope", 2, "--fault"},
        {"--fault-after -1", 2, "--fault-after"},
        {"--link", 2, "--link"},
        {"--jitter -5", 2, "--jitter"},
        {"--ver-delay 70000", 2, "--ver-delay"},
        {"--ver-text ''", 2, "a version line is 1 to 200 printable characters"},
        {"--ver-text \"$(printf 'a\\tb')\"", 2, "a version line is 1 to 200 printable characters"},
        // Every option taken; the missing bench file stops it with 1.
        {"--flavour ar488 --bench /nonexistent.yaml --board 1 --instant --tcp 0 --bind 127.0.0.1 "
         "--link /nonexistent/l --count-lines --exit-on-stdin-eof --fault silent --fault-after 1 "
         "--fault-times 2 --read-ends-on-input --ver-delay 5 --ver-text 'My adapter 1.0' "
         "--jitter 20 --seed 4",
         1, "/nonexistent.yaml"},
    };
    for (const Case& c : cases) {
        const std::string out =
            testing::TempDir() + "tm-emulator-options-" + std::to_string(::getpid()) + ".txt";
        const std::string command =
            std::string(TM_ADAPTER_EMULATOR) + " " + c.args + " </dev/null >" + out + " 2>&1";
        const int status = std::system(command.c_str());
        std::ifstream in(out);
        const std::string said((std::istreambuf_iterator<char>(in)), {});
        std::remove(out.c_str());
        EXPECT_EQ(WEXITSTATUS(status), c.code) << c.args << ": " << said;
        EXPECT_NE(said.find(c.says), std::string::npos) << c.args << ": " << said;
    }
}

}  // namespace
