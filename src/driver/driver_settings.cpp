// The configuration calls: ibask, ibconfig, ibpad, ibtmo.
#include "driver/driver.h"

#include <optional>

namespace gpibdrv {

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

// Boards and device descriptors share these settings, read and changed the
// same way on both.
template <typename Settings>
std::optional<int> sharedSetting(const Settings& s, int option) {
    switch (option) {
        case kPad:
            return s.pad;
        case kSad:
            return s.sad;
        case kTmo:
            return s.tmo;
        case kEot:
            return s.eot ? 1 : 0;
        case kEosRd:
        case kEosWrt:
        case kEosCmp:
        case kEosChar:
            return eosOption(s.eos, option);
        case kSPollTime:
            return s.spollTmo;
        default:
            return std::nullopt;
    }
}

// The outcome of a configuration change: whether the option exists and the
// value is valid for it, and the setting it replaced (handed back in iberr).
struct Change {
    bool valid = true;
    int previous = 0;
};

template <typename Settings>
Change changeSharedSetting(Settings& s, int option, int value) {
    Change c;
    auto set = [&](int& field, bool valid) {
        c.valid = valid;
        if (valid)
            c.previous = field, field = value;
    };
    const bool tmoOk = value >= 0 && value <= 17;
    switch (option) {
        case kPad:
            set(s.pad, value >= 0 && value <= 30);
            break;
        case kSad:
            set(s.sad, value == 0 || (value >= 0x60 && value <= 0x7E));
            break;
        case kTmo:
            set(s.tmo, tmoOk);
            break;
        case kEot:
            c.previous = s.eot ? 1 : 0;
            s.eot = value != 0;
            break;
        case kEosRd:
        case kEosWrt:
        case kEosCmp:
        case kEosChar:
            c.previous = eosOption(s.eos, option);
            s.eos = withEosOption(s.eos, option, value);
            break;
        case kSPollTime:
            set(s.spollTmo, tmoOk);
            break;
        default:
            c.valid = false;
    }
    return c;
}

}  // namespace

int Driver::ibask(int ud, int option, int* value, CallStatus& st) {
    const FaultDef* fault;
    CallSite site = siteOf(CallId::ibask, ud);
    if (faulted(site, fault, st))
        return st.ibsta;
    Target t;
    if (!resolve(ud, t, st))
        return st.ibsta;
    std::optional<int> v;
    if (t.device) {
        v = sharedSetting(*t.device, option);
    } else if (option == kSc) {
        v = t.board->sc ? 1 : 0;
    } else if (option == kSre) {
        v = t.board->ren ? 1 : 0;
    } else {
        v = sharedSetting(*t.board, option);
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

int Driver::ownAddressChange(BoardState& b, int option, int value) {
    if (option == kPad && value >= 0 && value <= 30 && value != b.pad)
        return b.board->setOwnAddress(value, b.sad);
    if (option == kSad && (value == 0 || (value >= 0x60 && value <= 0x7E)) && value != b.sad)
        return b.board->setOwnAddress(b.pad, value);
    return kDone;
}

int Driver::ibconfig(int ud, int option, int value, CallStatus& st) {
    return configured(CallId::ibconfig, ud, option, value, st);
}

int Driver::ibpad(int ud, int pad, CallStatus& st) {
    return configured(CallId::ibpad, ud, kPad, pad, st);
}

int Driver::ibtmo(int ud, int tmo, CallStatus& st) {
    return configured(CallId::ibtmo, ud, kTmo, tmo, st);
}

int Driver::configured(CallId id, int ud, int option, int value, CallStatus& st) {
    const FaultDef* fault;
    CallSite site = siteOf(id, ud);
    if (faulted(site, fault, st))
        return st.ibsta;
    Target t;
    if (!resolve(ud, t, st))
        return st.ibsta;
    Change change;
    if (t.device) {
        change = changeSharedSetting(*t.device, option, value);
    } else if (option == kSc) {
        BoardState& b = *t.board;
        change.previous = b.sc ? 1 : 0;
        b.sc = value != 0;
    } else if (option == kSre) {
        change.previous = changeRen(*t.board, value != 0, st);
        if (change.previous < 0)
            return st.ibsta;
    } else if (int err = ownAddressChange(*t.board, option, value); err != kDone) {
        fail(t.board, err, st);  // a board whose own address is fixed says so (ECAP)
        return st.ibsta;
    } else {
        change = changeSharedSetting(*t.board, option, value);
    }
    if (!change.valid) {
        fail(t.board, GPIB_EARG, st);
        return st.ibsta;
    }
    if (t.device)
        st.ibsta = GPIB_CMPL;
    else
        ok(*t.board, st);
    st.setError(change.previous);  // the driver hands back the previous setting in iberr
    if (fault)
        overlay(*fault, site, st);
    return st.ibsta;
}

}  // namespace gpibdrv
