// The trace of every wrapper call, through the scripted driver: the line each
// entry point makes, its time columns, the file, and the bounded feed.

#include <gtest/gtest.h>
#include <cstdlib>

#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <thread>

#include "gpib/gpib32.h"
#include "support/scripted_driver.h"

namespace {

using scripted::Push;
const std::regex kLine(R"(^ +(\d+) +(\d+)us +(\d+)us  (\S.*)$)");

struct Row {
    const char* name;
    std::function<void(GPIB32&)> call;
    std::string expected;  // the line after its time columns
};

class CallTraceTest : public testing::TestWithParam<Row> {
  protected:
    void SetUp() override {
        scripted::Reset();
        m_gpib.Trace().setWatched(true);
    }
    // Each line in the feed, without its time columns.
    std::vector<std::string> calls() {
        uint64_t cursor = 0;
        std::vector<std::string> lines = m_gpib.Trace().feed().since(cursor);
        for (std::string& line : lines) {
            std::smatch m;
            EXPECT_TRUE(std::regex_match(line, m, kLine)) << line;
            line = m[4];
        }
        return lines;
    }
    std::unique_ptr<DriverLibrary> m_library = DriverLibrary::Open(scripted::LibraryPath());
    GPIB32 m_gpib{*m_library};
};

std::vector<int16_t> list(std::initializer_list<int16_t> cells) {
    return cells;
}

TEST_P(CallTraceTest, OneDecodedLinePerCall) {
    GetParam().call(m_gpib);
    EXPECT_EQ(calls(), std::vector<std::string>{GetParam().expected});
}

const Row kRows[] = {
    {"ibfind", [](GPIB32& g) { g.ibfind(u"GPIB0"); },
     R"(ibfind("GPIB0") -> ud 0 | ibsta 0x0100 (CMPL) ibcntl 0)"},
    {"ibask",
     [](GPIB32& g) {
         Push("ibask", {.value = 21});
         int16_t v = 0;
         g.ibask(0, 1, v);
     },
     "ibask(ud 0, IbaPAD) -> value 21 | ibsta 0x0100 (CMPL) ibcntl 0"},
    {"ibconfig", [](GPIB32& g) { g.ibconfig(16, 0x18, 12); },
     "ibconfig(ud 16, IbcSPollTime, T3s) | ibsta 0x0100 (CMPL) ibcntl 0"},
    {"ibdevSecondary",
     [](GPIB32& g) {
         int16_t ud = 0;
         g.ibdev(0, 5, 0x61, 9, 1, 0x140A, ud);
     },
     "ibdev(board 0, pad 5, sad 1 (0x61), T100ms, EOI, eos 0x140A (stop reads at LF, 8-bit "
     "compare)) -> ud 16 | ibsta 0x0100 (CMPL) ibcntl 0"},
    {"ibln",
     [](GPIB32& g) {
         Push("ibln", {.value = 1});
         int16_t listen = 0;
         g.ibln(16, 9, 0, listen);
     },
     "ibln(ud 16, pad 9, sad none) -> listener | ibsta 0x0100 (CMPL) ibcntl 0"},
    {"ibonl", [](GPIB32& g) { g.ibonl(16, 0); },
     "ibonl(ud 16, offline) | ibsta 0x0100 (CMPL) ibcntl 0"},
    {"ibpad", [](GPIB32& g) { g.ibpad(0, 21); },
     "ibpad(ud 0, pad 21) | ibsta 0x0100 (CMPL) ibcntl 0"},
    {"ibsre", [](GPIB32& g) { g.ibsre(0, 1); },
     "ibsre(ud 0, REN on) | ibsta 0x0100 (CMPL) ibcntl 0"},
    {"ibtmo", [](GPIB32& g) { g.ibtmo(0, 0); },
     "ibtmo(ud 0, TNONE) | ibsta 0x0100 (CMPL) ibcntl 0"},
    {"AllSpoll",
     [](GPIB32& g) {
         Push("AllSpoll", {.words = {0x00, 0x40}});
         auto addrs = list({9, 0x6105, -1}), results = list({0, 0});
         g.AllSpoll(0, addrs, results);
     },
     "AllSpoll(board 0, [9 5/1]) -> stb [0x00 0x40] | ibsta 0x0100 (CMPL) ibcntl 0"},
    {"DevClearSecondary", [](GPIB32& g) { g.DevClear(0, 0x6105); },
     "DevClear(board 0, addr 5/1 (0x6105)) | ibsta 0x0100 (CMPL) ibcntl 0"},
    {"FindLstn",
     [](GPIB32& g) {
         Push("FindLstn", {.ibcntl = 2, .words = {2, 0x7E03}});
         auto pads = list({1, 2, 3, -1});
         std::vector<int16_t> found(32);
         g.FindLstn(0, pads, found, 32);
     },
     "FindLstn(board 0, [1 2 3], limit 32) -> found [2 3/30] | ibsta 0x0100 (CMPL) ibcntl 2"},
    {"FindRQS",
     [](GPIB32& g) {
         Push("FindRQS", {.ibcntl = 1, .value = 0x40});
         auto addrs = list({9, 12, -1});
         int16_t stb = 0;
         g.FindRQS(0, addrs, stb);
     },
     "FindRQS(board 0, [9 12]) -> stb 0x40 index 1 | ibsta 0x0100 (CMPL) ibcntl 1"},
    {"ReadStatusByte",
     [](GPIB32& g) {
         Push("ReadStatusByte", {.value = 0x50});
         int16_t stb = 0;
         g.ReadStatusByte(0, 9, stb);
     },
     "ReadStatusByte(board 0, addr 9 (0x0009)) -> stb 0x50 | ibsta 0x0100 (CMPL) ibcntl 0"},
    {"Receive",
     [](GPIB32& g) {
         Push("Receive", {.ibsta = 0x2100, .data = "1.5\r\n"});
         Text buffer(100, u' ');
         g.Receive(0, 9, buffer, '\n');
     },
     R"(Receive(board 0, addr 9 (0x0009), max 100 bytes, stop at LF) -> 5 bytes "1.5\r\n" | ibsta 0x2100 (END CMPL) ibcntl 5)"},
    {"Send",
     [](GPIB32& g) {
         Text text = u"*IDN?\n";
         g.Send(0, 9, text, 2);
     },
     R"(Send(board 0, addr 9 (0x0009), 6 bytes "*IDN?\n", EOI) | ibsta 0x0100 (CMPL) ibcntl 0)"},
    {"SendIFC", [](GPIB32& g) { g.SendIFC(0); }, "SendIFC(board 0) | ibsta 0x0100 (CMPL) ibcntl 0"},
    {"TestSRQ",
     [](GPIB32& g) {
         Push("TestSRQ", {.value = 1});
         int16_t srq = 0;
         g.TestSRQ(0, srq);
     },
     "TestSRQ(board 0) -> SRQ asserted | ibsta 0x0100 (CMPL) ibcntl 0"},
    {"Trigger", [](GPIB32& g) { g.Trigger(0, 12); },
     "Trigger(board 0, addr 12 (0x000C)) | ibsta 0x0100 (CMPL) ibcntl 0"},
    {"FailingCall",
     [](GPIB32& g) {
         Push("Send", {.ibsta = 0x8100, .iberr = 2});
         Text text = u"VOLT 1";
         g.Send(0, 30, text, 0);
     },
     R"(Send(board 0, addr 30 (0x001E), 6 bytes "VOLT 1", no EOI) | ibsta 0x8100 (ERR CMPL) iberr ENOL ibcntl 0)"},
    {"BinaryData",
     [](GPIB32& g) {
         Push("Receive", {.data = std::string("\x1b\0\xff\"\\", 5)});
         Text buffer(8, u' ');
         g.Receive(0, 0x6007, buffer, 0x100);
     },
     R"(Receive(board 0, addr 7/0 (0x6007), max 8 bytes, stop at EOI only) -> 5 bytes "\x1b\0\xff\"\\" | ibsta 0x0100 (CMPL) ibcntl 5)"},
    {"LongTransfer",
     [](GPIB32& g) {
         Text text(70000, u'A');
         g.Send(0, 9, text, 1);
     },
     "Send(board 0, addr 9 (0x0009), 70000 bytes \"" + std::string(96, 'A') +
         "\"..., LF+EOI) | ibsta 0x0100 (CMPL) ibcntl 0"},
    {"RefusedList",
     [](GPIB32& g) {
         auto addrs = list({9, 12});
         int16_t stb = 0;
         g.FindRQS(0, addrs, stb);
     },
     "FindRQS(board 0, [9 12 no end word]) | ibsta 0x8000 (ERR) iberr EARG ibcntl 0 | not "
     "called: address list without end word, or result list too short"},
};
INSTANTIATE_TEST_SUITE_P(EveryEntryPoint, CallTraceTest, testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CallTraceTest, NumbersTimesAndOffMeansNothing) {
    m_gpib.Trace().setWatched(false);
    m_gpib.SendIFC(0);
    EXPECT_FALSE(m_gpib.Trace().on());
    EXPECT_EQ(m_gpib.Trace().feed().total(), 0u);

    m_gpib.Trace().setWatched(true);
    for (int i = 0; i < 3; ++i) m_gpib.SendIFC(0);
    uint64_t cursor = 0;
    long long seq = 0, time = 0;
    for (const std::string& line : m_gpib.Trace().feed().since(cursor)) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, kLine)) << line;
        EXPECT_EQ(std::stoll(m[1]), ++seq);
        EXPECT_GE(std::stoll(m[2]), time);
        time = std::stoll(m[2]) + std::stoll(m[3]);
    }
    EXPECT_EQ(seq, 3);
}

