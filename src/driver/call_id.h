#pragma once
// The driver entry points that do bus work, by name: what a fault in the
// bench file names and what the trace prints.

#include <optional>
#include <string_view>

namespace gpibdrv {

enum class CallId {
    ibask,
    ibconfig,
    ibdev,
    ibfind,
    ibln,
    ibonl,
    ibpad,
    ibsre,
    ibtmo,
    AllSpoll,
    DevClear,
    FindLstn,
    FindRQS,
    ReadStatusByte,
    Receive,
    Send,
    SendIFC,
    TestSRQ,
    Trigger,
};
constexpr int kCallIdCount = 19;

std::string_view callName(CallId id);
// Accepts the alternative export names too (ibfindA, AllSPoll).
std::optional<CallId> callByName(std::string_view name);

// iberr and ibsta mnemonics, as the bench file may write them.
std::optional<int> errorCodeByName(std::string_view name);
std::optional<int> statusBitByName(std::string_view name);

}  // namespace gpibdrv
