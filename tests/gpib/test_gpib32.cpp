// The wrappers through the scripted driver, loaded by the real loader.

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "gpib/gpib32.h"
#include "support/scripted_driver.h"

namespace {

using scripted::Push;
using Lines = std::vector<std::string>;
using Words = std::vector<int>;

class Gpib32Test : public testing::Test {
  protected:
    void SetUp() override {
        scripted::Reset();
        ASSERT_TRUE(m_library->Loaded()) << m_library->Problem();
    }
    std::unique_ptr<DriverLibrary> m_library = DriverLibrary::Open(scripted::LibraryPath());
    GPIB32 m_gpib{*m_library};
    int16_t m_out = 0;
};

TEST_F(Gpib32Test, WidensArgumentsWithSignAndPassesAddressWordsAsPatterns) {
    m_gpib.ibconfig(-1, 24, -32768);
    m_gpib.ibdev(0, 9, -2, 12, 1, 10, m_out);
    m_gpib.DevClear(0, static_cast<int16_t>(0x6207));
    m_gpib.Trigger(-3, -1);
    m_gpib.ibln(16, 9, 0, m_out);
    m_gpib.ibtmo(0, 12);
    EXPECT_EQ(scripted::CallLines(),
              (Lines{"ibconfig(-1, 24, -32768)", "ibdev(0, 9, -2, 12, 1, 10)", "DevClear(0, 25095)",
                     "Trigger(-3, 65535)", "ibln(16, 9, 0)", "ibtmo(0, 12)"}));
}

TEST_F(Gpib32Test, NarrowsResultsStatusAndOutValuesToSixteenBits) {
    Push("ibask", {.result = 0x12345, .ibsta = 0x18100, .iberr = 0x10002, .value = 0x10005});
    Push("ibask", {.result = 0x18000, .value = -3});
    EXPECT_EQ(m_gpib.ibask(0, 1, m_out), 0x2345);
    EXPECT_EQ(m_out, 5);
    EXPECT_EQ(m_gpib.ibsta, static_cast<int16_t>(0x8100));
    EXPECT_EQ(m_gpib.iberr, 2);
    EXPECT_EQ(m_gpib.ibask(0, 1, m_out), -32768);
    EXPECT_EQ(m_out, -3);
}

TEST_F(Gpib32Test, OutValuesOfThePolls) {
    Push("TestSRQ", {.value = 1});
    Push("ReadStatusByte", {.value = 0x50});
    int16_t srq = 0;
    m_gpib.TestSRQ(0, srq);
    m_gpib.ReadStatusByte(0, 9, m_out);
    EXPECT_EQ(srq, 1);
    EXPECT_EQ(m_out, 0x50);
}

TEST_F(Gpib32Test, CountsAbove16BitsDifferBetweenIbcntAndIbcntl) {
    Push("Receive", {.data = std::string(70000, 'x')});
    Text buffer(70000, u' ');
    m_gpib.Receive(0, 9, buffer, 0x100);
    EXPECT_EQ(m_gpib.ibcntl, 70000);
    EXPECT_EQ(m_gpib.ibcnt, 70000 - 65536);
    EXPECT_EQ(buffer, Text(70000, u'x'));
    EXPECT_EQ(scripted::CallLines(), (Lines{"Receive(0, 9, 70000, 256)"}));

    Push("Send", {.ibcntl = -5});
    m_gpib.Send(0, 9, buffer, 2);
    EXPECT_EQ(scripted::Calls().back().args[2], 70000);
    EXPECT_EQ(scripted::Calls().back().data, std::string(70000, 'x'));
    EXPECT_EQ(m_gpib.ibcntl, -5);
    EXPECT_EQ(m_gpib.ibcnt, -5);
}

TEST_F(Gpib32Test, ReceiveOffersTheTextLengthAndKeepsTheTail) {
    Push("Receive", {.data = "ab\xE9\r\n"});
    Push("Receive", {.data = "longer than the buffer"});
    Text buffer = u"0123456789", small = u"...", empty;
    m_gpib.Receive(0, 9, buffer, 10);
    EXPECT_EQ(buffer, Text(u"ab\u00E9\r\n56789"));
    EXPECT_EQ(m_gpib.ibcntl, 5);
    m_gpib.Receive(0, 9, small, 13);
    EXPECT_EQ(small, Text(u"lon"));
    m_gpib.Receive(0, 9, empty, 10);
    EXPECT_TRUE(empty.empty());
    EXPECT_EQ(scripted::CallLines(),
              (Lines{"Receive(0, 9, 10, 10)", "Receive(0, 9, 3, 13)", "Receive(0, 9, 0, 10)"}));
}

TEST_F(Gpib32Test, SendHandsOverBytesAndGivesBackTheCodePageText) {
    Text text = u"*IDN?\n";
    m_gpib.Send(0, 9, text, 2);
    EXPECT_EQ(text, Text(u"*IDN?\n"));
    Text odd = Text(u"\u20AC\r\0\x01\"\\\u00FF", 7);
    m_gpib.Send(0, 9, odd, 0);
    EXPECT_EQ(odd, Text(u"?\r\0\x01\"\\\u00FF", 7));  // the text as the driver saw it
    EXPECT_EQ(scripted::CallLines(), (Lines{"Send(0, 9, \"*IDN?\\n\", 6, 2)",
                                            "Send(0, 9, \"?\\r\\0\\x01\\\"\\\\\\xFF\", 7, 0)"}));
}

TEST_F(Gpib32Test, IbdevStoresTheDriverResultEvenWhenItFails) {
    EXPECT_EQ(m_gpib.ibdev(0, 9, 0, 12, 1, 10, m_out), 16);  // unscripted: a fresh descriptor
    EXPECT_EQ(m_out, 16);
    Push("ibdev", {.result = -1, .ibsta = 0x8100, .iberr = GPIB_EARG});
    EXPECT_EQ(m_gpib.ibdev(0, 31, 0, 12, 1, 10, m_out), -1);
    EXPECT_EQ(m_out, -1);
    EXPECT_LT(m_gpib.ibsta, 0);
    EXPECT_EQ(m_gpib.iberr, GPIB_EARG);
}

TEST_F(Gpib32Test, IbfindPassesTheEightBitNameToIbfindA) {
    Push("ibfindA", {.result = 5});
    Push("ibfindA", {.result = 7});
    EXPECT_EQ(m_gpib.ibfind(u"GPIB0", m_out), 5);
    EXPECT_EQ(m_out, 5);
    EXPECT_EQ(m_gpib.ibfind(u"GPIB\u00E9\u20AC"), 7);
    EXPECT_EQ(scripted::CallLines(), (Lines{"ibfindA(\"GPIB0\")", "ibfindA(\"GPIB\\xE9?\")"}));
}

TEST_F(Gpib32Test, AddressListsGoToTheDriverFromCellZero) {
    std::vector<int16_t> probe = {1, 2, 3, 7, -1}, found(65, 0), results(65, -7);
    found[2] = 77;
    Push("FindLstn", {.ibcntl = 2, .words = {3, 0x6207}});
    m_gpib.FindLstn(0, probe, found, 32);
    EXPECT_EQ(m_gpib.ibcnt, 2);
    EXPECT_EQ(std::vector<int16_t>(found.begin(), found.begin() + 3),
              (std::vector<int16_t>{3, 25095, 77}));
    EXPECT_EQ(scripted::Calls().back().words, (Words{1, 2, 3, 7, 0xFFFF}));

    std::vector<int16_t> list = {3, 25095, -1, 0};
    Push("AllSpoll", {.words = {0, 64}});
    m_gpib.AllSpoll(0, list, results);
    EXPECT_EQ(std::vector<int16_t>(results.begin(), results.begin() + 3),
              (std::vector<int16_t>{0, 64, -7}));
    Push("FindRQS", {.ibcntl = 1, .value = 80});
    m_gpib.FindRQS(0, list, m_out);
    EXPECT_EQ(m_out, 80);
    EXPECT_EQ(m_gpib.ibcnt, 1);
    EXPECT_EQ(scripted::Calls().back().words, (Words{3, 25095, 0xFFFF}));
    EXPECT_EQ(scripted::CallLines(), (Lines{"FindLstn(0, 32)", "AllSpoll(0)", "FindRQS(0)"}));
}

TEST_F(Gpib32Test, ArraysTheDriverWouldOverrunAreRefusedWithoutACall) {
    std::vector<int16_t> unterminated = {3, 4, 5}, list = {3, 4, -1}, cells(65, 0), one(1, 0);
    const auto expectRefused = [&](const char* what) {
        EXPECT_EQ(m_gpib.ibsta, static_cast<int16_t>(GPIB_ERR)) << what;
        EXPECT_EQ(m_gpib.iberr, GPIB_EARG) << what;
        EXPECT_TRUE(scripted::Calls().empty()) << what;
        m_gpib.ibsta = 0;
    };
    m_gpib.AllSpoll(0, unterminated, cells);
    expectRefused("AllSpoll without end word");
    m_gpib.AllSpoll(0, list, one);
    expectRefused("AllSpoll with too few result cells");
    m_gpib.FindRQS(0, unterminated, m_out);
    expectRefused("FindRQS without end word");
    m_gpib.FindLstn(0, unterminated, cells, 32);
    expectRefused("FindLstn without end word");
    m_gpib.FindLstn(0, list, one, 32);
    expectRefused("FindLstn limit beyond the found list");
}

TEST_F(Gpib32Test, StatusFollowsEveryCallAlsoAFailedOne) {
    Push("Trigger", {.ibcntl = 99});
    Push("Trigger", {.ibsta = 0x8100, .iberr = GPIB_ENOL, .ibcntl = 12});
    Push("Send", {.ibsta = 0xC000, .iberr = GPIB_EABO});
    m_gpib.Trigger(0, 9);
    EXPECT_EQ(m_gpib.ibsta, 0x100);
    EXPECT_EQ(m_gpib.ibcntl, 99);
    m_gpib.Trigger(0, 9);
    EXPECT_EQ(m_gpib.ibsta, static_cast<int16_t>(0x8100));
    EXPECT_EQ(m_gpib.iberr, GPIB_ENOL);
    EXPECT_EQ(m_gpib.ibcnt, 12);
    EXPECT_EQ(m_gpib.ibcntl, 12);
    Text text = u"x";
    m_gpib.Send(0, 9, text, 2);
    EXPECT_EQ(m_gpib.ibsta, static_cast<int16_t>(0xC000));
    EXPECT_EQ(m_gpib.iberr, GPIB_EABO);
    EXPECT_EQ(m_gpib.ibcntl, 0);
}

// The end mode travels in this program's numbering and arrives in the
// library's: linux-gpib swaps "EOI with the last byte" and "append LF".
class EndModeTest : public testing::Test {
  protected:
    void TearDown() override { unsetenv("GPIB_ENDMODE_FAMILY"); }
    static std::vector<long> sentModes(const std::string& path) {
        auto library = DriverLibrary::Open(path);
        GPIB32 gpib(*library);
        scripted::Reset();
        for (int16_t mode : {0, 1, 2, 3, 256}) {
            Text text = u"*RST\n";
            gpib.Send(0, 9, text, mode);
        }
        std::vector<long> modes;
        for (const scripted::Call& call : scripted::Calls()) modes.push_back(call.args.back());
        return modes;
    }
    const std::vector<long> m_same{0, 1, 2, 3, 256}, m_swapped{0, 2, 1, 3, 256};
};

TEST_F(EndModeTest, NiLibraryGetsTheModesUnchangedUnlessOverridden) {
    EXPECT_EQ(DriverLibrary::Open(scripted::LibraryPath())->Family(), EndModeFamily::Ni);
    EXPECT_EQ(sentModes(scripted::LibraryPath()), m_same);
    setenv("GPIB_ENDMODE_FAMILY", "linux-gpib", 1);
    EXPECT_EQ(sentModes(scripted::LibraryPath()), m_swapped);
}

TEST_F(EndModeTest, OnlyIbfindMeansLinuxGpibUnlessOverridden) {
    EXPECT_EQ(DriverLibrary::Open(SCRIPTED_PARTIAL_LIBRARY)->Family(), EndModeFamily::LinuxGpib);
    EXPECT_EQ(sentModes(SCRIPTED_PARTIAL_LIBRARY), m_swapped);
    setenv("GPIB_ENDMODE_FAMILY", "NI", 1);
    EXPECT_EQ(sentModes(SCRIPTED_PARTIAL_LIBRARY), m_same);
    setenv("GPIB_ENDMODE_FAMILY", "bogus", 1);
    EXPECT_EQ(sentModes(SCRIPTED_PARTIAL_LIBRARY), m_swapped);
}

}  // namespace
