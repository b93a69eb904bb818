// The configuration calls: ibask, ibconfig, and the calls that are ibconfig
// of one option (ibpad, ibsad, ibtmo, ibeot, ibeos, ibrsc, ibist, ibrsv,
// ibbna). A change that succeeds hands back the previous setting in iberr.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>

#include "driver/driver.h"

namespace gpibdrv {

namespace {

enum Option {
    kPad = 0x1,
    kSad = 0x2,
    kTmo = 0x3,
    kEot = 0x4,
    kPpc = 0x5,
    kReaddr = 0x6,
    kAutopoll = 0x7,
    kCicProt = 0x8,
    kSc = 0xA,
    kSre = 0xB,
    kEosRd = 0xC,
    kEosWrt = 0xD,
    kEosCmp = 0xE,
    kEosChar = 0xF,
    kPp2 = 0x10,
    kTiming = 0x11,
    kReadAdjust = 0x13,
    kWriteAdjust = 0x14,
    kEventQueue = 0x15,
    kSPollBit = 0x16,
    kSendLlo = 0x17,
    kSPollTime = 0x18,
    kPPollTime = 0x19,
    kEndBitIsNormal = 0x1A,
    kUnAddr = 0x1B,
    kHsCableLength = 0x1F,
    kIst = 0x20,
    kRsv = 0x21,
    kBna = 0x200,
    k7BitEos = 0x1000,
};

// Options a program may ask about and set, though this driver has only one
// answer: byte swapping, the event queue, the SPOLL bit, automatic lockout,
// unaddressing, HS488. Setting the one answer is accepted; any other is ECAP.
std::optional<int> fixedAnswer(int option, bool device) {
    switch (option) {
        case kReaddr:
        case kUnAddr:
            return device ? std::optional<int>(0) : std::nullopt;
        case kCicProt:
        case kEventQueue:
        case kSPollBit:
        case kSendLlo:
        case kHsCableLength:
        case k7BitEos:
            return device ? std::nullopt : std::optional<int>(0);
        case kTiming:
            return device ? std::nullopt : std::optional<int>(1);  // T1 of 2 us
        case kReadAdjust:
        case kWriteAdjust:
            return 0;
        default:
            return std::nullopt;
    }
}

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
        case kEndBitIsNormal:
            return s.endBitIsNormal ? 1 : 0;
        default:
            return std::nullopt;
    }
}

// The outcome of a configuration change: whether the option exists and the
// value is valid for it, and the setting it replaced (handed back in iberr).
struct Change {
    bool valid = true;
    int previous = 0;
    int error = GPIB_EARG;  // when not valid
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
        case kEndBitIsNormal:
            c.previous = s.endBitIsNormal ? 1 : 0;
            s.endBitIsNormal = value != 0;
            break;
        default:
            c.valid = false;
    }
    return c;
}

}  // namespace

