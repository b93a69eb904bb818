#include "sim/bench.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace sim {

namespace {
constexpr int kFirstDevice = 16;
constexpr size_t kMaxDescriptors = 1024;

bool validSecondary(int sad) {
    return sad == 0 || (sad >= 0x60 && sad <= 0x7E);
}
int sadOfCode(int code) {
    return code >= 0x60 ? code - 0x60 : -1;
}
}  // namespace

void Bench::BoardState::reset() {
    pad = def.pad;
    sad = def.sad;
    tmo = def.timeoutCode;
    eos = 0;
    spollTmo = 11;
    eot = true;
    online = true;
}

Bench::Bench(BenchDefinition definition, bool instantOverride)
    : m_def(std::move(definition)),
      m_clock(instantOverride || m_def.timing.instant),
      m_faults(m_def.faults) {
    for (const auto& bd : m_def.boards) {
        BoardState b;
        b.def = bd;
        b.sc = bd.systemController;
        b.cic = bd.cicAtStart && bd.systemController;
        b.atn = b.cic;
        b.reset();
        m_boards.push_back(std::move(b));
    }
    for (const auto& inst : m_def.instruments) {
        m_instruments.push_back(std::make_unique<Instrument>(inst, m_def.devices[inst.device]));
        BoardState* b = findBoard(inst.address.board);
        b->slots[size_t(inst.address.pad * 32 + inst.address.sad + 1)] =
            int16_t(m_instruments.size());
        b->instruments.push_back(m_instruments.back().get());
    }
}

Instrument* Bench::instrumentAt(const GpibAddress& a) {
    BoardState* b = findBoard(a.board);
    if (!b || a.pad < 0 || a.pad > 30 || a.sad < -1 || a.sad > 30)
        return nullptr;
    int16_t slot = b->slots[size_t(a.pad * 32 + a.sad + 1)];
    return slot ? m_instruments[size_t(slot - 1)].get() : nullptr;
}

Bench::BoardState* Bench::findBoard(int index) {
    for (auto& b : m_boards)
        if (b.def.index == index)
            return &b;
    return nullptr;
}

Bench::BoardState* Bench::boardFor(int index, CallStatus& st) {
    BoardState* b = findBoard(index);
    if (!b) {
        fail(nullptr, GPIB_EDVR, st);
        return nullptr;
    }
    if (!b->def.present) {
        fail(nullptr, GPIB_ENEB, st);
        return nullptr;
    }
    return b;
}

bool Bench::resolve(int ud, Target& t, CallStatus& st) {
    if (ud >= 0 && ud < kFirstDevice) {
        t.board = boardFor(ud, st);
        if (t.board && !t.board->online) {
            fail(nullptr, GPIB_EDVR, st);
            return false;
        }
        return t.board != nullptr;
    }
    size_t i = size_t(ud - kFirstDevice);
    if (ud < kFirstDevice || i >= m_descs.size() || !m_descs[i].used) {
        fail(nullptr, GPIB_EDVR, st);
        return false;
    }
    t.device = &m_descs[i];
    t.board = findBoard(t.device->board);
    return true;
}

int Bench::bits(const BoardState& b) const {
    int s = 0;
    if (b.cic)
        s |= GPIB_CIC;
    if (b.atn)
        s |= GPIB_ATN;
    if (b.talker)
        s |= GPIB_TACS;
    if (b.listener)
        s |= GPIB_LACS;
    for (const Instrument* i : b.instruments)
        if (i->requestingService()) {
            s |= GPIB_SRQI;
            break;
        }
    return s;
}

void Bench::fail(const BoardState* b, int err, CallStatus& st, int extra) const {
    // A call refused before it reaches a board shows ERR alone; one the board
    // took shows the board's state as well.
    st.ibsta = GPIB_ERR | extra | (b ? GPIB_CMPL | bits(*b) : 0);
    st.setError(err);
}

void Bench::timeout(BoardState& b, CallStatus& st, long count) {
    fail(&b, GPIB_EABO, st, GPIB_TIMO);
    st.setCount(count);
}

