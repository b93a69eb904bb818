// The listener search, the bus-wide polls and the 488.1 commands: every way
// each of them fails or refuses.

#include "reliability/fault_row.h"

namespace {

const char* const kGuard = "No devices found. Use Findlstn or enter and set a device address";
const char* const kWaitForListeners = "FindLstn: Wait while looking for devices";

void forgetDevice(SimWindow& s) {
    s.setAddress(u"31");
}
void typeSomething(SimWindow& s) {
    s.w().combCmd.setText(u"typed");
}
void findListeners(SimWindow& s) {
    s.w().cmdFindLstn.press();
}
void allPoll(SimWindow& s) {
    s.w().cmdAllPoll.press();
}
void findRqs(SimWindow& s) {
    s.w().cmdFindRQS.press();
}

// The address text of a search that reported 64 listeners while the driver
// wrote one: the multimeter, the end word the last search left, then zeros.
std::string sixtyFourAddresses() {
    std::string text = " 9 -1 ";
    for (int i = 2; i < 64; ++i) text += " 0 ";
    return text;
}

}  // namespace

std::vector<FaultRow> ListenerRows() {
    return {
        // Only iberr 0 is reported; the list is as the driver left it.
        {"FindLstnDriverError", "  faults:\n    - {call: FindLstn, after: 1, iberr: EDVR}\n",
         nullptr, findListeners,
         Changes{{"txtResults.text", kWaitForListeners},
                 {"DevAddr", "0"},
                 {"Device", "0"},
                 {"txtAddr.text", " 9"}} +
             ErrorBox("FindLstn error,  ibsta = &H8130 <  ERR CMPL CIC ATN  >, iberr =  0 EDVR <Op "
                      "System Error>, ibcnt =  1")},
        // Any other code: the count is decoded as after a success.
        {"FindLstnOtherError",
         "  faults:\n    - {call: FindLstn, after: 1, iberr: ETAB, perform: true}\n",
         nullptr,
         findListeners,
         {{"ud", "?"}, {"txtAddr.text", " 9"}}},
        {"FindLstnIbdev", "  faults:\n    - {call: ibdev, after: 1, iberr: ENEB}\n", nullptr,
         findListeners,
         Changes{{"ud", "-1"}} + ErrorBox("ibdev Error,  ibsta = &H8130 <  ERR CMPL CIC ATN  >, "
                                          "iberr =  7 ENEB <No GPIB board>, ibcnt =  1")},
        {"FindLstnSixtyFour", "  faults:\n    - {call: FindLstn, after: 1, count: 64}\n", nullptr,
         findListeners,
         Changes{{"FoundNum", "64"},
                 {"txtAddr.text", " 9"},
                 {"txtResults.text",
                  "FindLstn: Found 64 devices at addresses = " + sixtyFourAddresses() +
                      "\r\nCAUTION - Not all found devices listed - Check system and retry."}} +
             ErrorBox("Found  64 devices, check system and retry"),
         1},
        {"FindLstnUndetermined",
         "  faults:\n    - {call: FindLstn, after: 1, count: -1}\n",
         nullptr,
         findListeners,
         {{"txtResults.text", "FindLstn: Undetermined results - ibcnt = -1"},
          {"FoundFlg", "0"},
          {"founddev", "0"},
          {"txtAddr.text", " 0"},
          {"DevAddr", "0"},
          {"Device", "0"}},
         1},
        {"FindLstnNone",
         "  faults:\n    - {call: FindLstn, after: 1, count: 0}\n",
         nullptr,
         findListeners,
         {{"txtResults.text", "FindLstn: No devices found"},
          {"FoundFlg", "0"},
          {"founddev", "0"},
          {"FoundList", ""},
          {"txtAddr.text", " 0"},
          {"DevAddr", "0"},
          {"Device", "0"}},
         1},
    };
}

