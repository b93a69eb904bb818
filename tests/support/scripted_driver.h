#pragma once
// Control side of the scripted test driver, libgpib-scripted.so.
//
// The library exports the driver's C entry points (gpib_abi.h), so the real
// loader loads it (DriverLibrary::Open or GPIB_LIBRARY). A test links it too,
// to script what each entry point answers and to read back every call made.
// Both handles name the same loaded library, so they share one state.

#include <string>
#include <vector>

namespace scripted {

// One call as the driver saw it.
struct Call {
    std::string name;        // entry point name as exported ("ibfindA", "Send", ...)
    std::vector<long> args;  // integer arguments in order, pointers left out
    std::string data;        // bytes handed over: Send's buffer, ibfind's name
    std::vector<int> words;  // address lists read up to and including 0xFFFF
};

// What the next call of an entry point does. Unscripted calls succeed with
// the defaults below.
struct Outcome {
    long result = 0;     // function result; unscripted ibdev answers 16, ibfind 0
    int ibsta = 0x0100;  // CMPL
    int iberr = 0;
    long ibcntl = 0;           // Receive with data: the bytes written instead (at most count)
    int value = 0;             // out value: ibask, ibln listen, status byte, TestSRQ
    std::vector<int> words{};  // FindLstn found list / AllSpoll results, written from cell 0
    std::string data{};        // bytes Receive writes into the caller's buffer
};

// Clears the call log, every scripted outcome and the defaults.
void Reset();

// Queues an outcome for the next call of that entry point; several queue up.
void Push(const std::string& name, const Outcome& outcome);

// Replaces the default outcome used when an entry point's queue is empty.
void SetDefault(const std::string& name, const Outcome& outcome);

// Every call since Reset, in order. Thread status calls (ThreadIbsta ...) are
// not logged; they answer the status of the last logged call.
const std::vector<Call>& Calls();

// The calls as one line each, "name(arg, arg, ...)" with data in quotes,
// e.g. Send(0, 9, "*IDN?\n", 6, 2). Handy for EXPECT_EQ on a whole sequence.
std::vector<std::string> CallLines();

// Path of the built library, for DriverLibrary::Open.
std::string LibraryPath();

}  // namespace scripted
