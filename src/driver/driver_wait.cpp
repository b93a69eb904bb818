// Waiting for the bus: ibwait and WaitSRQ. A wait looks at the board in
// short slices and lets go of its bus between them, so that another thread
// may trigger, read or poll on the same board meanwhile (in arrival order:
// the bus lock lets the waiting callers in before the waiter looks again).
// Time is the board's own: on the simulated bench in instant timing a
// wait of 10 s costs no real time.
#include "driver/driver.h"

namespace gpibdrv {

namespace {
constexpr int64_t kSliceUs = 10000;
constexpr int kDeviceMask = GPIB_TIMO | GPIB_END | GPIB_CMPL | GPIB_RQS;
constexpr size_t kMaxQueued = 64;  // status bytes kept per device
}  // namespace

int Driver::autopoll(BoardState& b) {
    // The devices open on this board, each once.
    std::vector<std::pair<BusAddress, int>> devices;
    {
        std::lock_guard<std::mutex> hold(m_table);
        for (const DeviceDesc& d : m_descs) {
            BusAddress a{d.pad, d.sad >= 0x60 ? d.sad - 0x60 : -1};
            if (!d.used || d.board != b.setup.index)
                continue;
            bool seen = false;
            for (const auto& [other, tmo] : devices) seen = seen || other == a;
            if (!seen)
                devices.emplace_back(a, d.spollTmo);
        }
    }
    for (const auto& [a, tmo] : devices) {
        bool srq = false;
        if (int err = b.board->srqLine(srq); err != kDone || !srq)
            return err;
        uint8_t v = 0;
        if (b.board->serialPoll(a, Timeout{tmo}, v) != kDone || !(v & 0x40))
            continue;  // a device that does not answer is not the one asking
        auto& q = b.queued[addressKey(a)];
        if (q.size() >= kMaxQueued)
            return GPIB_ESTB;  // status bytes were lost
        q.push_back(v);
    }
    return kDone;
}

int Driver::statusNow(BoardState& b, const std::optional<DeviceDesc>& dev, bool& srq, int& status) {
    srq = false;
    if (int err = b.board->srqLine(srq); err != kDone)
        return err;
    if (dev) {
        CallStatus st;
        deviceOk(b, *dev, st, dev->lastEnd);
        status = st.ibsta;
        return kDone;
    }
    status = GPIB_CMPL | bits(b) | (srq ? GPIB_SRQI : 0) | (b.lastEnd ? GPIB_END : 0);
    return kDone;
}

int Driver::waitFor(BoardState& b, const std::optional<DeviceDesc>& dev, int mask, int tmoCode,
                    int& status) {
    const bool timed = (mask & GPIB_TIMO) != 0;
    // "No timeout", or a wait without TIMO, still ends after the longest code.
    const int64_t limit = timeoutUs(timed && tmoCode ? tmoCode : 17);
    int64_t deadline = -1;
    for (;;) {
        std::lock_guard<BusLock> hold(b.bus);
        bool srq = false;
        if (int err = statusNow(b, dev, srq, status); err != kDone)
            return err;
        // A device's RQS comes from the automatic serial polls, which run
        // while a program waits for it and SRQ is up.
        const bool polling = dev && (mask & GPIB_RQS) && b.autopoll;
        if (polling && srq && !(status & GPIB_RQS) && cic(b)) {
            if (int err = autopoll(b); err != kDone)
                return err;
            if (int err = statusNow(b, dev, srq, status); err != kDone)
                return err;
            if (srq && !(status & GPIB_RQS))
                return GPIB_ESRQ;  // every open device was polled and SRQ is still up
        }
        const int64_t now = b.board->clockUs();
        if (deadline < 0)
            deadline = now + limit;
        if (status & mask & ~GPIB_TIMO)
            return kDone;
        if (now >= deadline) {
            if (timed)
                status |= GPIB_TIMO;
            return kDone;
        }
        const int64_t slice = std::min(kSliceUs, deadline - now);
        bool asserted = false;
        if (!srq && (mask & (GPIB_SRQI | GPIB_RQS)))
            b.board->waitSrq(Timeout::ofUs(slice), asserted);
        else
            b.board->pauseUntilUs(now + slice);
    }
}

int Driver::ibwait(int ud, int mask, CallStatus& st) {
    const FaultDef* fault;
    CallSite site = siteOf(CallId::ibwait, ud);
    if (faulted(site, fault, st))
        return st.ibsta;
    Target t;
    if (!resolve(ud, t, st))
        return st.ibsta;
    BoardState& b = *t.board;
    {
        std::lock_guard<BusLock> hold(b.bus);
        if (!usable(b, st))
            return st.ibsta;
    }
    if ((t.device && (mask & ~kDeviceMask)) || (mask & ~0xFFFF)) {
        std::lock_guard<BusLock> hold(b.bus);
        fail(&b, GPIB_EARG, st);
    } else if (mask == 0) {
        std::lock_guard<BusLock> hold(b.bus);
        bool srq = false;
        int status = 0;
        if (int err = statusNow(b, t.device, srq, status); err != kDone)
            fail(&b, err, st);
        else
            st.ibsta = status;
    } else {
        int status = 0;
        int err = waitFor(b, t.device, mask, t.device ? t.device->tmo : b.tmo, status);
        if (err != kDone) {
            std::lock_guard<BusLock> hold(b.bus);
            fail(&b, err, st);
            if (t.device)
                st.ibsta &= kDeviceMask | GPIB_ERR;
        } else {
            st.ibsta = status;
        }
    }
    if (fault)
        overlay(*fault, site, st);
    return st.ibsta;
}

void Driver::WaitSRQ(int board, short* result, CallStatus& st) {
    const FaultDef* fault;
    CallSite site{CallId::WaitSRQ, board};
    if (faulted(site, fault, st))
        return;
    BoardState* b = boardFor(board, st);
    if (b) {
        std::lock_guard<BusLock> hold(b->bus);
        if (!usable(*b, st))
            return;
    }
    if (b) {
        if (!result) {
            std::lock_guard<BusLock> hold(b->bus);
            fail(b, GPIB_EARG, st);
        } else {
            int status = 0;
            int err = waitFor(*b, std::nullopt, GPIB_SRQI | GPIB_TIMO, b->tmo, status);
            std::lock_guard<BusLock> hold(b->bus);
            if (err != kDone) {
                fail(b, err, st);
            } else {
                *result = (status & GPIB_SRQI) ? 1 : 0;
                ok(*b, st);
                st.ibsta |= status & GPIB_TIMO;
            }
        }
    }
    if (fault)
        overlay(*fault, site, st);
}

}  // namespace gpibdrv
