// What an operator can type, what an instrument can send back and what the
// environment can hand the program: each gets a clear message or its ordinary
// outcome, and afterwards the window still talks to the multimeter.

#include <gtest/gtest.h>

#include <string>

#include "reliability/sim_window.h"

namespace {

const char* const kIdn = "FAULT BENCH,DMM,1,1.0";

class HostileInput : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!SimWindow::available()) {
            GTEST_SKIP() << "the simulated bench (target tm-gpib) is not part of this build";
        }
        serve(BenchText());
    }
    void serve(const std::string& bench) {
        m_sim = std::make_unique<SimWindow>(bench);
        ASSERT_TRUE(m_sim->served()) << m_sim->problem();
        m_sim->load();
        ASSERT_EQ(m_sim->error(), "");
    }
    SimWindow& s() { return *m_sim; }
    Window& w() { return m_sim->w(); }

    // The window still works: the multimeter at 9 identifies itself.
    void expectStillUsable() {
        w().txtAddr.setText(u"9");
        w().cmdSet.press();
        ASSERT_EQ(s().results(), "Device Address =>  9") << s().error();
        // Whatever an earlier message left in the instrument goes first.
        w().cmdDevClr.press();
        s().enter(u"*IDN?");
        EXPECT_EQ(s().error(), "");
        EXPECT_EQ(s().results(), kIdn);
    }

  private:
    std::unique_ptr<SimWindow> m_sim;
};

TEST_F(HostileInput, AMebibyteCommandIsSentWhole) {
    const Text command(1 << 20, u'A');
    s().enter(command);
    EXPECT_EQ(s().error(), "");
    EXPECT_EQ(w().txtResults.text(), u"Send String => " + command + u"\n");
    EXPECT_EQ(s().gpib().ibcntl, (1 << 20) + 1);
    expectStillUsable();
}

TEST_F(HostileInput, CharactersBeyondTheCodePageGoOutAsQuestionMarks) {
    // The confirmation shows what went on the wire; what was typed held no
    // query, so nothing is read.
    s().enter(u"\u20ac\U0001F600");
    EXPECT_EQ(s().error(), "");
    EXPECT_EQ(s().results(), "Send String => ???\n");
    EXPECT_EQ(s().gpib().ibcntl, 4);
    expectStillUsable();
}

TEST_F(HostileInput, ANulInTheCommandBoxIsSentAsItIs) {
    const Text command(u"*IDN?\0*IDN?", 11);
    s().enter(command);
    EXPECT_EQ(s().error(), "");
    w().ckAutoQuery.setValue(0);
    s().enter(Text(1, u'\0'));
    EXPECT_EQ(w().txtResults.text(), Text(u"Send String => \0\n", 17));
    // A NUL key itself is no Enter.
    int16_t code = 0;
    w().combCmd.keyPress.fire(code);
    EXPECT_EQ(w().txtResults.text(), Text(u"Send String => \0\n", 17));
    w().ckAutoQuery.setValue(1);
    expectStillUsable();
}

// Address texts of every shape: each is refused with a message or selects
// the address its numeric value names; none may stop the window.
struct AddressCase {
    const char16_t* text;
    const char* results;  // txtResults after Set
    const char* error;    // txtError, "" when hidden
};

class HostileAddress : public HostileInput, public ::testing::WithParamInterface<AddressCase> {};

const char* const kRange = "Device Address outside of 0 to 30 or 100 to 3030 range, please reenter";
const char* const kLength = "Length of address is out of range, reenter";
const char* const kSame = "New Device address same as Controller's address,  please reenter";

TEST_P(HostileAddress, IsRefusedOrSelectsWhatItNames) {
    const AddressCase& c = GetParam();
    w().txtAddr.setText(c.text);
    w().cmdSet.press();
    EXPECT_EQ(s().results(), c.results);
    EXPECT_EQ(s().error(), c.error);
    expectStillUsable();
}

INSTANTIATE_TEST_SUITE_P(
    EveryShape, HostileAddress,
    ::testing::Values(
        AddressCase{u"99999999999999999999", kRange, ""}, AddressCase{u"-32769", kRange, ""},
        AddressCase{u"32767", kRange, ""}, AddressCase{u"1e400", kRange, ""},
        AddressCase{u"-1e400", kRange, ""}, AddressCase{u"1e-400", kSame, ""},
        AddressCase{u"9e0", "Device Address =>  9", ""},
        AddressCase{u"&H9", "Device Address =>  9", ""},
        AddressCase{u"&O11", "Device Address =>  9", ""}, AddressCase{u"&HFFFFFFFFFF", kRange, ""},
        AddressCase{u"&H", kSame, ""}, AddressCase{u" 9 ", "Device Address =>  9", ""},
        AddressCase{u"\t9\n", "Device Address =>  9", ""},
        AddressCase{u"1 5 0 3", "FindLstn: Found 1 device at address =  9 ", kLength},
        AddressCase{u"+", kSame, ""}, AddressCase{u"-", kSame, ""}, AddressCase{u"+-+-", kSame, ""},
        AddressCase{u"--9", kSame, ""}, AddressCase{u"3031", kRange, ""},
        AddressCase{u"3099", kRange, ""}, AddressCase{u"199", kRange, ""},
        AddressCase{u"1e3", "Device not present at address  1000.  Check device address and retry",
                    ""},
        AddressCase{u"\u20ac9", kSame, ""}));

