// Start-up, the controller board and its address, the device address, the
// timeout and REN: every way each of them fails.

#include "reliability/fault_row.h"

namespace {

// What start-up has set by the time its first driver call fails: the window's
// initial values, the lists, and the 17 operating buttons disabled.
Changes stoppedStartUp() {
    Changes c = {
        {"HelpFile", "Quillon.hlp"},
        {"HelpContextID", "2007557"},
        {"frmTimeout.enabled", "0"},
        {"RecvBuf", std::string(100, ' ')},
        {"NL", "\r\n"},
        {"txtRev.text", "Revised 05-17-2012"},
        {"ckLFTerm.value", "1"},
        {"ckAutoQuery.value", "1"},
        {"txtError.enabled", "0"},
        {"combCmd.items", "*esr?|*idn?|*stb?"},
        {"combIntfcName.items",
         "GPIB0|GPIB1|GPIB2|GPIB3|GPIB4|GPIB5|GPIB6|GPIB7|GPIB8|GPIB9|GPIB10|GPIB11|GPIB12|GPIB13|"
         "GPIB14|GPIB15"},
        {"combIntfcName.listIndex", "0"},
        {"combIntfcName.text", "GPIB0"},
        {"DevAddr", "4"},
        {"Device", "4"},
        {"eos", "10"},
        {"txtCtlrAddr.text", "0"},
    };
    for (const char* button :
         {"cmdSetCtlr", "cmdSet", "cmdSend", "cmdRead", "cmdIDNtst", "cmdIDNtstoff", "cmdCmdtst",
          "cmdCmdtstoff", "cmdIFC", "cmdDevClr", "cmdTrig", "cmdSPoll", "cmdFindLstn", "cmdFindRQS",
          "cmdAllPoll", "cmdRST", "cmdCLS"}) {
        c.push_back({std::string(button) + ".enabled", "0"});
    }
    return c;
}

void pressSetIName(SimWindow& s) {
    s.w().cmdSetIName.press();
}
void pressSetCtlr(SimWindow& s) {
    s.w().cmdSetCtlr.press();
}
void pressSet(SimWindow& s) {
    s.w().cmdSet.press();
}

}  // namespace

std::vector<FaultRow> StartUpRows() {
    return {
        {"StartUpIbfind",
         "  boards:\n    - {index: 0, name: GPIB0, present: false}\n    - {index: 1, name: "
         "GPIB1}\n",
         nullptr, nullptr,
         stoppedStartUp() + Changes{{"bud", "-1"}} +
             ErrorBox("ibfind error,  ibsta = &H8000 <  ERR  >, iberr =  7 ENEB <No GPIB board>, "
                      "ibcnt =  0")},
        {"StartUpIbask", "  faults:\n    - {call: ibask, iberr: ECAP}\n", nullptr, nullptr,
         stoppedStartUp() + ErrorBox("ibask error,  ibsta = &H8100 <  ERR CMPL  >, iberr =  11 "
                                     "ECAP <No capability>, ibcnt =  0")},
        {"StartUpSendIfc",
         "  boards:\n    - {index: 0, name: GPIB0, pad: 5, system_controller: false}\n    - "
         "{index: 1, name: GPIB1}\n",
         nullptr, nullptr,
         stoppedStartUp() + Changes{{"Ctlraddr", "5"}, {"txtCtlrAddr.text", " 5"}} +
             ErrorBox("SendIFC error,  ibsta = &H8100 <  ERR CMPL  >, iberr =  5 ESAC <Not Sys "
                      "Ctrlr>, ibcnt =  0")},
        {"StartUpIbsre", "  faults:\n    - {call: ibsre, iberr: EOIP}\n", nullptr, nullptr,
         stoppedStartUp() + Changes{{"txtCtlrAddr.text", " 0"}} +
             ErrorBox("ibsre Error,  ibsta = &H8130 <  ERR CMPL CIC ATN  >, iberr =  10 EOIP "
                      "<Async I/O in prg>, ibcnt =  0")},
        // A code the report has no text for: nothing follows the number.
        {"StartUpIbtmo", "  faults:\n    - {call: ibtmo, iberr: 8}\n", nullptr, nullptr,
         stoppedStartUp() +
             Changes{{"txtCtlrAddr.text", " 0"},
                     {"frmTimeout.enabled", "1"},
                     {"optTMO(3).value", "1"},
                     {"vtmo", "12"}} +
             ErrorBox(
                 "ibtmo Error,  ibsta = &H8130 <  ERR CMPL CIC ATN  >, iberr =  8, ibcnt =  0")},
    };
}

