// The IEEE 488.2 routines: they take a board index and bus address words and
// address the devices themselves, through the board's bus operations.
#include <cstring>

#include "driver/driver.h"

namespace gpibdrv {

namespace {
constexpr size_t kMaxList = 1024;  // an address list without its end-of-list word stops here
}  // namespace

void Driver::Send(int board, Addr4882_t addr, const void* buffer, long count, int eotmode,
                  CallStatus& st) {
    onBoard(CallId::Send, board, addr, st, [&](BoardState& bs) {
        BoardState* b = &bs;
        BusAddress to;
        int err = eotmode < 0 || eotmode > 2 || badBuffer(buffer, count)
                      ? GPIB_EARG
                      : addressable(*b, addr, to);
        long sent = 0;
        if (err == kDone) {
            EndMode end = eotmode == GPIB_DABend  ? EndMode::EoiOnLast
                          : eotmode == GPIB_NLend ? EndMode::AppendLf
                                                  : EndMode::None;
            err = b->board->send(to, static_cast<const char*>(buffer), count, end, Timeout{b->tmo},
                                 sent);
        }
        finish(*b, err, st);
        st.setCount(sent);
    });
}

void Driver::Receive(int board, Addr4882_t addr, void* buffer, long count, int termination,
                     CallStatus& st) {
    onBoard(CallId::Receive, board, addr, st, [&](BoardState& bs) {
        BoardState* b = &bs;
        BusAddress from;
        bool badTerm = termination < 0 || (termination > 255 && termination != GPIB_STOPend);
        int err = badTerm || badBuffer(buffer, count) ? GPIB_EARG : addressable(*b, addr, from);
        long got = 0;
        int ended = 0;
        if (err == kDone)
            err = b->board->receive(from, static_cast<char*>(buffer), count,
                                    termination == GPIB_STOPend ? -1 : termination, Timeout{b->tmo},
                                    got, ended);
        finish(*b, err, st);
        // The termination byte ends the message as EOI does; a full buffer does not.
        if (err == kDone && (ended & (kEndChar | kEndEoi)))
            st.ibsta |= GPIB_END;
        st.setCount(got);
    });
}

bool Driver::pollOne(BoardState& b, Addr4882_t addr, uint8_t& value, CallStatus& st) {
    BusAddress device;
    int err = addressable(b, addr, device);
    if (err == kDone)
        err = b.board->serialPoll(device, Timeout{b.tmo}, value);
    if (err != kDone) {
        finish(b, err, st);
        return false;
    }
    return true;
}

void Driver::ReadStatusByte(int board, Addr4882_t addr, short* status, CallStatus& st) {
    onBoard(CallId::ReadStatusByte, board, addr, st, [&](BoardState& bs) {
        BoardState* b = &bs;
        uint8_t v = 0;
        if (!status)
            fail(b, GPIB_EARG, st);
        else if (pollOne(*b, addr, v, st))
            *status = short(v), ok(*b, st);
    });
}

void Driver::AllSpoll(int board, const Addr4882_t* list, short* results, CallStatus& st) {
    onBoard(CallId::AllSpoll, board, GPIB_NOADDR, st, [&](BoardState& bs) {
        BoardState* b = &bs;
        if (!list || !results) {
            fail(b, GPIB_EARG, st);
        } else {
            size_t i = 0;
            bool good = true;
            for (; good && i < kMaxList && list[i] != GPIB_NOADDR; ++i) {
                uint8_t v = 0;
                good = pollOne(*b, list[i], v, st);
                if (good)
                    results[i] = short(v);
            }
            if (good && i == kMaxList)
                fail(b, GPIB_EARG, st), good = false;
            if (good)
                ok(*b, st);
            st.setCount(long(good ? i : i - 1));  // on failure: the index of the device that failed
        }
    });
}

void Driver::FindRQS(int board, const Addr4882_t* list, short* status, CallStatus& st) {
    onBoard(CallId::FindRQS, board, GPIB_NOADDR, st, [&](BoardState& bs) {
        BoardState* b = &bs;
        if (!list || !status) {
            fail(b, GPIB_EARG, st);
        } else {
            size_t i = 0;
            for (; i < kMaxList && list[i] != GPIB_NOADDR; ++i) {
                uint8_t v = 0;
                if (!pollOne(*b, list[i], v, st))
                    break;
                if (v & 0x40) {
                    *status = short(v);
                    ok(*b, st);
                    break;
                }
            }
            if (i == kMaxList)
                fail(b, GPIB_EARG, st);
            else if (list[i] == GPIB_NOADDR)
                fail(b, GPIB_ETAB, st);  // nobody asked for service
            st.setCount(long(i));
        }
    });
}

void Driver::FindLstn(int board, const Addr4882_t* pads, Addr4882_t* results, int limit,
                      CallStatus& st) {
    onBoard(CallId::FindLstn, board, GPIB_NOADDR, st, [&](BoardState& bs) {
        BoardState* b = &bs;
        if (!pads || !results || limit <= 0)
            fail(b, GPIB_EARG, st);
        else if (!cic(*b))
            fail(b, GPIB_ECIC, st);
        else
            doFindLstn(*b, pads, results, limit, st);
    });
}

void Driver::doFindLstn(BoardState& b, const Addr4882_t* pads, Addr4882_t* results, int limit,
                        CallStatus& st) {
    // The valid primaries up to the first that is not one: the board probes
    // those; an address beyond 30 then fails the call with what was found.
    std::vector<int> valid;
    size_t i = 0;
    for (; i < kMaxList && pads[i] != GPIB_NOADDR && pads[i] <= 30; ++i) valid.push_back(pads[i]);
    bool badPad = i < kMaxList && pads[i] != GPIB_NOADDR;
    std::vector<BusAddress> found;
    int err = b.board->findListeners(valid, size_t(limit), found);
    long stored = 0;
    for (const BusAddress& a : found) {
        if (stored == limit)
            break;
        results[stored++] = Addr4882_t(a.pad | (a.sad < 0 ? 0 : (0x60 + a.sad) << 8));
    }
    if (err != kDone)
        finish(b, err, st);
    else if (found.size() > size_t(limit))
        fail(&b, GPIB_ETAB, st);  // more listeners than the result list holds
    else if (badPad)
        fail(&b, GPIB_EARG, st);
    else
        ok(b, st);
    st.setCount(stored);
}

void Driver::TestSRQ(int board, short* result, CallStatus& st) {
    onBoard(CallId::TestSRQ, board, GPIB_NOADDR, st, [&](BoardState& bs) {
        BoardState* b = &bs;
        bool on = false;
        int err = result ? b->board->srqLine(on) : GPIB_EARG;
        finish(*b, err, st);
        if (err == kDone)
            *result = on ? 1 : 0;
    });
}

void Driver::SendIFC(int board, CallStatus& st) {
    onBoard(CallId::SendIFC, board, GPIB_NOADDR, st, [&](BoardState& bs) {
        BoardState* b = &bs;
        finish(*b, b->sc ? b->board->interfaceClear() : GPIB_ESAC, st);
    });
}

void Driver::busMessage(CallId id, int board, Addr4882_t addr,
                        int (Board::*send)(const BusAddress*), CallStatus& st) {
    onBoard(id, board, addr, st, [&](BoardState& bs) {
        BoardState* b = &bs;
        BusAddress device;
        int err = kDone;
        if (addr == GPIB_NOADDR)
            err = cic(*b) ? (b->board.get()->*send)(nullptr) : GPIB_ECIC;
        else if ((err = addressable(*b, addr, device)) == kDone)
            err = (b->board.get()->*send)(&device);
        finish(*b, err, st);
    });
}

void Driver::Trigger(int board, Addr4882_t addr, CallStatus& st) {
    // Without an address: GET to whoever is addressed to listen already.
    busMessage(CallId::Trigger, board, addr, &Board::trigger, st);
}

void Driver::DevClear(int board, Addr4882_t addr, CallStatus& st) {
    // Without an address: Device Clear (DCL) reaches every device on the bus.
    busMessage(CallId::DevClear, board, addr, &Board::clear, st);
}

}  // namespace gpibdrv