// Controller address texts: refused with the improper-value message, or
// written to the board and confirmed as typed.
struct ControllerCase {
    const char16_t* text;
    const char* results;
};

class HostileControllerAddress : public HostileInput,
                                 public ::testing::WithParamInterface<ControllerCase> {};

const char* const kImproper = "Improper value for the Controller Address, please reenter";

TEST_P(HostileControllerAddress, IsRefusedOrConfirmedAsTyped) {
    const ControllerCase& c = GetParam();
    w().txtCtlrAddr.setText(c.text);
    w().cmdSetCtlr.press();
    EXPECT_EQ(s().results(), c.results);
    EXPECT_EQ(s().error(), "");
    // The board took its address, or kept the old one.
    w().txtCtlrAddr.setText(u"0");
    w().cmdSetCtlr.press();
    expectStillUsable();
}

INSTANTIATE_TEST_SUITE_P(EveryShape, HostileControllerAddress,
                         ::testing::Values(ControllerCase{u"99999999999", kImproper},
                                           ControllerCase{u"1e10", kImproper},
                                           ControllerCase{u"-1e400", kImproper},
                                           ControllerCase{u"30.6", kImproper},
                                           ControllerCase{u"&H1F", kImproper},
                                           ControllerCase{u"-0.4", "Controller Address => -0.4"},
                                           ControllerCase{u"&H1E", "Controller Address => &H1E"},
                                           ControllerCase{u"3 0", "Controller Address => 3 0"},
                                           ControllerCase{u"+", "Controller Address => +"},
                                           ControllerCase{u"", "Controller Address => "}));

// Board names the operator may type: none may stop the window; an unknown
// board is reported, and choosing GPIB0 again brings the session back. (Each
// name's board number differs from the one before, or Set would do nothing.)
TEST_F(HostileInput, BoardNamesOfEveryShape) {
    for (const char16_t* name :
         {u"GPIB99999", u"GPIB-1", u"\U0001F600\U0001F600", u"GPIB1\u20ac"}) {
        s().chooseBoard(name);
        EXPECT_EQ(s().results(),
                  "Selected GPIB Controller not found\r\nSelect another Controller Name")
            << ToUtf8(name);
        EXPECT_EQ(s().error().rfind("ibfind error,  ibsta = &H8000", 0), 0u) << s().error();
    }
    s().chooseBoard(u"GPIB0");
    EXPECT_EQ(s().error(), "");
    expectStillUsable();
}

// Answers of exactly the read size and of a thousand times it, ended by EOI
// on their last byte (no response termination).
std::string longAnswerBench(size_t size) {
    return std::string(R"(spec: "1.1"
devices:
  talker:
    eom:
      GPIB INSTR: {q: "\n", r: ""}
    dialogues:
      - {q: "*IDN?", r: "FAULT BENCH,DMM,1,1.0"}
      - {q: "DUMP?", r: ")") +
           std::string(size, 'x') + "\"}\n" + "resources:\n  GPIB0::9::INSTR: {device: talker}\n";
}

TEST_F(HostileInput, AnAnswerOfExactlyOneReadIsShownWhole) {
    serve(longAnswerBench(100));
    w().ckByteCnt.setValue(1);
    s().enter(u"DUMP?");
    EXPECT_EQ(s().error(), "");
    EXPECT_EQ(s().results(), std::string(100, 'x') + "\r\nByte count=  100");
    // Nothing is left: the next read waits and times out.
    w().cmdRead.press();
    EXPECT_EQ(s().error().rfind("Receive Error,", 0), 0u) << s().error();
    w().ckByteCnt.setValue(0);
    w().cmdDevClr.press();
    s().enter(u"*IDN?");
    EXPECT_EQ(s().results(), kIdn);
}

TEST_F(HostileInput, AHundredThousandByteAnswerTakesAThousandReads) {
    serve(longAnswerBench(100000));
    s().enter(u"DUMP?");
    int reads = 1;
    while (s().error().empty() && reads < 2000) {
        ASSERT_EQ(s().results(), std::string(100, 'x'));
        ASSERT_EQ(s().gpib().ibcntl, 100);
        w().cmdRead.press();
        ++reads;
    }
    // A thousand reads of 100 bytes; the one after them has nothing to read.
    EXPECT_EQ(reads, 1001);
    EXPECT_EQ(s().error().rfind("Receive Error,", 0), 0u) << s().error();
    s().enter(u"*IDN?");
    EXPECT_EQ(s().results(), kIdn);
}

}  // namespace
