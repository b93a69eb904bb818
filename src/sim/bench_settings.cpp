// The configuration calls of the bench: ibask, ibconfig, ibpad, ibtmo.
#include "sim/bench.h"

namespace sim {

namespace {

enum Option {
    kPad = 0x1,
    kSad = 0x2,
    kTmo = 0x3,
    kEot = 0x4,
    kSc = 0xA,
    kSre = 0xB,
    kEosRd = 0xC,
    kEosWrt = 0xD,
    kEosCmp = 0xE,
    kEosChar = 0xF,
    kSPollTime = 0x18,
};

constexpr int kREOS = 0x400, kXEOS = 0x800, kBIN = 0x1000;

int eosOption(int eos, int option) {
    switch (option) {
        case kEosRd:
            return (eos & kREOS) ? 1 : 0;
        case kEosWrt:
            return (eos & kXEOS) ? 1 : 0;
        case kEosCmp:
            return (eos & kBIN) ? 1 : 0;
        default:
            return eos & 0xFF;
    }
}

int withEosOption(int eos, int option, int value) {
    int bit = option == kEosRd ? kREOS : option == kEosWrt ? kXEOS : kBIN;
    if (option == kEosChar)
        return (eos & ~0xFF) | (value & 0xFF);
    return value ? eos | bit : eos & ~bit;
}

}  // namespace

int Bench::ibask(int ud, int option, int* value, CallStatus& st) {
    const FaultDef* fault;
    CallSite site = siteOf(CallId::ibask, ud);
    if (faulted(site, fault, st))
        return st.ibsta;
    Target t;
    if (!resolve(ud, t, st))
        return st.ibsta;
    std::optional<int> v;
    if (t.device) {
        const DeviceDesc& d = *t.device;
        switch (option) {
            case kPad:
                v = d.pad;
                break;
            case kSad:
                v = d.sad;
                break;
            case kTmo:
                v = d.tmo;
                break;
            case kEot:
                v = d.eot;
                break;
            case kEosRd:
            case kEosWrt:
            case kEosCmp:
            case kEosChar:
                v = eosOption(d.eos, option);
                break;
            case kSPollTime:
                v = d.spollTmo;
                break;
            default:
                break;
        }
    } else {
        const BoardState& b = *t.board;
        switch (option) {
            case kPad:
                v = b.pad;
                break;
            case kSad:
                v = b.sad;
                break;
            case kTmo:
                v = b.tmo;
                break;
            case kEot:
                v = b.eot ? 1 : 0;
                break;
            case kSPollTime:
                v = b.spollTmo;
                break;
            case kSc:
                v = b.sc ? 1 : 0;
                break;
            case kSre:
                v = b.ren ? 1 : 0;
                break;
            case kEosRd:
            case kEosWrt:
            case kEosCmp:
            case kEosChar:
                v = eosOption(b.eos, option);
                break;
            default:
                break;
        }
    }
    if (!v || !value) {
        fail(t.board, GPIB_EARG, st);
        return st.ibsta;
    }
    *value = *v;
    if (t.device)
        st.ibsta = GPIB_CMPL;
    else
        ok(*t.board, st);
    if (fault)
        overlay(*fault, site, st);
    return st.ibsta;
}

int Bench::ibconfig(int ud, int option, int value, CallStatus& st) {
    return configured(CallId::ibconfig, ud, option, value, st);
}

int Bench::ibpad(int ud, int pad, CallStatus& st) {
    return configured(CallId::ibpad, ud, kPad, pad, st);
}

int Bench::ibtmo(int ud, int tmo, CallStatus& st) {
    return configured(CallId::ibtmo, ud, kTmo, tmo, st);
}

int Bench::configured(CallId id, int ud, int option, int value, CallStatus& st) {
    const FaultDef* fault;
    CallSite site = siteOf(id, ud);
    if (faulted(site, fault, st))
        return st.ibsta;
    Target t;
    if (!resolve(ud, t, st))
        return st.ibsta;
    int previous = 0;
    bool good = true;
    auto set = [&](int& field, bool valid) {
        good = valid;
        if (valid)
            previous = field, field = value;
    };
    auto setFlag = [&](bool& field) {
        previous = field ? 1 : 0;
        field = value != 0;
    };
    bool padOk = value >= 0 && value <= 30;
    bool sadOk = value == 0 || (value >= 0x60 && value <= 0x7E);
    bool tmoOk = value >= 0 && value <= 17;
    if (t.device) {
        DeviceDesc& d = *t.device;
        switch (option) {
            case kPad:
                set(d.pad, padOk);
                break;
            case kSad:
                set(d.sad, sadOk);
                break;
            case kTmo:
                set(d.tmo, tmoOk);
                break;
            case kEot:
                previous = d.eot, d.eot = value ? 1 : 0;
                break;
            case kEosRd:
            case kEosWrt:
            case kEosCmp:
            case kEosChar:
                previous = eosOption(d.eos, option), d.eos = withEosOption(d.eos, option, value);
                break;
            case kSPollTime:
                set(d.spollTmo, tmoOk);
                break;
            default:
                good = false;
        }
    } else {
        BoardState& b = *t.board;
        switch (option) {
            case kPad:
                set(b.pad, padOk);
                break;
            case kSad:
                set(b.sad, sadOk);
                break;
            case kTmo:
                set(b.tmo, tmoOk);
                break;
            case kEot:
                setFlag(b.eot);
                break;
            case kSPollTime:
                set(b.spollTmo, tmoOk);
                break;
            case kSc:
                setFlag(b.sc);
                break;
            case kSre:
                if (!b.sc) {
                    fail(&b, GPIB_ESAC, st);
                    return st.ibsta;
                }
                setFlag(b.ren);
                if (!b.ren)
                    for (Instrument* i : b.instruments) i->setRemote(false);
                break;
            case kEosRd:
            case kEosWrt:
            case kEosCmp:
            case kEosChar:
                previous = eosOption(b.eos, option), b.eos = withEosOption(b.eos, option, value);
                break;
            default:
                good = false;
        }
    }
    if (!good) {
        fail(t.board, GPIB_EARG, st);
        return st.ibsta;
    }
    if (t.device)
        st.ibsta = GPIB_CMPL;
    else
        ok(*t.board, st);
    st.setError(previous);  // the driver hands back the previous setting in iberr
    if (fault)
        overlay(*fault, site, st);
    return st.ibsta;
}

}  // namespace sim