std::vector<FaultRow> PollRows() {
    return {
        {"AllPollGuard",
         "",
         [](SimWindow& s) {
             forgetDevice(s);
             typeSomething(s);
         },
         allPoll,
         {{"combCmd.text", ""}, {"txtResults.text", kGuard}},
         1},
        {"FindRqsGuard", "", forgetDevice, findRqs, {{"txtResults.text", kGuard}}, 1},
        // A device set by hand after a search that found nothing.
        {"AllPollEmptyList",
         "  faults:\n    - {call: FindLstn, times: 1, count: 0}\n",
         [](SimWindow& s) { s.setAddress(u"9"); },
         allPoll,
         {{"txtResults.text", "Device list empty. Use Findlstn to create a device list"}},
         1},
        {"FindRqsEmptyList",
         "  faults:\n    - {call: FindLstn, times: 1, count: 0}\n",
         [](SimWindow& s) { s.setAddress(u"9"); },
         findRqs,
         {{"txtResults.text", "Device list empty. Use Findlstn to create a device list"}},
         1},
        {"AllPollFails", "  faults:\n    - {call: AllSpoll, iberr: ESRQ}\n", typeSomething, allPoll,
         Changes{{"combCmd.text", ""},
                 {"txtResults.text", "All Serial Poll: Polling All devices"}} +
             ErrorBox("AllSpoll error,  ibsta = &H8130 <  ERR CMPL CIC ATN  >, iberr =  16 ESRQ "
                      "<SRQ stuck on>, ibcnt =  1")},
        // The short poll timeout is not tested; the poll goes on.
        {"AllPollTimeoutUnreported",
         "  faults:\n    - {call: ibtmo, after: 1, iberr: EARG}\n",
         nullptr,
         allPoll,
         {{"txtResults.text", "All Serial Poll: Response = Inst 9, 0"}}},
        {"FindRqsNoSrq",
         "",
         nullptr,
         findRqs,
         {{"txtResults.text", "FindRQS: SRQ not asserted - no devices polled"}},
         1},
        {"FindRqsFails",
         "  instruments:\n    GPIB0::9::INSTR: {trigger: {request_service: true}}\n  faults:\n    "
         "- {call: FindRQS, iberr: ETAB}\n",
         [](SimWindow& s) { s.w().cmdTrig.press(); }, findRqs,
         Changes{{"txtResults.text", ""}} +
             ErrorBox("FindRQS Error,  ibsta = &H9130 <  ERR SRQI CMPL CIC ATN  >, iberr =  20 "
                      "ETAB <Table Overflow>, ibcnt =  1")},
    };
}

std::vector<FaultRow> BusCommandRows() {
    return {
        {"TriggerGuard",
         "",
         [](SimWindow& s) {
             forgetDevice(s);
             typeSomething(s);
         },
         [](SimWindow& s) { s.w().cmdTrig.press(); },
         {{"combCmd.text", ""}, {"txtResults.text", kGuard}},
         1},
        {"SerialPollGuard",
         "",
         [](SimWindow& s) {
             forgetDevice(s);
             typeSomething(s);
         },
         [](SimWindow& s) { s.w().cmdSPoll.press(); },
         {{"txtResults.text", kGuard}},
         1},
        {"DeviceClearGuard",
         "",
         [](SimWindow& s) {
             forgetDevice(s);
             typeSomething(s);
         },
         [](SimWindow& s) { s.w().cmdDevClr.press(); },
         {{"txtResults.text", kGuard}},
         1},
        {"TriggerFails", "  faults:\n    - {call: Trigger, iberr: ENOL}\n", typeSomething,
         [](SimWindow& s) { s.w().cmdTrig.press(); },
         Changes{{"combCmd.text", ""}} +
             ErrorBox("Trigger Error,  ibsta = &H8130 <  ERR CMPL CIC ATN  >, iberr =  2 ENOL <No "
                      "Listener>, ibcnt =  1")},
        // An instrument that never answers a serial poll.
        {"SerialPollTimesOut", "  instruments:\n    GPIB0::9::INSTR: {serial_poll: false}\n",
         typeSomething, [](SimWindow& s) { s.w().cmdSPoll.press(); },
         Changes{{"combCmd.text", ""}} +
             ErrorBox("SPoll Error,  ibsta = &HC130 <  ERR TIMO CMPL CIC ATN  >, iberr =  6 EABO "
                      "<Operation aborted>, ibcnt =  1")},
        {"DeviceClearFails", "  faults:\n    - {call: DevClear, iberr: EADR}\n", typeSomething,
         [](SimWindow& s) { s.w().cmdDevClr.press(); },
         Changes{{"combCmd.text", ""}} +
             ErrorBox("DevCLr Error,  ibsta = &H8130 <  ERR CMPL CIC ATN  >, iberr =  3 EADR "
                      "<Address error>, ibcnt =  1")},
        // A failed interface clear leaves the running loop alone.
        {"InterfaceClearFails", "  faults:\n    - {call: SendIFC, after: 1, iberr: ECIC}\n",
         [](SimWindow& s) { s.w().cmdIDNtst.press(); }, [](SimWindow& s) { s.w().cmdIFC.press(); },
         Changes{{"combCmd.text", ""}} + ErrorBox("SendIFC Error,  ibsta = &H8130 <  ERR CMPL CIC "
                                                  "ATN  >, iberr =  1 ECIC <Not CIC>, ibcnt =  1")},
        {"InterfaceClearRen", "  faults:\n    - {call: ibsre, after: 1, iberr: ESAC}\n",
         [](SimWindow& s) { s.w().cmdIDNtst.press(); }, [](SimWindow& s) { s.w().cmdIFC.press(); },
         Changes{{"combCmd.text", ""}, {"txtResults.text", "Interface Clear sent"}} +
             ErrorBox("ibSRE Error,  ibsta = &H8130 <  ERR CMPL CIC ATN  >, iberr =  5 ESAC <Not "
                      "Sys Ctrlr>, ibcnt =  1")},
    };
}
