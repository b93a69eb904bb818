// Loading bench files: the format's own files load (pyvisa-sim's bundled one
// among them), our gpib section is read, and bad files are refused with the
// line and the reason.

#include <gtest/gtest.h>
#include <cstdlib>
#include <filesystem>

#include <fstream>

#include "sim/bench_loader.h"
#include "sim/builtin_bench.h"

namespace {

using sim::loadBenchText;

constexpr const char* kHead = R"(spec: "1.1"
devices:
  d:
    eom:
      GPIB INSTR: {q: "\n", r: "\n"}
    dialogues:
      - {q: "*IDN?", r: "X"}
)";

std::string refusal(const std::string& text) {
    auto r = loadBenchText(text, "bench file t.yaml");
    EXPECT_FALSE(r.bench) << text;
    return r.problem;
}

TEST(BenchLoader, ReadsPyvisaSimsOwnFileAndSkipsWhatIsNotGpib) {
    std::ifstream probe(PYVISA_DEFAULT_YAML);
    if (!probe)
        GTEST_SKIP() << "pyvisa-sim's default.yaml is not at " PYVISA_DEFAULT_YAML;
    auto r = sim::loadBenchFile(PYVISA_DEFAULT_YAML);
    ASSERT_TRUE(r.bench) << r.problem;
    const auto& b = *r.bench;
    EXPECT_EQ(b.source, std::string("bench file ") + PYVISA_DEFAULT_YAML);
    ASSERT_EQ(b.instruments.size(), 6u);
    std::vector<std::pair<int, std::string>> found;
    for (const auto& i : b.instruments) found.emplace_back(i.address.pad, b.devices[i.device].name);
    EXPECT_EQ(found, (std::vector<std::pair<int, std::string>>{{8, "device 1"},
                                                               {9, "device 2"},
                                                               {10, "device 3"},
                                                               {4, "device 4"},
                                                               {22, "device 5"},
                                                               {2, "device 6"}}));
    ASSERT_EQ(b.boards.size(), 1u);
    EXPECT_EQ(b.boards[0].name, "GPIB0");
    int skippedResources = 0;
    bool skippedConnections = false;
    for (const auto& n : b.notes) {
        skippedResources += n.find("skipped the resource") != std::string::npos;
        skippedConnections = skippedConnections || n.find("\"connections\"") != std::string::npos;
    }
    EXPECT_EQ(skippedResources, 14);
    EXPECT_TRUE(skippedConnections);
}

TEST(BenchLoader, TheBuiltInBenchIsAGoodBenchFile) {
    auto r = loadBenchText(sim::builtinBenchText(), "built-in bench");
    ASSERT_TRUE(r.bench) << r.problem;
    EXPECT_TRUE(r.bench->notes.empty()) << r.bench->notes.front();
    EXPECT_EQ(r.bench->instruments.size(), 5u);
    EXPECT_EQ(r.bench->boards.size(), 2u);
}

TEST(BenchLoader, ReadsTheGpibSection) {
    auto r = loadBenchText(std::string(kHead) + R"(resources:
  GPIB1::7::2::INSTR: {device: d}
gpib:
  timing: {instant: true, byte_us: 2}
  boards:
    - {index: 1, name: Bench1, pad: 21, system_controller: false}
  instruments:
    GPIB1::7::2::INSTR:
      sre: 16
      trigger: {request_service: true, status_bits: 0x01}
      answers: 3
  faults:
    - {call: [Send, Receive], address: "7::2", after: 2, times: 1, iberr: EABO, ibsta: [TIMO, END]}
    - {call: FindLstn, count: -1}
)",
                           "bench file t.yaml");
    ASSERT_TRUE(r.bench) << r.problem;
    const auto& b = *r.bench;
    EXPECT_TRUE(b.timing.instant);
    EXPECT_EQ(b.timing.byteUs, 2.0);
    ASSERT_EQ(b.boards.size(), 1u);
    EXPECT_EQ(b.boards[0].name, "Bench1");
    EXPECT_EQ(b.boards[0].pad, 21);
    EXPECT_FALSE(b.boards[0].systemController);
    ASSERT_EQ(b.instruments.size(), 1u);
    EXPECT_EQ(b.instruments[0].address, (sim::GpibAddress{1, 7, 2}));
    EXPECT_EQ(b.instruments[0].sre, 16);
    EXPECT_TRUE(b.instruments[0].trigger.requestService);
    EXPECT_EQ(b.instruments[0].answersLimit, 3);
    ASSERT_EQ(b.faults.size(), 2u);
    EXPECT_EQ(b.faults[0].calls, (std::vector<std::string>{"Send", "Receive"}));
    EXPECT_EQ(b.faults[0].pad, 7);
    EXPECT_EQ(b.faults[0].sad, 2);
    EXPECT_EQ(b.faults[0].iberr, 6);
    EXPECT_EQ(b.faults[0].ibstaBits, 0x4000 | 0x2000);
    EXPECT_FALSE(b.faults[0].perform);
    EXPECT_EQ(b.faults[1].count, -1);
    EXPECT_TRUE(b.faults[1].perform);
}

