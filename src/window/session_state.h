#pragma once
// The window's own variables, shared by every action. They are created with
// the window (numbers 0, texts empty, flags 0) and get their working values
// from start-up. The driver module holds the program-wide ones (BoardIndex,
// DevAddr, StatusReport and the status variables).

#include <array>
#include <cstdint>

#include "text/text.h"

inline constexpr int kFoundListCells = 65;
inline constexpr int16_t kEndOfList = -1;

struct SessionState {
    SessionState() {
        FoundList.fill(0);
        FoundList[0] = kEndOfList;
    }

    int16_t bud = 0;       // board descriptor of the open controller board
    int16_t Ctlraddr = 0;  // the board's own primary address
    int16_t ud = 0;        // device descriptor from the last ibdev; 0 = none yet
    int16_t eos = 0;       // end-of-string value for every ibdev
    int16_t vtmo = 0;      // current timeout code
    double Device = 0;     // device address as last set or found, for messages
    int FoundFlg = 0;      // 1 = a device is selected and answered
    int16_t founddev = 0;  // display address of the first listener found
    int FoundNum = 0;      // listeners found by the last search that found any
    // Bus address words of the listeners found, ended by -1. It starts as an
    // empty list rather than all zeros, so a poll never walks a list that no
    // search has terminated.
    std::array<int16_t, kFoundListCells> FoundList{};
    // Bus address word of the device founddev names (what a search stored for
    // it), so whoever selects the found device addresses it correctly also
    // when it has a secondary address.
    int16_t foundAddrWord = 0;
    Text NL;       // carriage return, line feed
    Text RecvBuf;  // 100 blanks, the template of every receive buffer
    int IDNTestFlg = 0;
    int CMDloopFlg = 0;
    int TestHalt = 0;
    int32_t LpCount = 0;

    // Context help (F1): the program's help-file setting and the window's help
    // context number.
    Text HelpFile;
    int32_t HelpContextID = 0;
};