std::vector<FaultRow> SelectionRows() {
    return {
        {"SelectionIbfind", "", [](SimWindow& s) { s.w().combIntfcName.setText(u"GPIB2"); },
         pressSetIName,
         Changes{{"BoardIndex", "2"},
                 {"bud", "-1"},
                 {"txtResults.text",
                  "Selected GPIB Controller not found\r\nSelect another Controller Name"}} +
             ErrorBox("ibfind error,  ibsta = &H8000 <  ERR  >, iberr =  0 EDVR <Op System Error>, "
                      "ibcnt =  1")},
        {"SelectionSendIfc",
         "  boards:\n    - {index: 0, name: GPIB0}\n    - {index: 1, name: GPIB1, "
         "system_controller: false}\n",
         [](SimWindow& s) { s.w().combIntfcName.setText(u"GPIB1"); }, pressSetIName,
         Changes{{"BoardIndex", "1"}, {"bud", "1"}} +
             ErrorBox("SendIFC error,  ibsta = &H8100 <  ERR CMPL  >, iberr =  5 ESAC <Not Sys "
                      "Ctrlr>, ibcnt =  1")},
        // The selection writes the box into the board untested; the board refuses.
        {"SelectionIbpad", "",
         [](SimWindow& s) {
             s.w().combIntfcName.setText(u"GPIB1");
             s.w().txtCtlrAddr.setText(u"31");
         },
         pressSetIName,
         Changes{{"BoardIndex", "1"}, {"bud", "1"}, {"Ctlraddr", "31"}} +
             ErrorBox("ibpad error,  ibsta = &H8130 <  ERR CMPL CIC ATN  >, iberr =  4 EARG "
                      "<Invalid argument>, ibcnt =  1")},
        {"SelectionIbsre", "  faults:\n    - {call: ibsre, board: 1, iberr: EFSO}\n",
         [](SimWindow& s) { s.w().combIntfcName.setText(u"GPIB1"); }, pressSetIName,
         Changes{{"BoardIndex", "1"}, {"bud", "1"}} +
             ErrorBox("ibsre Error,  ibsta = &H8130 <  ERR CMPL CIC ATN  >, iberr =  12 EFSO <File "
                      "sys. error>, ibcnt =  1")},
        // With a device known, the device's option call is the timeout
        // action's last call, so its failure is the one reported.
        {"SelectionTimeoutDeviceOption", "  faults:\n    - {call: ibconfig, iberr: EBUS}\n",
         [](SimWindow& s) { s.w().combIntfcName.setText(u"GPIB1"); }, pressSetIName,
         Changes{{"BoardIndex", "1"}, {"bud", "1"}} +
             ErrorBox("ibtmo Error,  ibsta = &H8130 <  ERR CMPL CIC ATN  >, iberr =  14 EBUS "
                      "<Command error>, ibcnt =  1")},
        // ... and a failed board timeout before it goes unreported.
        {"SelectionTimeoutBoardHidden", "  faults:\n    - {call: ibtmo, board: 1, iberr: EBUS}\n",
         [](SimWindow& s) { s.w().combIntfcName.setText(u"GPIB1"); }, pressSetIName,
         Changes{{"BoardIndex", "1"},
                 {"bud", "1"},
                 {"ud", "?"},
                 {"FoundList", "3"},
                 {"founddev", "3"},
                 {"DevAddr", "3"},
                 {"Device", "3"},
                 {"txtAddr.text", "3"},
                 {"txtResults.text", "FindLstn: Found 1 device at address =  3 "}}},
        {"ControllerAddressRange", "", [](SimWindow& s) { s.w().txtCtlrAddr.setText(u"31"); },
         pressSetCtlr,
         Changes{{"txtCtlrAddr.text", "31"},
                 {"txtResults.text", "Improper value for the Controller Address, please reenter"}},
         1},
        {"ControllerAddressIbpad", "  faults:\n    - {call: ibpad, iberr: ECIC}\n",
         [](SimWindow& s) { s.w().txtCtlrAddr.setText(u"5"); }, pressSetCtlr,
         Changes{{"txtCtlrAddr.text", "5"}, {"Ctlraddr", "5"}, {"txtResults.text", ""}} +
             ErrorBox("ibpad error,  ibsta = &H8130 <  ERR CMPL CIC ATN  >, iberr =  1 ECIC <Not "
                      "CIC>, ibcnt =  1")},
    };
}

