// The IEEE 488.2 routines that take address lists or address the bus in two
// steps (setup, then the transfer), the lockout and parallel poll routines,
// and the system routines (ResetSys, TestSys). A kind that cannot put
// command bytes on the bus addresses with its next transfer; the driver
// remembers whom (see addressListeners).
#include <cstdlib>
#include <string>

#include "driver/driver.h"

namespace gpibdrv {

namespace {
constexpr size_t kMaxList = 1024;

EndMode endMode(int eotmode) {
    return eotmode == GPIB_DABend  ? EndMode::EoiOnLast
           : eotmode == GPIB_NLend ? EndMode::AppendLf
                                   : EndMode::None;
}
}  // namespace

int Driver::addressList(BoardState& b, const Addr4882_t* list, std::vector<BusAddress>& out) {
    out.clear();
    if (!list)
        return kDone;
    for (size_t i = 0; i < kMaxList; ++i) {
        if (list[i] == GPIB_NOADDR)
            return cic(b) || out.empty() ? kDone : GPIB_ECIC;
        BusAddress a;
        if (!decodeAddress(list[i], a))
            return GPIB_EARG;
        out.push_back(a);
    }
    return GPIB_EARG;  // no end-of-list word
}

void Driver::DevClearList(int board, const Addr4882_t* list, CallStatus& st) {
    onBoard(CallId::DevClearList, board, GPIB_NOADDR, st, [&](BoardState& b) {
        std::vector<BusAddress> to;
        int err = addressList(b, list, to);
        if (err == kDone && to.empty())
            err = cic(b) ? b.board->clear(nullptr) : GPIB_ECIC;
        for (size_t i = 0; err == kDone && i < to.size(); ++i) err = b.board->clear(&to[i]);
        finish(b, err, st);
    });
}

void Driver::TriggerList(int board, const Addr4882_t* list, CallStatus& st) {
    onBoard(CallId::TriggerList, board, GPIB_NOADDR, st, [&](BoardState& b) {
        std::vector<BusAddress> to;
        int err = addressList(b, list, to);
        if (err == kDone && to.empty())
            err = cic(b) ? b.board->trigger(nullptr) : GPIB_ECIC;
        for (size_t i = 0; err == kDone && i < to.size(); ++i) err = b.board->trigger(&to[i]);
        finish(b, err, st);
    });
}

void Driver::EnableLocal(int board, const Addr4882_t* list, CallStatus& st) {
    onBoard(CallId::EnableLocal, board, GPIB_NOADDR, st, [&](BoardState& b) {
        std::vector<BusAddress> to;
        int err = addressList(b, list, to);
        if (err == kDone && to.empty()) {
            // Without a list: REN goes, and every device with it.
            if (changeRen(b, false, st) < 0)
                return;
        }
        for (size_t i = 0; err == kDone && i < to.size(); ++i) err = b.board->goToLocal(to[i]);
        finish(b, err, st);
    });
}

void Driver::EnableRemote(int board, const Addr4882_t* list, CallStatus& st) {
    onBoard(CallId::EnableRemote, board, GPIB_NOADDR, st, [&](BoardState& b) {
        std::vector<BusAddress> to;
        int err = addressList(b, list, to);
        if (err != kDone) {
            fail(&b, err, st);
            return;
        }
        if (changeRen(b, true, st) < 0)
            return;
        // Addressed to listen with REN up, a device goes to remote.
        finish(b, to.empty() ? kDone : addressListeners(b, to), st);
    });
}

void Driver::SendLLO(int board, CallStatus& st) {
    onBoard(CallId::SendLLO, board, GPIB_NOADDR, st, [&](BoardState& b) {
        if (changeRen(b, true, st) < 0)
            return;
        finish(b, cic(b) ? b.board->localLockout(nullptr) : GPIB_ECIC, st);
    });
}

void Driver::SetRWLS(int board, const Addr4882_t* list, CallStatus& st) {
    onBoard(CallId::SetRWLS, board, GPIB_NOADDR, st, [&](BoardState& b) {
        std::vector<BusAddress> to;
        int err = addressList(b, list, to);
        if (err == kDone && to.empty())
            err = GPIB_EARG;
        if (err != kDone) {
            fail(&b, err, st);
            return;
        }
        if (changeRen(b, true, st) < 0)
            return;
        for (size_t i = 0; err == kDone && i < to.size(); ++i) err = b.board->localLockout(&to[i]);
        finish(b, err, st);
    });
}

void Driver::PassControl(int board, Addr4882_t addr, CallStatus& st) {
    onBoard(CallId::PassControl, board, addr, st, [&](BoardState& b) {
        BusAddress a;
        int err = addressable(b, addr, a);
        if (err == kDone) {
            std::vector<uint8_t> bytes{cmd::UNL, cmd::TAD(a.pad)};
            if (a.sad >= 0)
                bytes.push_back(cmd::SAD(a.sad));
            bytes.push_back(cmd::TCT);
            long sent = 0;
            err = commandBytes(b, bytes, Timeout{b.tmo}, sent);
        }
        finish(b, err, st);
    });
}

void Driver::PPoll(int board, short* result, CallStatus& st) {
    onBoard(CallId::PPoll, board, GPIB_NOADDR, st, [&](BoardState& b) {
        uint8_t v = 0;
        int err = !result  ? GPIB_EARG
                  : cic(b) ? b.board->parallelPoll(Timeout{b.ppollTmo}, v)
                           : GPIB_ECIC;
        if (err == kDone)
            *result = short(v);
        finish(b, err, st);
    });
}

void Driver::PPollConfig(int board, Addr4882_t addr, int line, int sense, CallStatus& st) {
    onBoard(CallId::PPollConfig, board, addr, st, [&](BoardState& b) {
        BusAddress a;
        int err = line < 1 || line > 8 ? GPIB_EARG : addressable(b, addr, a);
        if (err == kDone) {
            std::vector<uint8_t> bytes{cmd::UNL, cmd::LAD(a.pad)};
            if (a.sad >= 0)
                bytes.push_back(cmd::SAD(a.sad));
            bytes.push_back(cmd::PPC);
            bytes.push_back(uint8_t(0x60 | (sense ? 8 : 0) | (line - 1)));
            long sent = 0;
            err = commandBytes(b, bytes, Timeout{b.tmo}, sent);
        }
        finish(b, err, st);
    });
}

void Driver::PPollUnconfig(int board, const Addr4882_t* list, CallStatus& st) {
    onBoard(CallId::PPollUnconfig, board, GPIB_NOADDR, st, [&](BoardState& b) {
        std::vector<BusAddress> to;
        int err = addressList(b, list, to);
        if (err == kDone && !cic(b))
            err = GPIB_ECIC;
        if (err == kDone) {
            // Without a list: PPU, to every device.
            std::vector<uint8_t> bytes{to.empty() ? cmd::PPU : cmd::UNL};
            for (const BusAddress& a : to) {
                bytes.push_back(cmd::LAD(a.pad));
                if (a.sad >= 0)
                    bytes.push_back(cmd::SAD(a.sad));
            }
            if (!to.empty())
                bytes.push_back(cmd::PPC), bytes.push_back(cmd::PPD);
            long sent = 0;
            err = commandBytes(b, bytes, Timeout{b.tmo}, sent);
        }
        finish(b, err, st);
    });
}

void Driver::SendCmds(int board, const void* commands, long count, CallStatus& st) {
    onBoard(CallId::SendCmds, board, GPIB_NOADDR, st, [&](BoardState& b) {
        long sent = 0;
        int err = badBuffer(commands, count) ? GPIB_EARG : cic(b) ? kDone : GPIB_ECIC;
        if (err == kDone)
            err = commandBytes(
                b, std::span<const uint8_t>(static_cast<const uint8_t*>(commands), size_t(count)),
                Timeout{b.tmo}, sent);
        finish(b, err, st);
        st.setCount(sent);
    });
}

void Driver::SendSetup(int board, const Addr4882_t* list, CallStatus& st) {
    onBoard(CallId::SendSetup, board, GPIB_NOADDR, st, [&](BoardState& b) {
        std::vector<BusAddress> to;
        int err = addressList(b, list, to);
        if (err == kDone && to.empty())
            err = GPIB_EARG;
        finish(b, err == kDone ? addressListeners(b, to) : err, st);
    });
}

void Driver::SendDataBytes(int board, const void* buffer, long count, int eotmode, CallStatus& st) {
    onBoard(CallId::SendDataBytes, board, GPIB_NOADDR, st, [&](BoardState& b) {
        int err = eotmode < 0 || eotmode > 2 || badBuffer(buffer, count) ? GPIB_EARG
                  : !cic(b)                                              ? GPIB_ECIC
                  : b.addressing.listeners().empty()                     ? GPIB_ENOL
                                                                         : kDone;
        long sent = 0;
        for (size_t i = 0; err == kDone && i < b.addressing.listeners().size(); ++i)
            err = b.board->send(b.addressing.listeners()[i], static_cast<const char*>(buffer),
                                count, endMode(eotmode), Timeout{b.tmo}, sent);
        finish(b, err, st);
        st.setCount(sent);
    });
}

void Driver::SendList(int board, const Addr4882_t* list, const void* buffer, long count,
                      int eotmode, CallStatus& st) {
    SendSetup(board, list, st);
    if (!(st.ibsta & GPIB_ERR))
        SendDataBytes(board, buffer, count, eotmode, st);
}

void Driver::ReceiveSetup(int board, Addr4882_t addr, CallStatus& st) {
    onBoard(CallId::ReceiveSetup, board, addr, st, [&](BoardState& b) {
        BusAddress a;
        int err = addressable(b, addr, a);
        finish(b, err == kDone ? addressTalker(b, a) : err, st);
    });
}

void Driver::RcvRespMsg(int board, void* buffer, long count, int termination, CallStatus& st) {
    onBoard(CallId::RcvRespMsg, board, GPIB_NOADDR, st, [&](BoardState& b) {
        bool badTerm = termination < 0 || (termination > 255 && termination != GPIB_STOPend);
        int err = badTerm || badBuffer(buffer, count) ? GPIB_EARG
                  : !cic(b)                           ? GPIB_ECIC
                  : !b.addressing.talker()            ? GPIB_EADR
                                                      : kDone;
        long got = 0;
        int ended = 0;
        if (err == kDone)
            err = b.board->receive(*b.addressing.talker(), static_cast<char*>(buffer), count,
                                   termination == GPIB_STOPend ? -1 : termination, Timeout{b.tmo},
                                   got, ended);
        finish(b, err, st);
        if (err == kDone && (ended & (kEndChar | kEndEoi)))
            st.ibsta |= GPIB_END;
        st.setCount(got);
    });
}

void Driver::ResetSys(int board, const Addr4882_t* list, CallStatus& st) {
    onBoard(CallId::ResetSys, board, GPIB_NOADDR, st, [&](BoardState& b) {
        std::vector<BusAddress> to;
        int err = list ? addressList(b, list, to) : GPIB_EARG;
        if (err != kDone) {
            fail(&b, err, st);
            return;
        }
        // REN, IFC, DCL, then *RST to each device of the list.
        if (changeRen(b, true, st) < 0)
            return;
        err = b.board->interfaceClear();
        if (err == kDone)
            b.addressing.reset(), err = b.board->clear(nullptr);
        for (size_t i = 0; err == kDone && i < to.size(); ++i) {
            long sent = 0;
            err = b.board->send(to[i], "*RST", 4, EndMode::AppendLf, Timeout{b.tmo}, sent);
        }
        finish(b, err, st);
    });
}

void Driver::TestSys(int board, const Addr4882_t* list, short* results, CallStatus& st) {
    onBoard(CallId::TestSys, board, GPIB_NOADDR, st, [&](BoardState& b) {
        std::vector<BusAddress> to;
        int err = !list || !results ? GPIB_EARG : addressList(b, list, to);
        long failed = 0;
        for (size_t i = 0; err == kDone && i < to.size(); ++i) {
            long n = 0;
            int ended = 0;
            char answer[32] = {};
            err = b.board->send(to[i], "*TST?", 5, EndMode::AppendLf, Timeout{b.tmo}, n);
            if (err == kDone)
                err = b.board->receive(to[i], answer, sizeof answer - 1, '\n', Timeout{b.tmo}, n,
                                       ended);
            // A self-test answers a number, 0 when it passed.
            char* end = nullptr;
            long value = err == kDone ? std::strtol(answer, &end, 10) : 0;
            if (err == kDone && end == answer)
                err = GPIB_EABO;  // no number: no answer to the query
            results[i] = short(value);
            failed += value != 0;
        }
        finish(b, err, st);
        st.setCount(failed);
    });
}

}  // namespace gpibdrv