TEST_F(CallTraceTest, MissingEntryPointIsTracedAsNotCalled) {
    auto partial = DriverLibrary::Open(SCRIPTED_PARTIAL_LIBRARY);
    GPIB32 gpib(*partial);
    gpib.Trace().setWatched(true);
    int16_t value = 0;
    gpib.ibask(0, 1, value);
    uint64_t cursor = 0;
    const std::string line = gpib.Trace().feed().since(cursor).at(0);
    EXPECT_NE(line.find("ibask(ud 0, IbaPAD) | ibsta 0x8000 (ERR) iberr EDVR ibcntl 0 | not "
                        "called: entry point missing"),
              std::string::npos)
        << line;
}

TEST_F(CallTraceTest, FileHoldsAHeaderAndEveryLineWhole) {
    // In a folder of its own: two suites at once must not share a name.
    std::string folder = (std::filesystem::temp_directory_path() / "tm-call-trace-XXXXXX").string();
    ASSERT_NE(::mkdtemp(folder.data()), nullptr);
    const auto path = std::filesystem::path(folder) / "trace.log";
    m_gpib.Trace().setWatched(false);
    ASSERT_TRUE(m_gpib.Trace().openFile(path.string(), "libgpib-scripted.so"));
    Text text = u"*RST\n";
    m_gpib.Send(0, 9, text, 2);
    m_gpib.SendIFC(0);
    // Written as traced, before anything closes the file.
    std::ifstream in(path);
    std::string header, send, ifc, more;
    std::getline(in, header), std::getline(in, send), std::getline(in, ifc);
    EXPECT_EQ(header.rfind("# driver calls from ", 0), 0u) << header;
    EXPECT_NE(header.find("driver libgpib-scripted.so"), std::string::npos) << header;
    EXPECT_TRUE(std::regex_match(send, kLine) && send.find("Send(") != std::string::npos) << send;
    EXPECT_TRUE(std::regex_match(ifc, kLine) && ifc.find("SendIFC(") != std::string::npos) << ifc;
    EXPECT_FALSE(std::getline(in, more));
    m_gpib.Trace().closeFile();
    std::filesystem::remove_all(folder);
}