std::vector<FaultRow> DeviceAddressRows() {
    return {
        {"DeviceSameAsController",
         "",
         [](SimWindow& s) { s.w().txtAddr.setText(u"0"); },
         pressSet,
         {{"txtAddr.text", "0"},
          {"txtResults.text", "New Device address same as Controller's address,  please reenter"}},
         1},
        {"DeviceOutOfRange",
         "",
         [](SimWindow& s) { s.w().txtAddr.setText(u"31"); },
         pressSet,
         {{"txtAddr.text", "31"},
          {"FoundFlg", "0"},
          {"txtResults.text",
           "Device Address outside of 0 to 30 or 100 to 3030 range, please reenter"}},
         1},
        // The old descriptor went offline and is forgotten, so the next Set
        // does not fail on it again.
        {"DeviceLength", "", [](SimWindow& s) { s.w().txtAddr.setText(u"1503 "); }, pressSet,
         Changes{{"txtAddr.text", "1503 "}, {"FoundFlg", "0"}, {"ud", "0"}} +
             ErrorBox("Length of address is out of range, reenter")},
        {"DeviceIbonl", "  faults:\n    - {call: ibonl, iberr: EADR}\n",
         [](SimWindow& s) { s.w().txtAddr.setText(u"9"); }, pressSet,
         Changes{{"txtAddr.text", "9"}, {"FoundFlg", "0"}} + ErrorBox("ibonl iberr = 3")},
        {"DeviceIbdev", "", [](SimWindow& s) { s.w().txtAddr.setText(u"131"); }, pressSet,
         Changes{{"txtAddr.text", "131"},
                 {"FoundFlg", "0"},
                 {"ud", "-1"},
                 {"DevAddr", "32513"},
                 {"Device", "131"}} +
             ErrorBox("ibdev Error,  ibsta = &H8130 <  ERR CMPL CIC ATN  >, iberr =  4 EARG "
                      "<Invalid argument>, ibcnt =  1")},
        {"DeviceIbln", "  faults:\n    - {call: ibln, iberr: ESTB}\n",
         [](SimWindow& s) { s.w().txtAddr.setText(u"9"); }, pressSet,
         Changes{{"txtAddr.text", "9"}, {"FoundFlg", "0"}, {"ud", "?"}} +
             ErrorBox("ibln Error,  ibsta = &H8130 <  ERR CMPL CIC ATN  >, iberr =  15 ESTB "
                      "<Status byte lost>, ibcnt =  1")},
        {"DeviceNotPresent",
         "",
         [](SimWindow& s) { s.w().txtAddr.setText(u"5"); },
         pressSet,
         {{"txtAddr.text", "5"},
          {"FoundFlg", "0"},
          {"ud", "?"},
          {"DevAddr", "5"},
          {"Device", "5"},
          {"txtResults.text", "Device not present at address  5.  Check device address and retry"}},
         1},
    };
}

std::vector<FaultRow> TimeoutRenRows() {
    return {
        // The timeout action reports nothing of its own failures.
        {"TimeoutBoardFails",
         "  faults:\n    - {call: ibtmo, after: 1, iberr: EARG}\n",
         nullptr,
         [](SimWindow& s) { s.w().optTMO(0).setValue(true); },
         {{"optTMO(0).value", "1"}, {"optTMO(3).value", "0"}, {"vtmo", "7"}}},
        {"TimeoutDeviceOptionFails",
         "  faults:\n    - {call: ibconfig, iberr: EARG}\n",
         nullptr,
         [](SimWindow& s) { s.w().optTMO(5).setValue(true); },
         {{"optTMO(5).value", "1"},
          {"optTMO(3).value", "0"},
          {"vtmo", "0"},
          {"board0.timeout", "0"}}},
        // The REN text is written before the status is tested.
        {"RenIbsre", "  faults:\n    - {call: ibsre, after: 1, iberr: ECIC}\n", nullptr,
         [](SimWindow& s) { s.w().ckRen.setValue(0); },
         Changes{{"ckRen.value", "0"}, {"txtResults.text", "REN deasserted"}} +
             ErrorBox("ibsre Error,  ibsta = &H8130 <  ERR CMPL CIC ATN  >, iberr =  1 ECIC <Not "
                      "CIC>, ibcnt =  1")},
    };
}
