// Reading the answer: what each kind of answer shows with each display
// option, the stop byte handed to the driver, and a failed read.
#include <string>
#include <vector>

#include "messaging/device_window.h"
#include "messaging/response_read.h"

namespace {

using Lines = std::vector<std::string>;

struct AnswerCase {
    const char* name;
    std::string bytes;
    int dispAll;
    int byteCnt;
    Text shown;
};

class AnswerTest : public DeviceWindowTest, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(AnswerTest, ShowsItForAPerson) {
    const AnswerCase& c = GetParam();
    w().ckDispAll.setValue(c.dispAll);
    w().ckByteCnt.setValue(c.byteCnt);
    w().txtError.setVisible(true);
    answer(c.bytes);
    w().cmdRead.press();
    EXPECT_EQ(calls(), Lines{"Receive(0, 9, 100, 10)"});
    EXPECT_EQ(ToUtf8(w().txtResults.text()), ToUtf8(c.shown));
    EXPECT_FALSE(w().txtError.visible());
    EXPECT_EQ(w().RecvBuf, Text(100, u' '));
    EXPECT_EQ(w().TestHalt, 0);
}

const Text kNull = u"\r\nNull found and converted to '*'";

INSTANTIATE_TEST_SUITE_P(
    Answers, AnswerTest,
    ::testing::Values(
        AnswerCase{"CrLfCut", "1.234\r\n", 0, 0, u"1.234"},
        AnswerCase{"CrLfMarked", "1.234\r\n", 1, 0, u"1.234<cr><lf>"},
        AnswerCase{"GreyCountsAsDisplayAll", "1.234\r\n", 2, 0, u"1.234<cr><lf>"},
        AnswerCase{"TwoLinesCut", "L1\r\nL2\r\n", 0, 0, u"L1"},
        AnswerCase{"TwoLinesMarked", "L1\r\nL2\r\n", 1, 0, u"L1<cr><lf>L2<cr><lf>"},
        AnswerCase{"CrWinsOverAnEarlierLf", "A\nB\rC", 0, 0, u"A\nB"},
        AnswerCase{"LfAloneCuts", "+1.0E-3\nrest", 0, 0, u"+1.0E-3"},
        AnswerCase{"NoTerminatorWithEoi", "NO TERM", 0, 0, u"NO TERM"},
        AnswerCase{"OnlyTrailingBlanksGo", "  in side \t ", 1, 0, u"  in side \t"},
        AnswerCase{"NulCut", std::string("A\0B\n", 4), 0, 0, u"A*B" + kNull},
        AnswerCase{"NulMarked", std::string("A\0B\n", 4), 1, 0, u"A*B<lf>" + kNull},
        AnswerCase{"NulAfterTheCutStillCounts", std::string("A\nB\0", 4), 0, 0, u"A" + kNull},
        AnswerCase{"ByteCountIncludesTerminators", "1.234\r\n", 0, 1, u"1.234\r\nByte count=  7"},
        AnswerCase{"ByteCountBeforeNulLine", std::string("\0\n", 2), 0, 1,
                   u"*\r\nByte count=  2" + kNull},
        AnswerCase{"NothingReceived", "", 0, 1, u"\r\nByte count=  0"},
        AnswerCase{"FullBuffer", std::string(100, 'x'), 0, 1,
                   Text(100, u'x') + u"\r\nByte count=  100"}),
    [](const auto& info) { return std::string(info.param.name); });

struct StopCase {
    const char* name;
    int crTerm;
    int lfTerm;
    const char* call;
};

class StopByteTest : public DeviceWindowTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(StopByteTest, ReachesTheDriver) {
    const StopCase& c = GetParam();
    w().ckCRTerm.setValueSilently(c.crTerm);
    w().ckLFTerm.setValueSilently(c.lfTerm);
    answer("x");
    w().cmdRead.press();
    EXPECT_EQ(calls(), Lines{c.call});
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, StopByteTest,
    ::testing::Values(StopCase{"Cr", 1, 0, "Receive(0, 9, 100, 13)"},
                      StopCase{"Lf", 0, 1, "Receive(0, 9, 100, 10)"},
                      StopCase{"CrIsLookedAtFirst", 1, 1, "Receive(0, 9, 100, 13)"},
                      StopCase{"EoiOnly", 0, 0, "Receive(0, 9, 100, 256)"},
                      StopCase{"GreyIsNotTicked", 2, 2, "Receive(0, 9, 100, 256)"}),
    [](const auto& info) { return std::string(info.param.name); });

class ResponseReadTest : public DeviceWindowTest {};

TEST_F(ResponseReadTest, FailedReadKeepsTheResultsAndHalts) {
    w().txtResults.setText(u"earlier answer");
    scripted::Push("Receive", failing(6, kErr | 0x4000));
    w().cmdRead.press();
    EXPECT_EQ(w().txtResults.text(), u"earlier answer");
    EXPECT_TRUE(w().txtError.visible());
    EXPECT_EQ(w().txtError.text(),
              u"Receive Error,  ibsta = &HC000 <  ERR TIMO  >, iberr =  6 EABO <Operation "
              u"aborted>, ibcnt =  0");
    EXPECT_EQ(w().TestHalt, 1);
    EXPECT_TRUE(w().failed());
}

TEST_F(ResponseReadTest, GuardReadsNothingAndKeepsTheHalt) {
    w().FoundFlg = 0;
    w().txtError.setVisible(true);
    w().cmdRead.press();
    EXPECT_TRUE(calls().empty());
    EXPECT_EQ(w().txtResults.text(),
              u"No devices found. Use Findlstn or enter and set a device address");
    EXPECT_FALSE(w().txtError.visible());
    EXPECT_EQ(platform.beeps, 1);
    EXPECT_EQ(w().TestHalt, 0);
}

TEST_F(ResponseReadTest, EachReadStartsFromBlanks) {
    answer("LONG ANSWER\n");
    w().cmdRead.press();
    answer("OK");
    w().cmdRead.press();
    EXPECT_EQ(w().txtResults.text(), u"OK");
}

TEST_F(ResponseReadTest, TerminatorBoxesExcludeEachOtherQuietly) {
    ASSERT_EQ(w().ckLFTerm.value(), 1);
    w().ckCRTerm.setValue(1);
    EXPECT_EQ(w().ckCRTerm.value(), 1);
    EXPECT_EQ(w().ckLFTerm.value(), 0);
    w().ckCRTerm.setValue(0);
    EXPECT_EQ(w().ckCRTerm.value(), 0);
    EXPECT_EQ(w().ckLFTerm.value(), 0);
    w().ckLFTerm.setValue(1);
    EXPECT_EQ(w().ckLFTerm.value(), 1);
    EXPECT_EQ(w().ckCRTerm.value(), 0);
    w().ckCRTerm.setValue(1);
    EXPECT_EQ(w().ckLFTerm.value(), 0);
    EXPECT_TRUE(calls().empty());
}

}  // namespace
