#pragma once
// What each answer of a VXI-11 gateway means to a program that called a
// board: the one table every gateway call maps through (the help's driver
// page shows the same table).

#include <span>

namespace vxi11 {

// The gateway's error codes this driver gives a meaning of its own.
enum GatewayError {
    kNoError = 0,
    kSyntaxError = 1,
    kDeviceNotAccessible = 3,
    kInvalidLink = 4,
    kParameterError = 5,
    kChannelNotEstablished = 6,
    kNotSupported = 8,
    kOutOfResources = 9,
    kLockedByAnother = 11,
    kNoLockHeld = 12,
    kIoTimeout = 15,
    kIoError = 17,
    kInvalidAddress = 21,
    kAborted = 23,
    kChannelAlreadyEstablished = 29,
};

// A row of the table. code is the gateway's error; the two rows with a
// negative code are what the connection itself can do.
struct ErrorRow {
    int code;
    const char* meaning;  // the gateway's word for it
    int iberr;            // what the call reports, as a board would
    bool relink;          // the link is made again once before the call gives up
};

constexpr int kNoAnswer = -1;        // no reply within the timeout and the margin
constexpr int kConnectionLost = -2;  // refused, closed or reset by the gateway

std::span<const ErrorRow> errorTable();
// The row of a code; codes the table does not list answer EDVR.
const ErrorRow& errorRow(int code);

}  // namespace vxi11
