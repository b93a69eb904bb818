// The device address Set: each kind of address text with the driver calls it
// makes, the address it selects, and what the operator is told.
#include <string>
#include <vector>

#include "session/device_address.h"
#include "window/scripted_window.h"

namespace {

using scripted::Outcome;
using Lines = std::vector<std::string>;

constexpr int16_t kCtlrAddr = 21;
constexpr int kOldUd = 17;
constexpr int kNewUd = 18;

const char16_t* const kRange =
    u"Device Address outside of 0 to 30 or 100 to 3030 range, please reenter";
const char16_t* const kLength = u"Length of address is out of range, reenter";

Outcome Descriptor(int ud) {
    Outcome o;
    o.result = ud;
    return o;
}

Outcome Listening(int listen) {
    Outcome o;
    o.value = listen;
    return o;
}

// Started with the controller at 21 and the device found at 9 on descriptor
// 17; every Set then opens descriptor 18 and finds a listener unless a test
// scripts otherwise.
class DeviceAddressTest : public ScriptedWindowTest {
  protected:
    DeviceAddressTest() {
        Outcome address;
        address.value = kCtlrAddr;
        scripted::SetDefault("ibask", address);
        scripted::Push("FindLstn", listeners({9}, 1));
        scripted::Push("ibdev", Descriptor(kOldUd));
        form().load();
        scripted::SetDefault("ibdev", Descriptor(kNewUd));
        scripted::SetDefault("ibln", Listening(1));
        forgetCalls();
        platform.beeps = 0;
        w().txtError.setVisible(true);  // an earlier report still showing
        w().txtResults.setText(u"before");
        w().combCmd.setText(u"*idn?");
    }

