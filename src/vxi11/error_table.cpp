#include "vxi11/error_table.h"

#include "abi/gpib_abi.h"

namespace vxi11 {

namespace {

// A gateway error means what the same situation means on a board in the
// computer. Invalid links and lost channels happen when a gateway restarts
// or drops idle links: the driver makes the link again once before it
// reports the board as gone.
constexpr ErrorRow kTable[] = {
    {kSyntaxError, "syntax error", GPIB_EARG, false},
    {kDeviceNotAccessible, "device not accessible", GPIB_ENOL, false},
    {kInvalidLink, "invalid link identifier", GPIB_ENEB, true},
    {kParameterError, "parameter error", GPIB_EARG, false},
    {kChannelNotEstablished, "channel not established", GPIB_ENEB, true},
    {kNotSupported, "operation not supported", GPIB_ECAP, false},
    {kOutOfResources, "out of resources", GPIB_EDVR, false},
    {kLockedByAnother, "device locked by another link", GPIB_EDVR, false},
    {kNoLockHeld, "no lock held by this link", GPIB_EDVR, false},
    {kIoTimeout, "I/O timeout", GPIB_EABO, false},
    {kIoError, "I/O error", GPIB_EBUS, false},
    {kInvalidAddress, "invalid address", GPIB_ENOL, false},
    {kAborted, "abort", GPIB_EABO, false},
    {kChannelAlreadyEstablished, "channel already established", GPIB_EDVR, false},
    {kNoAnswer, "no answer within the timeout", GPIB_EABO, false},
    {kConnectionLost, "connection refused or lost", GPIB_ENEB, false},
};

constexpr ErrorRow kUnknown = {0, "unknown error", GPIB_EDVR, false};

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

}  // namespace vxi11
