#pragma once
// The numbers of the VXI-11 protocol besides its programs and procedures
// (which vxi11_rpc.x defines): error codes, operation flags, read reasons,
// device_docmd commands and what bus status reports. Both ends of the
// protocol in this program, the gateway kind of board and tm-gateway, use
// these and no others.

namespace vxi11 {

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

// Device_Flags.
enum Flag {
    kFlagWaitLock = 1,     // wait up to lock_timeout for a lock held by another link
    kFlagEnd = 8,          // EOI with the last byte of a write
    kFlagTermChar = 0x80,  // a read stops at termChar
};

// Device_ReadResp.reason: why a read ended (the ReadEnd bits of a board).
enum Reason {
    kReasonRequestCount = 1,
    kReasonChar = 2,
    kReasonEnd = 4,
};

// device_docmd commands of a LAN/GPIB gateway's interface link.
enum Docmd {
    kDocmdSendCommand = 0x020000,  // command bytes with ATN, echoed back
    kDocmdBusStatus = 0x020001,    // one of BusStatus, answered as a two-byte value
    kDocmdAtn = 0x020002,
    kDocmdRemoteEnable = 0x020003,
    kDocmdPassControl = 0x020004,
    kDocmdBusAddress = 0x02000A,
    kDocmdInterfaceClear = 0x020010,
};

enum BusStatus {
    kStatusRen = 1,
    kStatusSrq = 2,
    kStatusNdac = 3,
    kStatusSystemController = 4,
    kStatusControllerInCharge = 5,
    kStatusTalker = 6,
    kStatusListener = 7,
    kStatusBusAddress = 8,
};

// Command bytes in one device_docmd: what gateways take.
constexpr unsigned kMaxCommandBytes = 128;
// The longest handle device_enable_srq carries.
constexpr unsigned kMaxSrqHandle = 40;

}  // namespace vxi11
