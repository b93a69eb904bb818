// The IEEE 488.2 routines of libgpib.so.0. Send, SendList and SendDataBytes
// take linux-gpib's end modes (DABend 1, NLend 2), which the core numbers
// the other way round.
#include "linuxgpib/face.h"

#include "gpib/ib.h"

using bundled::list;
using gpibdrv::CallStatus;
using gpibdrv::CallTrace;
using gpibdrv::Driver;
using linuxgpib::coreEndMode;
using linuxgpib::hex;
using linuxgpib::routine;

namespace {

// The common shapes: a board and an address list; a board and an address.
void withList(const char* name, void (Driver::*call)(int, const Addr4882_t*, CallStatus&),
              int board, const Addr4882_t* addresses) {
    routine(
        name, board, [&](Driver& d, CallStatus& st) { (d.*call)(board, addresses, st); },
        [&] { return fmt::format("{}, {}", board, list(addresses)); });
}

void withAddress(const char* name, void (Driver::*call)(int, Addr4882_t, CallStatus&), int board,
                 Addr4882_t address, int onDevice = GPIB_EDVR) {
    routine(
        name, board, [&](Driver& d, CallStatus& st) { (d.*call)(board, address, st); },
        [&] { return fmt::format("{}, {}", board, hex(address)); }, onDevice);
}

}  // namespace

