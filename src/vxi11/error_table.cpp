#include "vxi11/error_table.h"

#include "abi/gpib_abi.h"
#include "driver/board.h"

namespace vxi11 {

namespace {

// A gateway error means what the same situation means on a board in the
// computer. Invalid links and lost channels happen when a gateway restarts
// or drops idle links: the driver makes the link again once before it
// reports the board as gone. Served the other way, each iberr has one row
// marked: the code a client reads back as that same iberr.
constexpr ErrorRow kTable[] = {
    {kSyntaxError, "syntax error", GPIB_EARG, false, false},
    {kDeviceNotAccessible, "device not accessible", GPIB_ENOL, false, true},
    {kInvalidLink, "invalid link identifier", GPIB_ENEB, true, false},
    {kParameterError, "parameter error", GPIB_EARG, false, true},
    {kChannelNotEstablished, "channel not established", GPIB_ENEB, true, false},
    {kNotSupported, "operation not supported", GPIB_ECAP, false, true},
    {kOutOfResources, "out of resources", GPIB_EDVR, false, false},
    {kLockedByAnother, "device locked by another link", GPIB_EDVR, false, false},
    {kNoLockHeld, "no lock held by this link", GPIB_EDVR, false, false},
    {kIoTimeout, "I/O timeout", GPIB_EABO, false, true},
    {kIoError, "I/O error", GPIB_EBUS, false, true},
    {kInvalidAddress, "invalid address", GPIB_ENOL, false, false},
    {kAborted, "abort", GPIB_EABO, false, false},
    {kChannelAlreadyEstablished, "channel already established", GPIB_EDVR, false, false},
    {kNoAnswer, "no answer within the timeout", GPIB_EABO, false, false},
    {kConnectionLost, "connection refused or lost", GPIB_ENEB, false, false},
};

constexpr ErrorRow kUnknown = {0, "unknown error", GPIB_EDVR, false, false};

}  // namespace

std::span<const ErrorRow> errorTable() {
    return kTable;
}

const ErrorRow& errorRow(int code) {
    for (const ErrorRow& row : kTable)
        if (row.code == code)
            return row;
    return kUnknown;
}

int errorForIberr(int iberr) {
    if (iberr == gpibdrv::kDone)
        return kNoError;
    for (const ErrorRow& row : kTable)
        if (row.served && row.iberr == iberr)
            return row.code;
    return kIoError;
}

}  // namespace vxi11