TEST_F(CallTraceTest, UnwritableFileIsOneSentenceAndCallsGoOnUntraced) {
    m_gpib.Trace().setWatched(false);
    EXPECT_FALSE(m_gpib.Trace().openFile("/nonexistent/folder/trace.log", "x"));
    EXPECT_EQ(m_gpib.Trace().problem(),
              "driver calls are not traced: the file /nonexistent/folder/trace.log named by "
              "GPIB_TRACE cannot be written (No such file or directory)");
    EXPECT_FALSE(m_gpib.Trace().on());
    m_gpib.SendIFC(0);
    EXPECT_EQ(m_gpib.ibsta, 0x0100);
    EXPECT_EQ(scripted::CallLines().size(), 1u);
}

TEST(TraceFeedTest, KeepsTheNewestLinesAndHandsEachOutOnce) {
    TraceFeed feed(3);
    uint64_t cursor = 0;
    for (int i = 1; i <= 5; ++i) feed.push(std::to_string(i));
    EXPECT_EQ(feed.since(cursor), (std::vector<std::string>{"3", "4", "5"}));
    feed.push("6");
    EXPECT_EQ(feed.since(cursor), std::vector<std::string>{"6"});
    EXPECT_TRUE(feed.since(cursor).empty());
    feed.clear();
    feed.push("7");
    EXPECT_EQ(feed.since(cursor), std::vector<std::string>{"7"});
    EXPECT_EQ(feed.total(), 7u);
    EXPECT_EQ(TraceFeed().size(), 0u);
    EXPECT_EQ(TraceFeed::kLines, 10000u);
}

// A driver calling back from threads of its own, while the window reads.
TEST(CallTraceThreads, LinesFromOtherThreadsStayWholeAndNumbered) {
    CallTrace trace;
    trace.setWatched(true);
    auto writer = [&trace] {
        for (int i = 0; i < 2000; ++i) {
            const int64_t start = CallTrace::now();
            trace.record(start, CallTrace::now(), "SendIFC(board 0)");
        }
    };
    std::thread first(writer), second(writer);
    std::vector<std::string> read;
    uint64_t cursor = 0;
    auto collect = [&] {
        for (std::string& line : trace.feed().since(cursor)) read.push_back(std::move(line));
    };
    while (read.size() < 1000) collect();
    first.join();
    second.join();
    collect();
    ASSERT_EQ(read.size(), 4000u);
    for (size_t i = 0; i < read.size(); ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(read[i], m, kLine)) << read[i];
        EXPECT_EQ(std::stoul(m[1]), i + 1);
    }
}

}  // namespace