extern "C" {

GPIB_EXPORT void AllSPoll(int board, const Addr4882_t addresses[], short results[]) {
    routine(
        "AllSpoll", board,
        [&](Driver& d, CallStatus& st) { d.AllSpoll(board, addresses, results, st); },
        [&] { return fmt::format("{}, {}", board, list(addresses)); });
}

GPIB_EXPORT void AllSpoll(int board, const Addr4882_t addresses[], short results[]) {
    AllSPoll(board, addresses, results);
}

GPIB_EXPORT void DevClear(int board, Addr4882_t address) {
    withAddress("DevClear", &Driver::DevClear, board, address);
}

GPIB_EXPORT void DevClearList(int board, const Addr4882_t addresses[]) {
    withList("DevClearList", &Driver::DevClearList, board, addresses);
}

GPIB_EXPORT void EnableLocal(int board, const Addr4882_t addresses[]) {
    withList("EnableLocal", &Driver::EnableLocal, board, addresses);
}

GPIB_EXPORT void EnableRemote(int board, const Addr4882_t addresses[]) {
    withList("EnableRemote", &Driver::EnableRemote, board, addresses);
}

GPIB_EXPORT void FindLstn(int board, const Addr4882_t pads[], Addr4882_t results[], int limit) {
    routine(
        "FindLstn", board,
        [&](Driver& d, CallStatus& st) { d.FindLstn(board, pads, results, limit, st); },
        [&] { return fmt::format("{}, {}, {}", board, list(pads), limit); });
}

GPIB_EXPORT void FindRQS(int board, const Addr4882_t addresses[], short* status) {
    routine(
        "FindRQS", board,
        [&](Driver& d, CallStatus& st) { d.FindRQS(board, addresses, status, st); },
        [&] { return fmt::format("{}, {}, -> {}", board, list(addresses), status ? *status : 0); });
}

GPIB_EXPORT void PassControl(int board, Addr4882_t address) {
    withAddress("PassControl", &Driver::PassControl, board, address, GPIB_EARG);
}

GPIB_EXPORT void PPoll(int board, short* result) {
    routine(
        "PPoll", board, [&](Driver& d, CallStatus& st) { d.PPoll(board, result, st); },
        [&] { return fmt::format("{}, -> {}", board, result ? *result : 0); });
}

GPIB_EXPORT void PPollConfig(int board, Addr4882_t address, int dio_line, int line_sense) {
    routine(
        "PPollConfig", board,
        [&](Driver& d, CallStatus& st) { d.PPollConfig(board, address, dio_line, line_sense, st); },
        [&] { return fmt::format("{}, {}, {}, {}", board, hex(address), dio_line, line_sense); });
}

GPIB_EXPORT void PPollUnconfig(int board, const Addr4882_t addresses[]) {
    withList("PPollUnconfig", &Driver::PPollUnconfig, board, addresses);
}

GPIB_EXPORT void RcvRespMsg(int board, void* buffer, long count, int termination) {
    routine(
        "RcvRespMsg", board,
        [&](Driver& d, CallStatus& st) { d.RcvRespMsg(board, buffer, count, termination, st); },
        [&] { return fmt::format("{}, {}, {}", board, count, hex(unsigned(termination))); },
        GPIB_EARG);
}

GPIB_EXPORT void ReadStatusByte(int board, Addr4882_t address, short* result) {
    routine(
        "ReadStatusByte", board,
        [&](Driver& d, CallStatus& st) { d.ReadStatusByte(board, address, result, st); },
        [&] { return fmt::format("{}, {}, -> {}", board, hex(address), result ? *result : 0); });
}

GPIB_EXPORT void Receive(int board, Addr4882_t address, void* buffer, long count, int termination) {
    routine(
        "Receive", board,
        [&](Driver& d, CallStatus& st) {
            d.Receive(board, address, buffer, count, termination, st);
        },
        [&] {
            long got = std::min(bundled::threadStatus().ibcntl, count);
            return fmt::format("{}, {}, {}, {}, {}", board, hex(address),
                               CallTrace::quoted(buffer, got < 0 ? 0 : got), count,
                               hex(unsigned(termination)));
        },
        GPIB_EARG);
}

GPIB_EXPORT void ReceiveSetup(int board, Addr4882_t address) {
    withAddress("ReceiveSetup", &Driver::ReceiveSetup, board, address, GPIB_EARG);
}

GPIB_EXPORT void ResetSys(int board, const Addr4882_t addresses[]) {
    withList("ResetSys", &Driver::ResetSys, board, addresses);
}

GPIB_EXPORT void Send(int board, Addr4882_t address, const void* data, long count, int eot_mode) {
    routine(
        "Send", board,
        [&](Driver& d, CallStatus& st) {
            d.Send(board, address, data, count, coreEndMode(eot_mode), st);
        },
        [&] {
            return fmt::format("{}, {}, {}, {}, {}", board, hex(address),
                               CallTrace::quoted(data, count), count, eot_mode);
        },
        GPIB_EARG);
}

GPIB_EXPORT void SendCmds(int board, const void* commands, long count) {
    routine(
        "SendCmds", board,
        [&](Driver& d, CallStatus& st) { d.SendCmds(board, commands, count, st); },
        [&] { return fmt::format("{}, {}, {}", board, CallTrace::quoted(commands, count), count); },
        GPIB_EARG);
}

GPIB_EXPORT void SendDataBytes(int board, const void* data, long count, int eot_mode) {
    routine(
        "SendDataBytes", board,
        [&](Driver& d, CallStatus& st) {
            d.SendDataBytes(board, data, count, coreEndMode(eot_mode), st);
        },
        [&] {
            return fmt::format("{}, {}, {}, {}", board, CallTrace::quoted(data, count), count,
                               eot_mode);
        },
        GPIB_EARG);
}

GPIB_EXPORT void SendIFC(int board) {
    routine(
        "SendIFC", board, [&](Driver& d, CallStatus& st) { d.SendIFC(board, st); },
        [&] { return std::to_string(board); }, GPIB_EARG);
}

GPIB_EXPORT void SendLLO(int board) {
    routine(
        "SendLLO", board, [&](Driver& d, CallStatus& st) { d.SendLLO(board, st); },
        [&] { return std::to_string(board); });
}

GPIB_EXPORT void SendList(int board, const Addr4882_t addresses[], const void* data, long count,
                          int eot_mode) {
    routine(
        "SendList", board,
        [&](Driver& d, CallStatus& st) {
            d.SendList(board, addresses, data, count, coreEndMode(eot_mode), st);
        },
        [&] {
            return fmt::format("{}, {}, {}, {}, {}", board, list(addresses),
                               CallTrace::quoted(data, count), count, eot_mode);
        },
        GPIB_EARG);
}

GPIB_EXPORT void SendSetup(int board, const Addr4882_t addresses[]) {
    withList("SendSetup", &Driver::SendSetup, board, addresses);
}

GPIB_EXPORT void SetRWLS(int board, const Addr4882_t addresses[]) {
    withList("SetRWLS", &Driver::SetRWLS, board, addresses);
}

GPIB_EXPORT void TestSRQ(int board, short* result) {
    routine(
        "TestSRQ", board, [&](Driver& d, CallStatus& st) { d.TestSRQ(board, result, st); },
        [&] { return fmt::format("{}, -> {}", board, result ? *result : 0); }, GPIB_EARG);
}

GPIB_EXPORT void TestSys(int board, const Addr4882_t addresses[], short results[]) {
    routine(
        "TestSys", board,
        [&](Driver& d, CallStatus& st) { d.TestSys(board, addresses, results, st); },
        [&] { return fmt::format("{}, {}", board, list(addresses)); });
}

GPIB_EXPORT void Trigger(int board, Addr4882_t address) {
    withAddress("Trigger", &Driver::Trigger, board, address);
}

GPIB_EXPORT void TriggerList(int board, const Addr4882_t addresses[]) {
    withList("TriggerList", &Driver::TriggerList, board, addresses);
}

GPIB_EXPORT void WaitSRQ(int board, short* result) {
    routine(
        "WaitSRQ", board, [&](Driver& d, CallStatus& st) { d.WaitSRQ(board, result, st); },
        [&] { return fmt::format("{}, -> {}", board, result ? *result : 0); });
}

}  // extern "C"
