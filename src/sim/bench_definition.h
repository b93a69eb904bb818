#pragma once
// What a bench file describes, after loading and checking: the instrument
// definitions (the device-definition format), the boards, where each
// instrument sits on the bus, and our GPIB extensions (status model, trigger
// and clear actions, timing, injected faults). Plain data; the bus is built
// from it.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "driver/fault_injector.h"
#include "sim/value.h"

namespace sim {

using gpibdrv::FaultDef;

// A response that may be absent: a dialogue or setter without "r" answers
// nothing at all (not even the termination).
using Response = std::optional<std::string>;

struct PropertyDef {
    std::string name;
    Value defaultValue;
    std::optional<std::string> getterQuery;
    std::string getterResponse;              // a format pattern
    std::optional<std::string> setterQuery;  // a format pattern
    Response setterResponse;
    Response setterError;  // absent: the device's command error
    PropertySpecs specs;
};

struct Dialogue {
    std::string query;
    Response response;
};

struct StatusRegisterDef {
    std::string query;
    std::vector<std::pair<std::string, int>> bits;  // error name -> bit value
};

struct ErrorQueueDef {
    std::string query;
    std::string defaultText;
    std::vector<std::pair<std::string, std::string>> entries;  // error name -> text
};

struct DeviceDef {
    std::string name;
    std::string queryTermination = "\n";
    std::string responseTermination = "\n";
    Response commandError;
    Response queryError;
    std::vector<StatusRegisterDef> registers;
    std::vector<ErrorQueueDef> queues;
    std::string delimiter;  // empty: one query per message
    std::vector<Dialogue> dialogues;
    std::vector<PropertyDef> properties;
};

struct GpibAddress {
    int board = 0;
    int pad = 0;
    int sad = -1;  // secondary address 0-30, -1 for none
    bool operator==(const GpibAddress&) const = default;
};

// What a Group Execute Trigger does to an instrument.
struct TriggerAction {
    Response response;  // queued as if a query had been answered
    bool requestService = false;
    uint8_t statusBits = 0;  // status byte bits set (cleared by *CLS and a poll)
    uint8_t esrBits = 0;     // standard event bits set (0x01 for OPC)
};

// What a Selected Device Clear (or DCL) does.
struct ClearAction {
    bool clearInput = true;
    bool clearOutput = true;
    bool reset = false;  // also properties back to their defaults
};

struct InstrumentDef {
    std::string resource;
    int line = 0;
    GpibAddress address;
    size_t device = 0;      // index into BenchDefinition::devices
    bool ieee4882 = true;   // answers the common commands, keeps ESR/ESE/SRE
    bool matchCase = true;  // headers must match in case, as the file format does
    uint8_t sre = 0;
    uint8_t ese = 0;
    uint8_t esr = 0;
    TriggerAction trigger;
    ClearAction clear;
    long responseDelayUs = 0;
    bool present = true;     // handshakes as a listener
    long answersLimit = -1;  // stops answering after this many responses
    bool answersSerialPoll = true;
    bool acceptsData = true;  // false: holds off every data byte (Send times out)
    bool sendsEoi = true;     // false: ends responses without EOI
    bool rqsInPoll = true;    // false: asserts SRQ but never shows RQS in its poll
    // The individual status bit a parallel poll reports; without a setting
    // it follows the instrument's service request.
    std::optional<bool> ist;
};

struct BoardDef {
    int index = 0;
    std::string name;  // "GPIB0" unless named
    int pad = 0;
    int sad = 0;
    bool systemController = true;
    bool present = true;
    bool cicAtStart = false;
    int timeoutCode = 13;  // T10s, the usual driver default
    int line = 0;
};

struct TimingDef {
    bool instant = false;
    double byteUs = 1.0;            // bus time per data byte
    double commandUs = 10.0;        // addressing a device (a few command bytes)
    double probeUs = 1000.0;        // one listener check (FindLstn, ibln)
    long noTimeoutLimitMs = 30000;  // how long "no timeout" waits before giving up
};

struct BenchDefinition {
    std::string source;  // "built-in bench" or the file path
    std::vector<DeviceDef> devices;
    std::vector<BoardDef> boards;
    std::vector<InstrumentDef> instruments;
    std::vector<FaultDef> faults;
    TimingDef timing;
    std::vector<std::string> notes;  // what was skipped, one sentence each
};

}  // namespace sim
