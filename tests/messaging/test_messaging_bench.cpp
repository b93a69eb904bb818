// Talking to the built-in simulated bench end to end, through the real
// loader: the multimeter's identification, the older counter's long answer
// with a NUL in two reads, a read with nothing to say, and both loops.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "gpib/driver_library.h"
#include "gpib/gpib32.h"
#include "ui/form1.h"
#include "window/recording_platform.h"

namespace {

// The counter's record, as the built-in bench defines it.
const std::string kRecord =
    std::string("LOG 12\0 ", 8) +
    "+1.00000000E+06,+1.00000012E+06,+0.99999987E+06,+1.00000003E+06,+1.00000025E+06,"
    "+0.99999991E+06 END";

class MessagingBenchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string path = SIM_LIBRARY;
        if (path.empty()) {
            GTEST_SKIP() << "the simulated bench (target tm-gpib) is not part of this build";
        }
        setenv("GPIB_SIM_INSTANT", "1", 0);
        unsetenv("GPIB_SIM_BENCH");  // the built-in bench
        m_library = DriverLibrary::Open(path);
        ASSERT_TRUE(m_library->Loaded()) << m_library->Problem();
        m_gpib = std::make_unique<GPIB32>(*m_library);
        m_form = std::make_unique<Form1>(*m_gpib, platform);
        m_form->load();
        ASSERT_FALSE(w().txtError.visible()) << ToUtf8(w().txtError.text());
    }

    Window& w() { return m_form->window(); }

    void select(const char16_t* address) {
        w().txtAddr.setText(address);
        w().cmdSet.press();
        ASSERT_EQ(w().FoundFlg, 1) << ToUtf8(w().txtResults.text()) << ToUtf8(w().txtError.text());
    }
    void enter(const char16_t* command) {
        w().combCmd.setText(command);
        int16_t code = 13;
        w().combCmd.keyPress.fire(code);
    }
    std::string results() { return ToUtf8(w().txtResults.text()); }
    std::string error() { return ToUtf8(w().txtError.text()); }

    RecordingPlatform platform;

  private:
    std::unique_ptr<DriverLibrary> m_library;
    std::unique_ptr<GPIB32> m_gpib;
    std::unique_ptr<Form1> m_form;
};

TEST_F(MessagingBenchTest, MultimeterIdentifiesItself) {
    select(u"9");
    EXPECT_EQ(results(), "Device Address =>  9");
    enter(u"*IDN?");
    EXPECT_FALSE(w().txtError.visible()) << error();
    EXPECT_EQ(results(), "SIMULATED BENCH,DMM-9,0001,1.0");

    w().ckDispAll.setValue(1);
    w().ckByteCnt.setValue(1);
    enter(u"*IDN?");
    EXPECT_EQ(results(), "SIMULATED BENCH,DMM-9,0001,1.0<lf>\r\nByte count=  31");
}

TEST_F(MessagingBenchTest, LongAnswerWithANulTakesTwoReads) {
    select(u"12");
    w().ckByteCnt.setValue(1);
    enter(u"OD");  // no question mark: the older instrument is read by hand
    EXPECT_EQ(results(), "Send String => OD\n");
    w().cmdRead.press();
    EXPECT_FALSE(w().txtError.visible()) << error();
    std::string first = kRecord.substr(0, 100);
    first[6] = '*';
    EXPECT_EQ(results(), first + "\r\nByte count=  100\r\nNull found and converted to '*'");

    w().cmdRead.press();
    EXPECT_FALSE(w().txtError.visible()) << error();
    EXPECT_EQ(results(),
              kRecord.substr(100) + "\r\nByte count=  " + std::to_string(kRecord.size() - 100 + 2));
}

TEST_F(MessagingBenchTest, ReadWithNothingToSayTimesOutAndHalts) {
    select(u"9");
    w().txtResults.setText(u"kept");
    w().cmdRead.press();
    EXPECT_TRUE(w().txtError.visible());
    EXPECT_EQ(error().rfind("Receive Error,  ibsta = &H", 0), 0u) << error();
    EXPECT_NE(error().find("TIMO"), std::string::npos) << error();
    EXPECT_NE(error().find("EABO"), std::string::npos) << error();
    EXPECT_EQ(results(), "kept");
    EXPECT_EQ(w().TestHalt, 1);
}

// Neither a descriptor already taken offline nor what a failed ibdev left may
// block the next Set.
TEST_F(MessagingBenchTest, SetRecoversFromEarlierFailures) {
    select(u"9");
    w().txtAddr.setText(u"1503 ");
    w().cmdSet.press();
    EXPECT_EQ(error(), "Length of address is out of range, reenter");
    select(u"9");

    w().txtAddr.setText(u"131");
    w().cmdSet.press();
    EXPECT_EQ(error().rfind("ibdev Error,", 0), 0u) << error();
    select(u"501");
    enter(u"*IDN?");
    EXPECT_EQ(results(), "SIMULATED BENCH,PSU-5,0002,1.0");
}

TEST_F(MessagingBenchTest, BothLoopsCount) {
    select(u"9");
    w().cmdIDNtst.press();
    w().combCmd.setText(u"READ?");
    w().cmdCmdtst.press();
    for (int n = 0; n < 3; ++n) {
        w().Timer1.tick();
    }
    EXPECT_FALSE(w().txtError.visible()) << error();
    EXPECT_EQ(w().TestHalt, 0);
    EXPECT_EQ(results(), "+1.234567E+00");
    EXPECT_EQ(w().txtCount.text(), u"3");
}

}  // namespace
