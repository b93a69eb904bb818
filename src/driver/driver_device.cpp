// The traditional calls that send a bus message to a device or ask the bus
// something: ibclr, ibtrg, ibloc, ibrsp, ibspb, ibpct, ibppc, ibrpp,
// iblines, ibsic, ibstop, ibevent.
#include "driver/driver.h"

namespace gpibdrv {

namespace {
constexpr int kDeviceBits = GPIB_ERR | GPIB_TIMO | GPIB_END | GPIB_CMPL | GPIB_RQS;
}  // namespace

int Driver::ibclr(int ud, CallStatus& st) {
    return onDescriptor(CallId::ibclr, ud, st, [&](BoardState& b, Target& t) {
        BusAddress a = t.address();
        finish(b, !t.device ? GPIB_EARG : !cic(b) ? GPIB_ECIC : b.board->clear(&a), st);
        if (t.device && !(st.ibsta & GPIB_ERR))
            deviceOk(b, *t.device, st);
        st.ibsta &= t.device ? kDeviceBits : ~0;
    });
}

int Driver::ibtrg(int ud, CallStatus& st) {
    return onDescriptor(CallId::ibtrg, ud, st, [&](BoardState& b, Target& t) {
        BusAddress a = t.address();
        finish(b, !t.device ? GPIB_EARG : !cic(b) ? GPIB_ECIC : b.board->trigger(&a), st);
        if (t.device && !(st.ibsta & GPIB_ERR))
            deviceOk(b, *t.device, st);
        st.ibsta &= t.device ? kDeviceBits : ~0;
    });
}

int Driver::ibloc(int ud, CallStatus& st) {
    // A board descriptor: the board itself goes to local, which a controller
    // board always is here.
    return onDescriptor(CallId::ibloc, ud, st, [&](BoardState& b, Target& t) {
        if (!t.device) {
            ok(b, st);
            return;
        }
        finish(b, cic(b) ? b.board->goToLocal(t.address()) : GPIB_ECIC, st);
        if (!(st.ibsta & GPIB_ERR))
            deviceOk(b, *t.device, st);
        st.ibsta &= kDeviceBits;
    });
}

int Driver::ibrsp(int ud, char* result, CallStatus& st) {
    return onDescriptor(CallId::ibrsp, ud, st, [&](BoardState& b, Target& t) {
        if (!t.device || !result) {
            fail(&b, GPIB_EARG, st);
            return;
        }
        // A status byte an automatic poll found goes first; else the device
        // is polled now.
        auto q = b.queued.find(addressKey(t.address()));
        if (q != b.queued.end() && !q->second.empty()) {
            *result = char(q->second.front());
            q->second.pop_front();
            deviceOk(b, *t.device, st);
            return;
        }
        uint8_t v = 0;
        int err =
            cic(b) ? b.board->serialPoll(t.address(), Timeout{t.device->spollTmo}, v) : GPIB_ECIC;
        if (err == kDone) {
            *result = char(v);
            deviceOk(b, *t.device, st);
        } else {
            finish(b, err, st);
            st.ibsta &= kDeviceBits;
        }
    });
}

int Driver::ibspb(int ud, short* count, CallStatus& st) {
    return onDescriptor(CallId::ibspb, ud, st, [&](BoardState& b, Target& t) {
        if (!t.device || !count) {
            fail(&b, GPIB_EARG, st);
            return;
        }
        auto q = b.queued.find(addressKey(t.address()));
        *count = short(q == b.queued.end() ? 0 : q->second.size());
        deviceOk(b, *t.device, st);
    });
}

int Driver::ibpct(int ud, CallStatus& st) {
    return onDescriptor(CallId::ibpct, ud, st, [&](BoardState& b, Target& t) {
        if (!t.device) {
            fail(&b, GPIB_EARG, st);
            return;
        }
        BusAddress a = t.address();
        std::vector<uint8_t> bytes{cmd::UNL, cmd::TAD(a.pad)};
        if (a.sad >= 0)
            bytes.push_back(cmd::SAD(a.sad));
        bytes.push_back(cmd::TCT);
        long sent = 0;
        finish(b, cic(b) ? commandBytes(b, bytes, Timeout{b.tmo}, sent) : GPIB_ECIC, st);
        st.ibsta &= kDeviceBits;
    });
}

int Driver::ibppc(int ud, int v, CallStatus& st) {
    return onDescriptor(CallId::ibppc, ud, st, [&](BoardState& b, Target& t) {
        // PPD, or a PPE byte (0x60-0x6F: sense and line).
        if (v != cmd::PPD && (v < 0x60 || v > 0x6F)) {
            fail(&b, GPIB_EARG, st);
            return;
        }
        if (!t.device) {
            // The board's own response, configured locally (PP2 only).
            if (!b.pp2) {
                fail(&b, GPIB_ECAP, st);
                return;
            }
            int previous = b.ppc;
            b.ppc = v;
            ok(b, st);
            st.setError(previous);
            return;
        }
        BusAddress a = t.address();
        std::vector<uint8_t> bytes{cmd::UNL, cmd::LAD(a.pad)};
        if (a.sad >= 0)
            bytes.push_back(cmd::SAD(a.sad));
        bytes.push_back(cmd::PPC);
        bytes.push_back(uint8_t(v));
        long sent = 0;
        finish(b, cic(b) ? commandBytes(b, bytes, Timeout{b.tmo}, sent) : GPIB_ECIC, st);
        if (!(st.ibsta & GPIB_ERR))
            deviceOk(b, *t.device, st);
        st.ibsta &= kDeviceBits;
    });
}

int Driver::ibrpp(int ud, char* result, CallStatus& st) {
    return onDescriptor(CallId::ibrpp, ud, st, [&](BoardState& b, Target&) {
        if (!result) {
            fail(&b, GPIB_EARG, st);
            return;
        }
        uint8_t v = 0;
        int err = cic(b) ? b.board->parallelPoll(Timeout{b.ppollTmo}, v) : GPIB_ECIC;
        if (err == kDone)
            *result = char(v);
        finish(b, err, st);
    });
}

int Driver::iblines(int ud, short* lines, CallStatus& st) {
    return onDescriptor(CallId::iblines, ud, st, [&](BoardState& b, Target&) {
        int state = 0;
        int err = lines ? b.board->lines(state) : GPIB_EARG;
        if (err == kDone)
            *lines = short(state);
        finish(b, err, st);
    });
}

int Driver::ibsic(int ud, CallStatus& st) {
    return onDescriptor(CallId::ibsic, ud, st, [&](BoardState& b, Target& t) {
        int err = t.device ? GPIB_EARG : b.sc ? b.board->interfaceClear() : GPIB_ESAC;
        if (err == kDone)
            b.addressing.reset();
        finish(b, err, st);
    });
}

int Driver::ibstop(int ud, CallStatus& st) {
    // Asynchronous transfers are over before their call returns: there is
    // never one to stop.
    return onDescriptor(CallId::ibstop, ud, st, [&](BoardState& b, Target& t) {
        if (t.device)
            deviceOk(b, *t.device, st);
        else
            ok(b, st);
    });
}

int Driver::ibevent(int ud, short* event, CallStatus& st) {
    // Events (a trigger or a clear received, IFC) reach a board acting as a
    // device; no board here ever does, so there is never one: EventNone.
    return onDescriptor(CallId::ibevent, ud, st, [&](BoardState& b, Target& t) {
        if (t.device || !event) {
            fail(&b, GPIB_EARG, st);
            return;
        }
        *event = 0;
        ok(b, st);
    });
}

}  // namespace gpibdrv
