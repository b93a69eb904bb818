// Sending the typed command: the bytes on the bus for each terminator choice,
// Auto Query, the confirmation, the guard and a failed send.
#include <string>
#include <vector>

#include "messaging/command_send.h"
#include "messaging/device_window.h"

namespace {

using Lines = std::vector<std::string>;

struct TerminatorCase {
    const char* name;
    int cr;
    int lf;
    const char* sent;       // the call the driver sees
    const char16_t* shown;  // the confirmation
};

class TerminatorTest : public DeviceWindowTest,
                       public ::testing::WithParamInterface<TerminatorCase> {};

TEST_P(TerminatorTest, AppendsCrThenLf) {
    const TerminatorCase& c = GetParam();
    w().ckCR.setValue(c.cr);
    w().ckLF.setValue(c.lf);
    w().ckAutoQuery.setValue(0);
    type(u"*IDN?");
    w().cmdSend.press();
    EXPECT_EQ(calls(), Lines{c.sent});
    EXPECT_EQ(w().txtResults.text(), c.shown);
    EXPECT_FALSE(w().txtError.visible());
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, TerminatorTest,
    ::testing::Values(
        TerminatorCase{"Both", 1, 1, "Send(0, 9, \"*IDN?\\r\\n\", 7, 2)",
                       u"Send String => *IDN?\r\n"},
        TerminatorCase{"LfOnly", 0, 1, "Send(0, 9, \"*IDN?\\n\", 6, 2)", u"Send String => *IDN?\n"},
        TerminatorCase{"CrOnly", 1, 0, "Send(0, 9, \"*IDN?\\r\", 6, 2)", u"Send String => *IDN?\r"},
        TerminatorCase{"Neither", 0, 0, "Send(0, 9, \"*IDN?\", 5, 2)", u"Send String => *IDN?"},
        TerminatorCase{"GreyIsNotTicked", 2, 2, "Send(0, 9, \"*IDN?\", 5, 2)",
                       u"Send String => *IDN?"}),
    [](const auto& info) { return std::string(info.param.name); });

struct QueryCase {
    const char* name;
    const char16_t* command;
    bool reads;
};

class AutoQueryTest : public DeviceWindowTest, public ::testing::WithParamInterface<QueryCase> {};

TEST_P(AutoQueryTest, ReadsWhenAQuestionMarkStandsAnywhere) {
    const QueryCase& c = GetParam();
    answer("42\n");
    type(c.command);
    w().cmdSend.press();
    ASSERT_EQ(calls().size(), c.reads ? 2u : 1u);
    if (c.reads) {
        EXPECT_EQ(calls()[1], "Receive(0, 9, 100, 10)");
        EXPECT_EQ(w().txtResults.text(), u"42");
    } else {
        EXPECT_EQ(w().txtResults.text(), u"Send String => " + Text(c.command) + u"\n");
    }
}

INSTANTIATE_TEST_SUITE_P(Commands, AutoQueryTest,
                         ::testing::Values(QueryCase{"AtTheEnd", u"*IDN?", true},
                                           QueryCase{"InTheMiddle", u"MEAS:VOLT? DC", true},
                                           QueryCase{"AtTheStart", u"?", true},
                                           QueryCase{"NoQuestion", u"*RST", false},
                                           QueryCase{"Empty", u"", false}),
                         [](const auto& info) { return std::string(info.param.name); });

class CommandSendTest : public DeviceWindowTest {};

TEST_F(CommandSendTest, GuardSendsNothing) {
    w().FoundFlg = 0;
    w().txtError.setVisible(true);
    type(u"*IDN?");
    key(13);
    EXPECT_TRUE(calls().empty());
    EXPECT_EQ(w().txtResults.text(),
              u"No devices found. Use Findlstn or enter and set a device address");
    EXPECT_FALSE(w().txtError.visible());
    EXPECT_EQ(platform.beeps, 1);
}

TEST_F(CommandSendTest, FailedSendIsReportedAndNotRead) {
    w().txtResults.setText(u"earlier answer");
    scripted::Push("Send", failing(2));
    type(u"*IDN?");
    w().cmdSend.press();
    EXPECT_EQ(calls(), Lines{"Send(0, 9, \"*IDN?\\n\", 6, 2)"});
    EXPECT_EQ(w().txtResults.text(), u"");
    EXPECT_TRUE(w().txtError.visible());
    EXPECT_EQ(w().txtError.text(),
              u"Send error,  ibsta = &H8000 <  ERR  >, iberr =  2 ENOL <No Listener>, ibcnt =  0");
    EXPECT_EQ(platform.beeps, 0);
}

TEST_F(CommandSendTest, EnterSendsWhileTheButtonIsDisabled) {
    w().cmdSend.setEnabled(false);
    w().ckAutoQuery.setValue(0);
    type(u"*CLS");
    int16_t code = 13;
    w().combCmd.keyPress.fire(code);
    EXPECT_EQ(code, 13);  // the key goes on to the box
    EXPECT_EQ(calls(), Lines{"Send(0, 9, \"*CLS\\n\", 5, 2)"});
}

TEST_F(CommandSendTest, OtherKeysSendNothing) {
    type(u"*CLS");
    for (int16_t code : {10, 32, 63, 0, -13}) {
        key(code);
    }
    EXPECT_TRUE(calls().empty());
}

TEST_F(CommandSendTest, TypedTerminatorsAreLeftAlone) {
    w().ckAutoQuery.setValue(0);
    type(u"A\nB\r");
    w().cmdSend.press();
    EXPECT_EQ(calls(), Lines{"Send(0, 9, \"A\\nB\\r\\n\", 5, 2)"});
}

TEST_F(CommandSendTest, WhateverIsTypedGoesOutByteForByte) {
    // A NUL, a Latin-1 letter and one the code page lacks, with Auto Query on.
    type(Text(u"a\0b", 3) + u"\u00e9\u20ac");
    w().cmdSend.press();
    EXPECT_EQ(calls(), Lines{"Send(0, 9, \"a\\0b\\xE9?\\n\", 6, 2)"});
    // The '?' that stands for the missing character asks nothing.
    EXPECT_EQ(w().txtResults.text(), u"Send String => " + Text(u"a\0b", 3) + u"\u00e9?\n");
}

TEST_F(CommandSendTest, HugeCommandIsSentWhole) {
    w().ckAutoQuery.setValue(0);
    type(Text(1 << 20, u'x'));
    w().cmdSend.press();
    ASSERT_EQ(calls().size(), 1u);
    EXPECT_EQ(scripted::Calls().back().data.size(), (1u << 20) + 1);
    EXPECT_EQ(w().txtResults.text().size(), 15u + (1u << 20) + 1);
}

}  // namespace