bool Bench::decode(Addr4882_t addr, GpibAddress& out, int board) const {
    int pad = addr & 0xFF, code = addr >> 8;
    if (pad > 30 || (code != 0 && (code < 0x60 || code > 0x7E)))
        return false;
    out = {board, pad, sadOfCode(code)};
    return true;
}

Instrument* Bench::listenerAt(BoardState& b, const GpibAddress& a) {
    int16_t slot = b.slots[size_t(a.pad * 32 + a.sad + 1)];
    if (!slot)
        return nullptr;
    Instrument* inst = m_instruments[size_t(slot - 1)].get();
    return inst->listens() ? inst : nullptr;
}

void Bench::spend(double us) {
    if (us >= 0.5)
        m_clock.wait(int64_t(us + 0.5));
}

CallSite Bench::siteOf(CallId id, int ud) const {
    CallSite s{id, -1, -1, -1};
    if (ud >= 0 && ud < kFirstDevice) {
        s.board = ud;
    } else if (ud >= kFirstDevice && size_t(ud - kFirstDevice) < m_descs.size()) {
        const DeviceDesc& d = m_descs[size_t(ud - kFirstDevice)];
        s = {id, d.board, d.pad, sadOfCode(d.sad)};
    }
    return s;
}

CallSite Bench::siteOf(CallId id, int board, Addr4882_t addr) {
    return {id, board, addr & 0xFF, sadOfCode(addr >> 8)};
}

bool Bench::faulted(const CallSite& site, const FaultDef*& fault, CallStatus& st) {
    fault = m_faults.match(site);
    if (!fault || fault->perform)
        return false;
    overlay(*fault, site, st);
    return true;
}

void Bench::overlay(const FaultDef& f, const CallSite& site, CallStatus& st) {
    // A board that could not be opened shows no state of its own.
    BoardState* b = site.id == CallId::ibfind ? nullptr : findBoard(site.board);
    int extra = f.ibstaBits;
    if (f.iberr == GPIB_EABO && extra == 0)
        extra = GPIB_TIMO;
    if (f.iberr) {
        if (f.perform)
            st.ibsta |= GPIB_ERR | extra;
        else
            fail(b, *f.iberr, st, extra);
        st.setError(*f.iberr);
    } else {
        st.ibsta |= extra;
    }
    if (f.count)
        st.setCount(*f.count);
}

int Bench::ibfind(const char* name, CallStatus& st) {
    BoardState* found = nullptr;
    if (name) {
        size_t n = strnlen(name, 256);
        for (auto& b : m_boards) {
            const std::string& bn = b.def.name;
            bool same = bn.size() == n;
            for (size_t i = 0; same && i < n; ++i)
                same = std::toupper(static_cast<unsigned char>(bn[i])) ==
                       std::toupper(static_cast<unsigned char>(name[i]));
            if (same)
                found = &b;
        }
    }
    const FaultDef* fault;
    CallSite site{CallId::ibfind, found ? found->def.index : -1};
    if (faulted(site, fault, st))
        return -1;
    if (!found) {
        fail(nullptr, GPIB_EDVR, st);
        return -1;
    }
    if (!found->def.present) {
        fail(nullptr, GPIB_ENEB, st);
        return -1;
    }
    found->reset();  // opening a board puts its configuration back, as ibonl(1) does
    ok(*found, st);
    if (fault)
        overlay(*fault, site, st);
    return fault && fault->iberr ? -1 : found->def.index;
}

