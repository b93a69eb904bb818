// The IEEE 488.2 routines of the bench: they take a board index and bus
// address words, and address the devices themselves.
#include <cstring>

#include "sim/bench.h"

namespace sim {

namespace {
constexpr size_t kMaxList = 1024;  // an address list without its end-of-list word stops here
constexpr double kIfcUs = 100.0;
}  // namespace

int64_t Bench::waitLimitUs(const BoardState& b) const {
    // "No timeout" waits for ever on hardware; here it gives up after a
    // (long) while, so a forgotten read cannot hang the program for good.
    return b.tmo ? timeoutUs(b.tmo) : int64_t(m_def.timing.noTimeoutLimitMs) * 1000;
}

int Bench::addressedCheck(BoardState& b, Addr4882_t addr, Instrument*& inst) {
    GpibAddress a;
    if (!decode(addr, a, b.def.index))
        return GPIB_EARG;
    if (!b.cic)
        return GPIB_ECIC;
    spend(m_def.timing.commandUs);
    inst = listenerAt(b, a);
    b.atn = true;
    b.talker = b.listener = false;
    if (!inst)
        return GPIB_ENOL;
    if (b.ren)
        inst->setRemote(true);
    return -1;
}

void Bench::Send(int board, Addr4882_t addr, const void* buffer, long count, int eotmode,
                 CallStatus& st) {
    const FaultDef* fault;
    CallSite site = siteOf(CallId::Send, board, addr);
    if (faulted(site, fault, st))
        return;
    if (BoardState* b = boardFor(board, st)) {
        Instrument* inst = nullptr;
        int err = eotmode < 0 || eotmode > 2 || count < 0 || (count > 0 && !buffer)
                      ? GPIB_EARG
                      : addressedCheck(*b, addr, inst);
        if (err >= 0) {
            fail(b, err, st);
            st.setCount(0);
        } else if (!inst->settings().acceptsData && count + (eotmode == GPIB_NLend) > 0) {
            m_clock.wait(waitLimitUs(*b));
            timeout(*b, st, 0);
        } else {
            b->addressed = inst;
            spend(double(count) * m_def.timing.byteUs);
            const char* data = static_cast<const char*>(buffer);
            inst->receiveData(data, size_t(count), eotmode == GPIB_DABend, m_clock.nowUs());
            if (eotmode == GPIB_NLend)
                inst->receiveData("\n", 1, true, m_clock.nowUs());
            b->atn = false;
            b->talker = true;
            ok(*b, st);
            st.setCount(count);
        }
    }
    if (fault)
        overlay(*fault, site, st);
}

void Bench::Receive(int board, Addr4882_t addr, void* buffer, long count, int termination,
                    CallStatus& st) {
    const FaultDef* fault;
    CallSite site = siteOf(CallId::Receive, board, addr);
    if (faulted(site, fault, st))
        return;
    if (BoardState* b = boardFor(board, st)) {
        Instrument* inst = nullptr;
        bool badTerm = termination < 0 || (termination > 255 && termination != GPIB_STOPend);
        int err = badTerm || count < 0 || (count > 0 && !buffer) ? GPIB_EARG
                                                                 : addressedCheck(*b, addr, inst);
        if (err >= 0) {
            fail(b, err, st);
            st.setCount(0);
        } else {
            doReceive(*b, *inst, static_cast<char*>(buffer), count,
                      termination == GPIB_STOPend ? -1 : termination, st);
        }
    }
    if (fault)
        overlay(*fault, site, st);
}

void Bench::doReceive(BoardState& b, Instrument& inst, char* dst, long count, int eos,
                      CallStatus& st) {
    b.atn = false;
    b.listener = true;
    int64_t deadline = m_clock.nowUs() + waitLimitUs(b);
    long got = 0;
    bool end = false;
    while (got < count && !end) {
        if (!inst.hasOutput()) {
            // Nothing (more) to say: the talker never sends a byte and the
            // read runs into the timeout, as it does on a real bus.
            if (got == 0)
                inst.readWithoutQuery();
            m_clock.waitUntil(deadline);
            spend(double(got) * m_def.timing.byteUs);
            timeout(b, st, got);
            return;
        }
        int64_t ready = inst.outputReadyAt();
        if (ready > deadline) {
            m_clock.waitUntil(deadline);
            timeout(b, st, got);
            return;
        }
        m_clock.waitUntil(ready);
        got += long(inst.takeOutput(dst + got, size_t(count - got), eos, end));
    }
    spend(double(got) * m_def.timing.byteUs);
    ok(b, st);
    if (end)
        st.ibsta |= GPIB_END;
    st.setCount(got);
}

bool Bench::pollOne(BoardState& b, Addr4882_t addr, uint8_t& value, CallStatus& st) {
    Instrument* inst = nullptr;
    int err = addressedCheck(b, addr, inst);
    if (err >= 0) {
        fail(&b, err, st);
        return false;
    }
    if (!inst->settings().answersSerialPoll) {
        m_clock.wait(waitLimitUs(b));
        fail(&b, GPIB_EABO, st, GPIB_TIMO);
        return false;
    }
    spend(m_def.timing.commandUs + m_def.timing.byteUs);
    value = inst->serialPoll();
    return true;
}

void Bench::ReadStatusByte(int board, Addr4882_t addr, short* status, CallStatus& st) {
    const FaultDef* fault;
    CallSite site = siteOf(CallId::ReadStatusByte, board, addr);
    if (faulted(site, fault, st))
        return;
    if (BoardState* b = boardFor(board, st)) {
        uint8_t v = 0;
        if (!status)
            fail(b, GPIB_EARG, st);
        else if (pollOne(*b, addr, v, st))
            *status = short(v), ok(*b, st);
    }
    if (fault)
        overlay(*fault, site, st);
}

void Bench::AllSpoll(int board, const Addr4882_t* list, short* results, CallStatus& st) {
    const FaultDef* fault;
    CallSite site{CallId::AllSpoll, board};
    if (faulted(site, fault, st))
        return;
    if (BoardState* b = boardFor(board, st)) {
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
    }
    if (fault)
        overlay(*fault, site, st);
}

void Bench::FindRQS(int board, const Addr4882_t* list, short* status, CallStatus& st) {
    const FaultDef* fault;
    CallSite site{CallId::FindRQS, board};
    if (faulted(site, fault, st))
        return;
    if (BoardState* b = boardFor(board, st)) {
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
    }
    if (fault)
        overlay(*fault, site, st);
}

void Bench::FindLstn(int board, const Addr4882_t* pads, Addr4882_t* results, int limit,
                     CallStatus& st) {
    const FaultDef* fault;
    CallSite site{CallId::FindLstn, board};
    if (faulted(site, fault, st))
        return;
    if (BoardState* b = boardFor(board, st)) {
        if (!pads || !results || limit <= 0)
            fail(b, GPIB_EARG, st);
        else if (!b->cic)
            fail(b, GPIB_ECIC, st);
        else
            doFindLstn(*b, pads, results, limit, st);
    }
    if (fault)
        overlay(*fault, site, st);
}

void Bench::doFindLstn(BoardState& b, const Addr4882_t* pads, Addr4882_t* results, int limit,
                       CallStatus& st) {
    long found = 0;
    auto store = [&](Addr4882_t word) {
        if (found == limit)
            return false;
        results[found++] = word;
        return true;
    };
    b.atn = true;
    b.talker = b.listener = false;
    for (size_t i = 0; i < kMaxList && pads[i] != GPIB_NOADDR; ++i) {
        int pad = pads[i];
        if (pad > 30) {
            fail(&b, GPIB_EARG, st);
            st.setCount(found);
            return;
        }
        spend(m_def.timing.probeUs);
        bool room = true;
        if (listenerAt(b, {b.def.index, pad, -1})) {
            room = store(Addr4882_t(pad));
        } else {
            // No listener at the primary address alone: the secondaries answer.
            for (int s = 0; s <= 30 && room; ++s) {
                spend(m_def.timing.probeUs);
                if (listenerAt(b, {b.def.index, pad, s}))
                    room = store(Addr4882_t(pad | (0x60 + s) << 8));
            }
        }
        if (!room) {
            fail(&b, GPIB_ETAB, st);  // more listeners than the result list holds
            st.setCount(found);
            return;
        }
    }
    ok(b, st);
    st.setCount(found);
}

void Bench::TestSRQ(int board, short* result, CallStatus& st) {
    const FaultDef* fault;
    CallSite site{CallId::TestSRQ, board};
    if (faulted(site, fault, st))
        return;
    if (BoardState* b = boardFor(board, st)) {
        if (!result) {
            fail(b, GPIB_EARG, st);
        } else {
            ok(*b, st);
            *result = (st.ibsta & GPIB_SRQI) ? 1 : 0;
        }
    }
    if (fault)
        overlay(*fault, site, st);
}

void Bench::SendIFC(int board, CallStatus& st) {
    const FaultDef* fault;
    CallSite site{CallId::SendIFC, board};
    if (faulted(site, fault, st))
        return;
    if (BoardState* b = boardFor(board, st)) {
        if (!b->sc) {
            fail(b, GPIB_ESAC, st);
        } else {
            spend(kIfcUs);
            b->cic = b->atn = true;
            b->talker = b->listener = false;
            b->addressed = nullptr;  // IFC unaddresses every device
            ok(*b, st);
        }
    }
    if (fault)
        overlay(*fault, site, st);
}

void Bench::Trigger(int board, Addr4882_t addr, CallStatus& st) {
    const FaultDef* fault;
    CallSite site = siteOf(CallId::Trigger, board, addr);
    if (faulted(site, fault, st))
        return;
    if (BoardState* b = boardFor(board, st)) {
        Instrument* inst = nullptr;
        int err = -1;
        if (addr == GPIB_NOADDR) {
            // GET to whoever is addressed to listen already.
            if (!b->cic)
                err = GPIB_ECIC;
            else
                inst = b->addressed;
            spend(m_def.timing.commandUs);
        } else {
            err = addressedCheck(*b, addr, inst);
        }
        if (err >= 0) {
            fail(b, err, st);
        } else {
            if (inst)
                inst->trigger(m_clock.nowUs()), b->addressed = inst;
            ok(*b, st);
        }
    }
    if (fault)
        overlay(*fault, site, st);
}

void Bench::DevClear(int board, Addr4882_t addr, CallStatus& st) {
    const FaultDef* fault;
    CallSite site = siteOf(CallId::DevClear, board, addr);
    if (faulted(site, fault, st))
        return;
    if (BoardState* b = boardFor(board, st)) {
        Instrument* inst = nullptr;
        if (addr == GPIB_NOADDR) {
            // Device Clear (DCL) reaches every device on the bus.
            if (!b->cic) {
                fail(b, GPIB_ECIC, st);
            } else {
                spend(m_def.timing.commandUs);
                for (Instrument* i : b->instruments)
                    if (i->listens())
                        i->deviceClear();
                ok(*b, st);
            }
        } else if (int err = addressedCheck(*b, addr, inst); err >= 0) {
            fail(b, err, st);
        } else {
            inst->deviceClear();
            b->addressed = inst;
            ok(*b, st);
        }
    }
    if (fault)
        overlay(*fault, site, st);
}

}  // namespace sim
