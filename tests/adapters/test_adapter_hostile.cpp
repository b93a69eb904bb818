// Adapters that answer what no real one would: an endless version line,
// impossible listener lists, a line that stops taking data mid-message.
// Each is refused as garbage or reported exactly, within its timeout.
#include <gtest/gtest.h>

#include <chrono>

#include "adapters/adapter_board.h"
#include "adapters/hostile_adapter.h"

namespace {

using gpibdrv::kDone;

const std::string kVersion = "Prologix GPIB-ETHERNET Controller version 01.06.06.00";

std::unique_ptr<gpibdrv::Board> boardOn(const HostileAdapter& peer, adapters::Flavour flavour,
                                        adapters::ReadWay reads = adapters::ReadWay::Probe) {
    adapters::AdapterOptions o;
    o.flavour = flavour;
    o.reads = reads;
    o.host = "127.0.0.1";
    o.tcpPort = peer.port();
    o.openTimeoutMs = 1500;
    return adapters::makeAdapterBoard(o);
}

TEST(HostileAdapter, AnOverlongVersionLineIsGarbageAndTheBoardStaysClosed) {
    // 100 000 characters and a line end, asked again as often as it likes.
    HostileAdapter peer([](HostileAdapter& a) {
        while (!a.stopping())
            if (a.line() == "++ver")
                a.write(std::string(100000, 'A') + "\r\n");
    });
    auto board = boardOn(peer, adapters::Flavour::Prologix);
    std::string reason;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(board->open(reason), GPIB_ENEB);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_NE(reason.find("answers ++ver with a line longer than 4096 bytes"), std::string::npos)
        << reason.substr(0, 200);
    EXPECT_EQ(board->describe(), reason);
    EXPECT_LT(reason.size(), 200u);
}

TEST(HostileAdapter, AVersionLineOfAFewThousandBytesIsNoVersionLine) {
    HostileAdapter peer([](HostileAdapter& a) {
        while (!a.stopping())
            if (a.line() == "++ver")
                a.write("AR488 " + std::string(3000, 'v') + "\r\n");
    });
    auto board = boardOn(peer, adapters::Flavour::Ar488);
    std::string reason;
    EXPECT_EQ(board->open(reason), GPIB_ENEB);
    EXPECT_NE(reason.find("a line of 3006 bytes, not a version line"), std::string::npos)
        << reason.substr(0, 200);
}

TEST(HostileAdapter, RepeatedOrImpossibleListenersAreGarbage) {
    struct Row {
        const char* answer;
        int result;
        size_t found;
    };
    // Asked for 1-30 ("++fndl all").
    const Row rows[] = {
        {"9,9,9,9,9,9,9,9,9,9,9,9,9,9,9,9,9,9,9,9,9,9,9,9,9,9,9,9,9,9,9", GPIB_EDVR, 0},
        {"5:97,5:97", GPIB_EDVR, 0},
        {"31", GPIB_EDVR, 0},
        {"9:95", GPIB_EDVR, 0},
        {"9,5:97,7:98", kDone, 3},
    };
    for (const Row& row : rows) {
        HostileAdapter peer([&](HostileAdapter& a) {
            a.answerOpening("AR488 GPIB controller, ver. 0.53.04, 13/04/2025");
            while (!a.stopping())
                if (a.line().rfind("++fndl", 0) == 0)
                    a.write(std::string(row.answer) + "\r\n");
        });
        auto board = boardOn(peer, adapters::Flavour::Ar488);
        std::string reason;
        ASSERT_EQ(board->open(reason), kDone) << reason;
        std::vector<int> pads;
        for (int pad = 1; pad <= 30; ++pad) pads.push_back(pad);
        std::vector<gpibdrv::BusAddress> found;
        EXPECT_EQ(board->findListeners(pads, 31, found), row.result) << row.answer;
        EXPECT_EQ(found.size(), row.found) << row.answer;
    }
    // Asked for 9 alone, an answer naming 5 is impossible.
    HostileAdapter peer([](HostileAdapter& a) {
        a.answerOpening("AR488 GPIB controller, ver. 0.53.04, 13/04/2025");
        while (!a.stopping())
            if (a.line() == "++fndl 9")
                a.write("5\r\n");
    });
    auto board = boardOn(peer, adapters::Flavour::Ar488);
    std::string reason;
    ASSERT_EQ(board->open(reason), kDone) << reason;
    bool listening = true;
    EXPECT_EQ(board->listens({9, -1}, listening), GPIB_EDVR);
    EXPECT_FALSE(listening);
}

TEST(HostileAdapter, ASendCutShortByTheTimeoutCountsTheLinesTheAdapterTook) {
    // The adapter stops reading after the opening; later it says how many
    // whole data lines had reached it.
    std::atomic<bool> go{false};
    std::atomic<long> lines{-1};
    HostileAdapter peer([&](HostileAdapter& a) {
        a.answerOpening(kVersion);
        while (!go && !a.stopping()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        long whole = 0;
        for (std::string l; !(l = a.line(300)).empty();) whole += l == std::string(100, 'x');
        lines = whole;
    });
    auto board = boardOn(peer, adapters::Flavour::Prologix);
    std::string reason;
    ASSERT_EQ(board->open(reason), kDone) << reason;
    const std::string message(16 << 20, 'x');  // more than loopback buffers hold
    long sent = -1;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(board->send({9, -1}, message.data(), long(message.size()),
                          gpibdrv::EndMode::EoiOnLast, {10}, sent),  // T300ms
              GPIB_EABO);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    go = true;
    for (int i = 0; i < 1000 && lines < 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_GT(sent, 0);
    EXPECT_LT(sent, long(message.size()));
    EXPECT_EQ(sent, lines * 100);
}

TEST(HostileAdapter, AVersionLineThatDiffersBetweenAsksCannotEndAReadAndIsRefused) {
    // A counter in the version line: no line of it can mark a read's end.
    HostileAdapter peer([](HostileAdapter& a) {
        for (int n = 0; !a.stopping();)
            if (a.line() == "++ver")
                a.write("Prologix GPIB-USB Controller version 6.107 #" + std::to_string(n++) +
                        "\r\n");
    });
    auto board = boardOn(peer, adapters::Flavour::Prologix);
    std::string reason;
    EXPECT_EQ(board->open(reason), GPIB_ENEB);
    EXPECT_NE(reason.find("answers ++ver differently each time (\"Prologix GPIB-USB Controller "
                          "version 6.107 #0\", then \"Prologix GPIB-USB Controller version 6.107 "
                          "#1\"): no line of it can mark the end of a read"),
              std::string::npos)
        << reason;
}

TEST(HostileAdapter, AnAnswerThatStopsHalfwayTimesOutWithTheBytesItGaveCounted) {
    // 25 bytes of an answer, then nothing: no EOI, no marker, whatever is asked.
    for (adapters::ReadWay way : {adapters::ReadWay::Fast, adapters::ReadWay::Safe}) {
        HostileAdapter peer([](HostileAdapter& a) {
            a.answerOpening(kVersion);
            while (!a.stopping())
                if (a.line(200) == "++read eoi")
                    a.write("0123456789012345678901234");
        });
        auto board = boardOn(peer, adapters::Flavour::Prologix, way);
        std::string reason;
        ASSERT_EQ(board->open(reason), kDone) << reason;
        char answer[100];
        long got = 0;
        int ended = -1;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(board->receive({9, -1}, answer, sizeof answer, -1, {11}, got, ended), GPIB_EABO);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_GE(took, std::chrono::milliseconds(1000));
        EXPECT_LT(took, std::chrono::milliseconds(1150));
        EXPECT_EQ(got, 25);
        EXPECT_EQ(std::string(answer, size_t(got)), "0123456789012345678901234");
        EXPECT_EQ(ended, 0);
    }
}

TEST(HostileAdapter, AnAnswerFromTheAdaptersOwnAddressMakesTheTestReadCountForNothing) {
    // Something answers the test read from address 0: no knowing what host
    // input does, so the safe way; the link is sorted out before the next call.
    const std::string version = "AR488 GPIB controller, ver. 0.53.04, 13/04/2025";
    HostileAdapter peer([&](HostileAdapter& a) {
        while (!a.stopping()) {
            const std::string l = a.line(200);
            if (l == "++ver")
                a.write(version + "\r\n");
            else if (l == "++eot_char" || l == "++eor")
                a.write(l == "++eor" ? "0\r\n" : "234\r\n");
            else if (l == "++fndl")
                a.write("Missing parameter\r\n");
            else if (l.rfind("++addr 0", 0) == 0)
                a.write("Invalid parameter\r\n");
            else if (l.rfind("++read 0", 0) == 0)
                a.write("SOMEONE\r\n");
            else if (l == "++srq")
                a.write("0\r\n");
        }
    });
    auto board = boardOn(peer, adapters::Flavour::Ar488);
    std::string reason;
    ASSERT_EQ(board->open(reason), kDone) << reason;
    EXPECT_NE(board->describe().find("(safe: no harmless test read)"), std::string::npos)
        << board->describe();
    bool srq = true;
    EXPECT_EQ(board->srqLine(srq), kDone);
    EXPECT_FALSE(srq);
}

}  // namespace