int Bench::ibdev(int board, int pad, int sad, int tmo, int eot, int eos, CallStatus& st) {
    const FaultDef* fault;
    CallSite site{CallId::ibdev, board, pad, sadOfCode(sad)};
    if (faulted(site, fault, st))
        return -1;
    BoardState* b = boardFor(board, st);
    if (!b)
        return -1;
    if (pad < 0 || pad > 30 || !validSecondary(sad) || tmo < 0 || tmo > 17 || eos < 0 ||
        eos > 0xFFFF) {
        fail(b, GPIB_EARG, st);
        return -1;
    }
    auto it =
        std::find_if(m_descs.begin(), m_descs.end(), [](const DeviceDesc& d) { return !d.used; });
    if (it == m_descs.end()) {
        if (m_descs.size() >= kMaxDescriptors) {
            fail(b, GPIB_EDVR, st);  // the driver's descriptor table is full
            return -1;
        }
        it = m_descs.insert(m_descs.end(), DeviceDesc{});
    }
    *it = DeviceDesc{true, board, pad, sad, tmo, eot ? 1 : 0, eos, 11, tmo, eot ? 1 : 0, eos};
    st.ibsta = GPIB_CMPL;
    if (fault)
        overlay(*fault, site, st);
    return fault && fault->iberr ? -1 : int(it - m_descs.begin()) + kFirstDevice;
}

int Bench::ibonl(int ud, int v, CallStatus& st) {
    const FaultDef* fault;
    CallSite site = siteOf(CallId::ibonl, ud);
    if (faulted(site, fault, st))
        return st.ibsta;
    Target t;
    bool boardOffline = ud >= 0 && ud < kFirstDevice && findBoard(ud) && !findBoard(ud)->online;
    if (boardOffline) {
        t.board = findBoard(ud);  // bringing an offline board back is allowed
    } else if (!resolve(ud, t, st)) {
        return st.ibsta;
    }
    if (t.device) {
        DeviceDesc& d = *t.device;
        if (v == 0)
            d.used = false;
        else
            d.tmo = d.openedTmo, d.eot = d.openedEot, d.eos = d.openedEos, d.spollTmo = 11;
        st.ibsta = GPIB_CMPL;
    } else {
        if (v == 0)
            t.board->online = false;
        else
            t.board->reset();
        ok(*t.board, st);
    }
    if (fault)
        overlay(*fault, site, st);
    return st.ibsta;
}

int Bench::ibln(int ud, int pad, int sad, short* listen, CallStatus& st) {
    const FaultDef* fault;
    CallSite site = siteOf(CallId::ibln, ud);
    site.pad = pad;
    site.sad = sadOfCode(sad);
    if (faulted(site, fault, st))
        return st.ibsta;
    Target t;
    if (!resolve(ud, t, st))
        return st.ibsta;
    BoardState& b = *t.board;
    bool allSad = sad == -1;
    if (pad < 0 || pad > 30 || !(allSad || validSecondary(sad)) || !listen) {
        fail(&b, GPIB_EARG, st);
        return st.ibsta;
    }
    if (!b.cic) {
        fail(&b, GPIB_ECIC, st);
        return st.ibsta;
    }
    bool found = false;
    if (allSad) {
        for (int s = -1; s <= 30 && !found; ++s) {
            spend(m_def.timing.probeUs);
            found = listenerAt(b, {b.def.index, pad, s}) != nullptr;
        }
    } else {
        spend(m_def.timing.probeUs);
        found = listenerAt(b, {b.def.index, pad, sadOfCode(sad)}) != nullptr;
    }
    *listen = found ? 1 : 0;
    b.atn = true;
    b.talker = b.listener = false;
    ok(b, st);
    if (fault)
        overlay(*fault, site, st);
    return st.ibsta;
}

int Bench::ibsre(int ud, int v, CallStatus& st) {
    const FaultDef* fault;
    CallSite site = siteOf(CallId::ibsre, ud);
    if (faulted(site, fault, st))
        return st.ibsta;
    Target t;
    if (!resolve(ud, t, st))
        return st.ibsta;
    if (t.device) {
        fail(t.board, GPIB_EARG, st);  // REN is a board's line
        return st.ibsta;
    }
    BoardState& b = *t.board;
    if (!b.sc) {
        fail(&b, GPIB_ESAC, st);
        return st.ibsta;
    }
    int previous = b.ren ? 1 : 0;
    b.ren = v != 0;
    if (!b.ren)
        for (Instrument* i : b.instruments) i->setRemote(false);
    ok(b, st);
    st.setError(previous);  // like the other setters, iberr holds the previous setting
    if (fault)
        overlay(*fault, site, st);
    return st.ibsta;
}

}  // namespace sim