struct BadCase {
    std::string text;
    const char* expected;  // the whole refusal after "simulated bench: bench file t.yaml"
};

class BadFiles : public testing::TestWithParam<BadCase> {};

TEST_P(BadFiles, AreRefusedWithLineAndReason) {
    std::string problem = refusal(GetParam().text);
    EXPECT_EQ(problem, std::string("simulated bench: bench file t.yaml") + GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadFiles,
    testing::Values(
        BadCase{"", ": the file is empty"},
        BadCase{"- just\n- a list\n",
                ", line 1: the top level of a bench file must be a mapping of keys to values"},
        BadCase{"spec: \"2.0\"\n",
                ", line 1: spec \"2.0\" is not a version this bench reads (1.0 or 1.1)"},
        BadCase{std::string(kHead) + "resources:\n  GPIB0::9::INSTR: {device: nobody}\n",
                ", line 9: the resource GPIB0::9::INSTR names the unknown device \"nobody\""},
        BadCase{std::string(kHead) +
                    "resources:\n  GPIB0::9::INSTR: {device: d}\n  GPIB::9::INSTR: {device: d}\n",
                ", line 10: two instruments at GPIB0::9 (GPIB0::9::INSTR and GPIB::9::INSTR)"},
        BadCase{std::string(kHead) + "resources:\n  GPIB0::31::INSTR: {device: d}\n",
                ", line 9: \"GPIB0::31::INSTR\" has the primary address 31, beyond 30"},
        BadCase{std::string(kHead) + "resources:\n  GPIB0::7::31::INSTR: {device: d}\n",
                ", line 9: \"GPIB0::7::31::INSTR\" has the secondary address 31, beyond 30"},
        BadCase{std::string(kHead) + "resources:\n  GPIB16::7::INSTR: {device: d}\n",
                ", line 9: \"GPIB16::7::INSTR\" names board 16, beyond 15"},
        BadCase{std::string(kHead) + "resources:\n  GPIB0::x::INSTR: {device: d}\n",
                ", line 9: \"GPIB0::x::INSTR\" has an address that is not a number"},
        BadCase{std::string(kHead) + "resources:\n  GPIB0::0::INSTR: {device: d}\n",
                ", line 9: GPIB0::0::INSTR sits at the controller's own address GPIB0::0"},
        BadCase{"devices:\n  d:\n    dialogues: {q: a}\n",
                ", line 3: device \"d\" dialogues must be a list"},
        BadCase{"devices:\n  d:\n    dialogues:\n      - {r: a}\n",
                ", line 4: device \"d\" dialogue has no \"q\""},
        BadCase{"devices:\n  d:\n    properties:\n      f:\n        default: 200\n        specs: "
                "{max: 100, type: float}\n",
                ", line 5: device \"d\" property \"f\" has a default outside its specs"},
        BadCase{"devices:\n  d:\n    properties:\n      f:\n        specs: {type: complex}\n",
                ", line 5: specs type must be float, int or str, not \"complex\""},
        BadCase{"devices:\n  d:\n    properties:\n      f:\n        getter: {q: \"F?\", r: "
                "\"{:.2f\"}\n",
                ", line 5: an unclosed '{' in the pattern \"{:.2f\""},
        BadCase{"gpib:\n  boards:\n    - {index: 0, pad: 31}\n",
                ", line 3: board pad must be from 0 to 30, not 31"},
        BadCase{"gpib:\n  boards:\n    - {index: 0}\n    - {index: 0}\n",
                ", line 4: two boards with index 0"},
        BadCase{"gpib:\n  boards:\n    - {index: 0, system_controller: maybe}\n",
                ", line 3: system_controller must be true or false, not \"maybe\""},
        BadCase{"gpib:\n  faults:\n    - {call: ibwrite, iberr: EABO}\n",
                ", line 3: a fault names the unknown entry point \"ibwrite\""},
        BadCase{"gpib:\n  faults:\n    - {call: Send, iberr: EWHAT}\n",
                ", line 3: fault iberr (a name such as EABO, or a number) must be a whole number, "
                "not \"EWHAT\""},
        BadCase{"gpib:\n  faults:\n    - {call: Send}\n",
                ", line 3: a fault needs at least one of iberr, ibsta or count"},
        BadCase{"gpib:\n  instruments:\n    GPIB0::3::INSTR: {sre: 16}\n",
                ", line 3: gpib instruments names GPIB0::3::INSTR, which is not in resources"},
        BadCase{
            std::string(kHead) +
                "resources:\n  GPIB1::7::INSTR: {device: d}\ngpib:\n  boards:\n    - {index: 0}\n",
            ", line 9: GPIB1::7::INSTR is on board 1, which the gpib boards do not list"},
        BadCase{"devices: [unclosed\n",
                ", line 2: the YAML does not parse (end of sequence flow not found)"},
        BadCase{std::string("spec: \"1.1\"\0devices: {}\n", 25),
                ": this is not a text file (a NUL byte at offset 11)"}));

TEST(BenchLoader, SurvivesDeepTruncatedAndExplodingFiles) {
    std::string deep(100000, '[');
    EXPECT_NE(refusal(deep).find("the YAML does not parse"), std::string::npos);
    std::string truncated = std::string(kHead).substr(0, 60);
    EXPECT_FALSE(loadBenchText(truncated, "t").bench);
    // Aliases of aliases: a billion dialogues if expanded; refused unexpanded.
    std::string bomb = "a: &a [{q: x}, {q: x}]\n";
    for (char c = 'b'; c <= 'z'; ++c)
        bomb += std::string(1, c) + ": &" + c + " [*" + char(c - 1) + ", *" + char(c - 1) + "]\n";
    bomb += "devices:\n  d:\n    dialogues: *z\n";
    EXPECT_EQ(refusal(bomb),
              "simulated bench: bench file t.yaml, line 25: device \"d\" dialogue must be a "
              "mapping of keys to values");
    // A list too long to be a bench.
    std::string huge =
        "devices:\n  d:\n    properties:\n      p:\n        specs:\n          valid: [";
    for (int i = 0; i < 600000; ++i) huge += "0,";
    huge += "0]\n";
    EXPECT_NE(refusal(huge).find("expands to more than 500000 entries"), std::string::npos);
}

TEST(BenchLoader, RefusesFilesItCannotReadOrThatAreTooLarge) {
    auto missing = sim::loadBenchFile("/nonexistent/bench.yaml");
    EXPECT_EQ(missing.problem,
              "simulated bench: bench file /nonexistent/bench.yaml: cannot be opened (No such file "
              "or directory)");
    // In a folder of its own: two suites at once must not share a name.
    std::string folder = testing::TempDir() + "tm-bench-loader-XXXXXX";
    ASSERT_NE(::mkdtemp(folder.data()), nullptr);
    std::string big = folder + "/big_bench.yaml";
    {
        std::ofstream out(big);
        std::string line = "# " + std::string(1000, 'x') + "\n";
        for (size_t n = 0; n <= sim::kMaxBenchFileBytes / line.size(); ++n) out << line;
    }
    EXPECT_NE(sim::loadBenchFile(big).problem.find("larger than 4 MiB"), std::string::npos);
    std::filesystem::remove_all(folder);
}

}  // namespace