    void set(const char16_t* text) {
        w().txtAddr.setText(text);
        w().cmdSet.press();
    }
};

struct AddressCase {
    const char* name;
    const char16_t* text;
    Lines calls;
    int devAddr;
    double device;  // Device after the Set
    int foundFlg;
    const char16_t* results;  // txtResults afterwards
    const char16_t* error;    // txtError when shown, nullptr when hidden
    int beeps;
};

class AddressTextTest : public DeviceAddressTest,
                        public ::testing::WithParamInterface<AddressCase> {};

Lines Selecting(int pad, int sad) {
    const std::string p = std::to_string(pad), s = std::to_string(sad);
    return {"ibonl(17, 0)", "ibdev(0, " + p + ", " + s + ", 12, 1, 10)",
            "ibln(18, " + p + ", " + s + ")"};
}

TEST_P(AddressTextTest, SelectsOrRefuses) {
    const AddressCase& c = GetParam();
    set(c.text);
    EXPECT_EQ(calls(), c.calls);
    EXPECT_EQ(static_cast<uint16_t>(gpib().DevAddr), c.devAddr);
    EXPECT_EQ(w().Device, c.device);
    EXPECT_EQ(w().FoundFlg, c.foundFlg);
    EXPECT_EQ(w().txtResults.text(), c.results);
    EXPECT_EQ(w().txtError.visible(), c.error != nullptr);
    if (c.error) {
        EXPECT_EQ(w().txtError.text(), c.error);
    }
    EXPECT_EQ(platform.beeps, c.beeps);
    EXPECT_EQ(w().combCmd.text(), u"");
}

const Lines kNone;
const Lines kOffline = {"ibonl(17, 0)"};

INSTANTIATE_TEST_SUITE_P(
    Texts, AddressTextTest,
    ::testing::Values(
        AddressCase{"Primary", u"15", Selecting(15, 0), 0x000F, 15, 1, u"Device Address =>  15",
                    nullptr, 0},
        AddressCase{"FourDigitSecondary", u"1503", Selecting(15, 99), 0x630F, 1503, 1,
                    u"Device Address =>  1503", nullptr, 0},
        AddressCase{"ThreeDigitSecondary", u"903", Selecting(9, 99), 0x6309, 903, 1,
                    u"Device Address =>  903", nullptr, 0},
        AddressCase{"SecondaryZero", u"100", Selecting(1, 96), 0x6001, 100, 1,
                    u"Device Address =>  100", nullptr, 0},
        AddressCase{"Highest", u"3030", Selecting(30, 126), 0x7E1E, 3030, 1,
                    u"Device Address =>  3030", nullptr, 0},
        AddressCase{"LeadingZeroSplitsByCharacters", u"0130", Selecting(1, 126), 0x7E01, 130, 1,
                    u"Device Address =>  130", nullptr, 0},
        AddressCase{"RoundedPrimaryKeepsTheTypedValue", u"15.6", Selecting(16, 0), 0x0010, 15.6, 1,
                    u"Device Address =>  15.6", nullptr, 0},
        AddressCase{"EmptyIsAddressZero", u"", Selecting(0, 0), 0, 0, 1, u"Device Address =>  0",
                    nullptr, 0},
        AddressCase{"WholeNumberIsComparedWithTheController", u"2103", Selecting(21, 99), 0x6315,
                    2103, 1, u"Device Address =>  2103", nullptr, 0},
        AddressCase{"ControllersOwn", u"21", kNone, 9, 9, 1,
                    u"New Device address same as Controller's address,  please reenter", nullptr,
                    1},
        AddressCase{"Gap31", u"31", kNone, 9, 9, 0, kRange, nullptr, 1},
        AddressCase{"Gap99", u"99", kNone, 9, 9, 0, kRange, nullptr, 1},
        AddressCase{"Negative", u"-1", kNone, 9, 9, 0, kRange, nullptr, 1},
        AddressCase{"AboveHighest", u"3031", kNone, 9, 9, 0, kRange, nullptr, 1},
        AddressCase{"Past16Bits", u"40000", kNone, 9, 9, 0, kRange, nullptr, 1},
        AddressCase{"FarPast16Bits", u"1e300", kNone, 9, 9, 0, kRange, nullptr, 1},
        AddressCase{"TrailingBlankMakesFiveCharacters", u"1503 ", kOffline, 9, 9, 0, u"before",
                    kLength, 0},
        AddressCase{"BlankInsideMakesFourCharacters", u"1 03", Selecting(1, 99), 0x6301, 103, 1,
                    u"Device Address =>  103", nullptr, 0},
        AddressCase{"SecondaryBeyondTheHighByte", u"9 99", kOffline, 9, 9, 0, kRange, nullptr, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DeviceAddressTest, SecondaryOneAboveTheDriversRangeIsPassedOn) {
    Outcome refused = failing(4);
    refused.result = -1;
    scripted::Push("ibdev", refused);
    set(u"131");
    EXPECT_EQ(calls(), (Lines{"ibonl(17, 0)", "ibdev(0, 1, 127, 12, 1, 10)"}));
    EXPECT_EQ(static_cast<uint16_t>(gpib().DevAddr), 0x7F01);
    EXPECT_EQ(w().FoundFlg, 0);
    EXPECT_TRUE(w().txtError.visible());
    EXPECT_EQ(w().txtError.text(),
              u"ibdev Error,  ibsta = &H8000 <  ERR  >, iberr =  4 EARG <Invalid argument>, "
              u"ibcnt =  0");
    EXPECT_EQ(w().txtResults.text(), u"before");
    EXPECT_EQ(platform.beeps, 0);
}

TEST_F(DeviceAddressTest, FailedIbdevLeavesNothingToTakeOffline) {
    Outcome refused = failing(4);
    refused.result = -1;
    scripted::Push("ibdev", refused);
    set(u"131");
    ASSERT_EQ(w().ud, -1);
    forgetCalls();
    set(u"5");
    EXPECT_EQ(calls(), (Lines{"ibdev(0, 5, 0, 12, 1, 10)", "ibln(18, 5, 0)"}));
    EXPECT_EQ(w().FoundFlg, 1);
    EXPECT_EQ(w().ud, kNewUd);
}

TEST_F(DeviceAddressTest, DescriptorTakenOfflineIsNotTakenOfflineAgain) {
    set(u"1503 ");
    forgetCalls();
    set(u"1503");
    EXPECT_EQ(calls(), (Lines{"ibdev(0, 15, 99, 12, 1, 10)", "ibln(18, 15, 99)"}));
    EXPECT_EQ(w().FoundFlg, 1);
}

TEST_F(DeviceAddressTest, NoDeviceOpenedYetNeedsNoOffline) {
    w().ud = 0;
    set(u"5");
    EXPECT_EQ(calls(), (Lines{"ibdev(0, 5, 0, 12, 1, 10)", "ibln(18, 5, 0)"}));
}

TEST_F(DeviceAddressTest, NoListenerThere) {
    scripted::Push("ibln", Listening(0));
    set(u"15.6");
    EXPECT_EQ(w().txtResults.text(),
              u"Device not present at address  15.6.  Check device address and retry");
    EXPECT_EQ(w().FoundFlg, 0);
    EXPECT_EQ(static_cast<uint16_t>(gpib().DevAddr), 16);
    EXPECT_EQ(platform.beeps, 1);
    EXPECT_FALSE(w().txtError.visible());
}

TEST_F(DeviceAddressTest, FailedListenerCheck) {
    scripted::Push("ibln", failing(2));
    set(u"5");
    EXPECT_EQ(w().txtError.text(),
              u"ibln Error,  ibsta = &H8000 <  ERR  >, iberr =  2 ENOL <No Listener>, ibcnt =  0");
    EXPECT_TRUE(w().txtError.visible());
    EXPECT_EQ(w().FoundFlg, 0);
    EXPECT_EQ(static_cast<uint16_t>(gpib().DevAddr), 5);
    EXPECT_EQ(platform.beeps, 0);
}

TEST_F(DeviceAddressTest, FailedOfflineStopsBeforeOpening) {
    scripted::Push("ibonl", failing(2));
    set(u"1503");
    EXPECT_EQ(calls(), kOffline);
    EXPECT_EQ(w().txtError.text(), u"ibonl iberr = 2");
    EXPECT_TRUE(w().txtError.visible());
    EXPECT_EQ(w().FoundFlg, 0);
    EXPECT_EQ(w().ud, kOldUd);
    EXPECT_EQ(static_cast<uint16_t>(gpib().DevAddr), 9);
    EXPECT_EQ(w().combCmd.text(), u"");
}

}  // namespace