int Driver::ibask(int ud, int option, int* value, CallStatus& st) {
    return onDescriptor(CallId::ibask, ud, st, [&](BoardState& b, Target& t) {
        std::optional<int> v = fixedAnswer(option, t.device.has_value());
        if (v) {
        } else if (t.device) {
            v = option == kBna ? std::optional<int>(t.device->board)
                               : sharedSetting(*t.device, option);
        } else {
            switch (option) {
                case kSc:
                    v = b.sc ? 1 : 0;
                    break;
                case kSre:
                    v = b.ren ? 1 : 0;
                    break;
                case kAutopoll:
                    v = b.autopoll ? 1 : 0;
                    break;
                case kPpc:
                    v = b.ppc;
                    break;
                case kPp2:
                    v = b.pp2 ? 1 : 0;
                    break;
                case kPPollTime:
                    v = b.ppollTmo;
                    break;
                case kIst:
                    v = b.ist;
                    break;
                case kRsv:
                    v = b.rsv;
                    break;
                case kBna:
                    v = b.setup.index;
                    break;
                default:
                    v = sharedSetting(b, option);
            }
        }
        if (!v || !value) {
            fail(&b, GPIB_EARG, st);
            return;
        }
        *value = *v;
        if (t.device)
            st.ibsta = GPIB_CMPL;
        else
            ok(b, st);
    });
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

int Driver::ibsad(int ud, int sad, CallStatus& st) {
    return configured(CallId::ibsad, ud, kSad, sad, st);
}

int Driver::ibtmo(int ud, int tmo, CallStatus& st) {
    return configured(CallId::ibtmo, ud, kTmo, tmo, st);
}

int Driver::ibeot(int ud, int eot, CallStatus& st) {
    return configured(CallId::ibeot, ud, kEot, eot, st);
}

int Driver::ibrsc(int ud, int v, CallStatus& st) {
    return configured(CallId::ibrsc, ud, kSc, v, st);
}

int Driver::ibist(int ud, int ist, CallStatus& st) {
    return configured(CallId::ibist, ud, kIst, ist, st);
}

int Driver::ibrsv(int ud, int statusByte, CallStatus& st) {
    return configured(CallId::ibrsv, ud, kRsv, statusByte, st);
}

int Driver::ibrsv2(int ud, int statusByte, int, CallStatus& st) {
    // Whether a request is a new reason for service matters only to a board
    // that can request service; none here can, so it is ibrsv's answer.
    return configured(CallId::ibrsv2, ud, kRsv, statusByte, st);
}

int Driver::ibdma(int ud, int, CallStatus& st) {
    // No board here moves data by DMA: the call changes nothing, and
    // programs that ask for DMA or not go on as they would.
    return onDescriptor(CallId::ibdma, ud, st, [&](BoardState& b, Target& t) {
        if (t.device)
            deviceOk(b, *t.device, st);
        else
            ok(b, st);
    });
}

int Driver::ibeos(int ud, int eos, CallStatus& st) {
    return onDescriptor(CallId::ibeos, ud, st, [&](BoardState& b, Target& t) {
        if (eos < 0 || eos > 0xFFFF || (eos & ~(0xFF | kREOS | kXEOS | kBIN))) {
            fail(&b, GPIB_EARG, st);
            return;
        }
        int previous = 0;
        if (t.device) {
            updateDevice(t.ud, [&](DeviceDesc& d) { previous = d.eos, d.eos = eos; });
            st.ibsta = GPIB_CMPL;
        } else {
            previous = b.eos;
            b.eos = eos;
            ok(b, st);
        }
        st.setError(previous);
    });
}

int Driver::ibbna(int ud, const char* name, CallStatus& st) {
    return onDescriptor(CallId::ibbna, ud, st, [&](BoardState& b, Target& t) {
        const BoardState* to = nullptr;
        for (const auto& other : m_boards)
            if (name && other->setup.name.size() == strnlen(name, 256) &&
                std::equal(other->setup.name.begin(), other->setup.name.end(), name,
                           [](char x, char y) { return std::toupper(x) == std::toupper(y); }))
                to = other.get();
        if (!t.device || !to) {
            fail(&b, GPIB_EARG, st);
            return;
        }
        if (!to->setup.present) {
            fail(&b, GPIB_ENEB, st);
            return;
        }
        updateDevice(t.ud, [&](DeviceDesc& d) { d.board = to->setup.index; });
        st.ibsta = GPIB_CMPL;
        st.setError(t.device->board);
    });
}

int Driver::configured(CallId id, int ud, int option, int value, CallStatus& st) {
    return onDescriptor(id, ud, st, [&](BoardState& b, Target& t) {
        Change change;
        if (std::optional<int> fixed = fixedAnswer(option, t.device.has_value())) {
            change.previous = *fixed;
            change.valid = value == *fixed;
            change.error = GPIB_ECAP;
        } else if (t.device && option == kBna) {
            BoardState* to = findBoard(value);
            change.valid = to && to->setup.present;
            change.previous = t.device->board;
            if (change.valid)
                updateDevice(ud, [&](DeviceDesc& d) { d.board = value; });
        } else if (t.device) {
            updateDevice(ud,
                         [&](DeviceDesc& d) { change = changeSharedSetting(d, option, value); });
        } else if (option == kSc) {
            change.previous = b.sc ? 1 : 0;
            b.sc = value != 0;
        } else if (option == kSre) {
            change.previous = changeRen(b, value != 0, st);
            if (change.previous < 0)
                return;
        } else if (option == kAutopoll || option == kPp2) {
            bool& flag = option == kAutopoll ? b.autopoll : b.pp2;
            change.previous = flag ? 1 : 0;
            flag = value != 0;
        } else if (option == kIst || option == kPPollTime || option == kPpc) {
            int& field = option == kIst ? b.ist : option == kPPollTime ? b.ppollTmo : b.ppc;
            change.valid = option == kIst         ? true
                           : option == kPPollTime ? value >= 0 && value <= 17
                                                  : (value & 0xE0) == 0x60;
            change.previous = field;
            if (change.valid)
                field = option == kIst ? (value != 0) : value;
        } else if (option == kRsv) {
            // A controller board is never polled by another here: it keeps
            // the byte, but cannot assert SRQ for it.
            change.valid = value >= 0 && value <= 255;
            change.previous = b.rsv;
            if (change.valid && (value & 0x40))
                change.valid = false, change.error = GPIB_ECAP;
            else if (change.valid)
                b.rsv = value;
        } else if (int err = ownAddressChange(b, option, value); err != kDone) {
            fail(&b, err, st);  // a board whose own address is fixed says so (ECAP)
            return;
        } else {
            change = changeSharedSetting(b, option, value);
        }
        if (!change.valid) {
            fail(&b, change.error, st);
            return;
        }
        if (t.device)
            st.ibsta = GPIB_CMPL;
        else
            ok(b, st);
        st.setError(change.previous);  // the driver hands back the previous setting in iberr
    });
}

}  // namespace gpibdrv
