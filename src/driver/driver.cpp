#include "driver/driver.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "net/monotonic.h"

namespace gpibdrv {

namespace {
constexpr int kFirstDevice = 16;
constexpr size_t kMaxDescriptors = 1024;

// The table slot of a device descriptor: compared before any arithmetic, so
// that whatever a program passes (INT_MIN, INT_MAX) stays defined.
bool deviceSlot(int ud, size_t& slot) {
    if (ud < kFirstDevice)
        return false;
    slot = size_t(ud) - size_t(kFirstDevice);
    return true;
}

bool validSecondary(int sad) {
    return sad == 0 || (sad >= 0x60 && sad <= 0x7E);
}
int sadOfCode(int code) {
    return code >= 0x60 ? code - 0x60 : -1;
}
bool sameName(const std::string& known, const char* name, size_t n) {
    if (known.size() != n)
        return false;
    for (size_t i = 0; i < n; ++i)
        if (std::toupper(static_cast<unsigned char>(known[i])) !=
            std::toupper(static_cast<unsigned char>(name[i])))
            return false;
    return true;
}
}  // namespace

bool decodeAddress(Addr4882_t addr, BusAddress& out) {
    int pad = addr & 0xFF, code = addr >> 8;
    if (pad > 30 || (code != 0 && (code < 0x60 || code > 0x7E)))
        return false;
    out = {pad, sadOfCode(code)};
    return true;
}

int64_t timeoutUs(int code) {
    static constexpr int64_t kTable[] = {
        0,      10,     30,      100,     300,      1000,     3000,      10000,     30000,
        100000, 300000, 1000000, 3000000, 10000000, 30000000, 100000000, 300000000, 1000000000};
    return code >= 0 && code <= 17 ? kTable[code] : 0;
}

int timeoutCodeNotShorter(int64_t us) {
    int code = 1;
    while (code < 17 && timeoutUs(code) < us) ++code;
    return code;
}

int timeoutCodeNotLonger(int64_t us) {
    int code = 17;
    while (code > 0 && timeoutUs(code) > us) --code;
    return code;
}

BusAddress Driver::Target::address() const {
    return device ? BusAddress{device->pad, sadOfCode(device->sad)} : BusAddress{};
}

void Driver::BoardState::reset() {
    pad = setup.pad;
    sad = setup.sad;
    tmo = setup.timeoutCode;
    eos = 0;
    spollTmo = 11;
    ppollTmo = 5;
    eot = true;
    online = true;
    autopoll = true;
    endBitIsNormal = true;
    pp2 = false;
    ist = rsv = ppc = 0;
    lastEnd = false;
    addressing.reset();
    queued.clear();
}

Driver::Driver()
    : m_faults(std::make_unique<FaultInjector>(m_faultDefs)), m_nowUs(net::monotonicUs) {}

Driver::~Driver() = default;

void Driver::addBoard(const BoardSetup& setup, std::unique_ptr<Board> board) {
    auto b = std::make_unique<BoardState>();
    b->setup = setup;
    b->board = std::move(board);
    b->sc = setup.systemController;
    b->reset();
    m_boards.push_back(std::move(b));
}

void Driver::setFaults(std::vector<FaultDef> faults) {
    m_faultDefs = std::move(faults);
    m_faults = std::make_unique<FaultInjector>(m_faultDefs);
}

Board* Driver::board(int index) {
    BoardState* b = findBoard(index);
    return b ? b->board.get() : nullptr;
}

const BoardSetup* Driver::setup(int index) const {
    for (const auto& b : m_boards)
        if (b->setup.index == index)
            return &b->setup;
    return nullptr;
}

Driver::BoardState* Driver::findBoard(int index) {
    for (auto& b : m_boards)
        if (b->setup.index == index)
            return b.get();
    return nullptr;
}

bool Driver::isOpenDevice(int ud) {
    std::lock_guard<std::mutex> hold(m_table);
    size_t i = 0;
    return deviceSlot(ud, i) && i < m_descs.size() && m_descs[i].used;
}

Driver::BoardState* Driver::boardFor(int index, CallStatus& st) {
    BoardState* b = findBoard(index);
    if (!b) {
        fail(nullptr, GPIB_EDVR, st);
        st.unknownDescriptor = true;
        return nullptr;
    }
    if (!b->setup.present) {
        fail(nullptr, GPIB_ENEB, st);
        return nullptr;
    }
    return b;
}

bool Driver::resolve(int ud, Target& t, CallStatus& st) {
    if (ud >= 0 && ud < kFirstDevice) {
        t.board = boardFor(ud, st);
        if (t.board && !t.board->online) {
            fail(nullptr, GPIB_EDVR, st);
            return false;
        }
        return t.board != nullptr;
    }
    {
        std::lock_guard<std::mutex> hold(m_table);
        size_t i = 0;
        if (!deviceSlot(ud, i) || i >= m_descs.size() || !m_descs[i].used) {
            fail(nullptr, GPIB_EDVR, st);
            st.unknownDescriptor = true;
            return false;
        }
        t.device = m_descs[i];
    }
    t.board = findBoard(t.device->board);
    if (!t.board) {
        fail(nullptr, GPIB_EDVR, st);
        return false;
    }
    return true;
}

bool Driver::usable(BoardState& b, CallStatus& st) {
    if (!m_openOnFirstUse || b.opened)
        return true;
    std::string reason;
    if (int err = b.board->open(reason); err != kDone) {
        fail(nullptr, err, st);
        return false;
    }
    b.opened = true;
    return true;
}

void Driver::updateDevice(int ud, const std::function<void(DeviceDesc&)>& change) {
    std::lock_guard<std::mutex> hold(m_table);
    size_t i = 0;
    if (deviceSlot(ud, i) && i < m_descs.size() && m_descs[i].used)
        change(m_descs[i]);
}

void Driver::fail(BoardState* b, int err, CallStatus& st, int extra) {
    // A call refused before it reaches a board shows ERR alone; one the board
    // took shows the board's state as well.
    st.ibsta = GPIB_ERR | extra | (b ? GPIB_CMPL | bits(*b) : 0);
    st.setError(err);
}

void Driver::finish(BoardState& b, int result, CallStatus& st) {
    if (result == kDone)
        ok(b, st);
    else
        fail(&b, result, st, result == GPIB_EABO ? GPIB_TIMO : 0);
}

void Driver::deviceOk(BoardState& b, const DeviceDesc& d, CallStatus& st, bool end) {
    st.ibsta = GPIB_CMPL | (end ? GPIB_END : 0);
    auto q = b.queued.find(addressKey({d.pad, sadOfCode(d.sad)}));
    if (q != b.queued.end() && !q->second.empty())
        st.ibsta |= GPIB_RQS;
}

int Driver::addressable(BoardState& b, Addr4882_t addr, BusAddress& out) {
    if (!decodeAddress(addr, out))
        return GPIB_EARG;
    if (!cic(b))
        return GPIB_ECIC;
    return kDone;
}

CallSite Driver::siteOf(CallId id, int ud) {
    CallSite s{id, -1, -1, -1};
    size_t i = 0;
    if (ud >= 0 && ud < kFirstDevice) {
        s.board = ud;
    } else if (deviceSlot(ud, i)) {
        std::lock_guard<std::mutex> hold(m_table);
        if (i < m_descs.size()) {
            const DeviceDesc& d = m_descs[i];
            s = {id, d.board, d.pad, sadOfCode(d.sad)};
        }
    }
    return s;
}

CallSite Driver::siteOf(CallId id, int board, Addr4882_t addr) {
    return {id, board, addr & 0xFF, sadOfCode(addr >> 8)};
}

bool Driver::faulted(const CallSite& site, const FaultDef*& fault, CallStatus& st) {
    fault = m_faults->match(site);
    if (!fault || fault->perform)
        return false;
    overlay(*fault, site, st);
    return true;
}

void Driver::overlay(const FaultDef& f, const CallSite& site, CallStatus& st) {
    // A board that could not be opened shows no state of its own.
    BoardState* b = site.id == CallId::ibfind ? nullptr : findBoard(site.board);
    int extra = f.ibstaBits;
    if (f.iberr == GPIB_EABO && extra == 0)
        extra = GPIB_TIMO;
    if (f.iberr) {
        if (f.perform) {
            st.ibsta |= GPIB_ERR | extra;
        } else if (b) {
            std::lock_guard<BusLock> hold(b->bus);
            fail(b, *f.iberr, st, extra);
        } else {
            fail(nullptr, *f.iberr, st, extra);
        }
        st.setError(*f.iberr);
    } else {
        st.ibsta |= extra;
    }
    if (f.count)
        st.setCount(*f.count);
}

int Driver::ibfind(const char* name, CallStatus& st) {
    BoardState* found = nullptr;
    const NamedDevice* named = nullptr;
    if (name) {
        size_t n = strnlen(name, 256);
        for (auto& b : m_boards)
            if (sameName(b->setup.name, name, n))
                found = b.get();
        for (const NamedDevice& d : m_named)
            if (!found && sameName(d.name, name, n))
                named = &d;
    }
    if (named)
        found = findBoard(named->board);
    if (found)
        m_lastOpened = found->setup.index;  // the title names it, opened or not
    const FaultDef* fault;
    CallSite site{CallId::ibfind, found ? found->setup.index : -1};
    if (named)
        site.pad = named->pad, site.sad = sadOfCode(named->sad);
    if (faulted(site, fault, st))
        return -1;
    if (!found) {
        fail(nullptr, GPIB_EDVR, st);
        return -1;
    }
    int result = -1;
    {
        std::lock_guard<BusLock> hold(found->bus);
        std::string reason;
        int opened = found->setup.present ? found->board->open(reason) : GPIB_ENEB;
        if (opened != kDone) {
            fail(nullptr, opened, st);
            return -1;
        }
        found->opened = true;
        if (named) {
            result = openDevice(*found, *named, st);
        } else {
            found->reset();  // opening a board puts its configuration back, as ibonl(1) does
            ok(*found, st);
            result = found->setup.index;
        }
    }
    if (fault)
        overlay(*fault, site, st);
    return fault && fault->iberr ? -1 : result;
}

int Driver::openDevice(BoardState& b, const NamedDevice& d, CallStatus& st) {
    std::lock_guard<std::mutex> hold(m_table);
    auto it =
        std::find_if(m_descs.begin(), m_descs.end(), [](const DeviceDesc& x) { return !x.used; });
    if (it == m_descs.end()) {
        if (m_descs.size() >= kMaxDescriptors) {
            fail(&b, GPIB_EDVR, st);  // the driver's descriptor table is full
            return -1;
        }
        it = m_descs.insert(m_descs.end(), DeviceDesc{});
    }
    DeviceDesc desc;
    desc.used = true;
    desc.board = desc.openedBoard = d.board;
    desc.pad = desc.openedPad = d.pad;
    desc.sad = desc.openedSad = d.sad;
    desc.tmo = desc.openedTmo = d.timeoutCode;
    desc.eot = desc.openedEot = d.eot ? 1 : 0;
    desc.eos = desc.openedEos = d.eos;
    *it = desc;
    st.ibsta = GPIB_CMPL;
    return int(it - m_descs.begin()) + kFirstDevice;
}

int Driver::ibdev(int board, int pad, int sad, int tmo, int eot, int eos, CallStatus& st) {
    const FaultDef* fault;
    CallSite site{CallId::ibdev, board, pad, sadOfCode(sad)};
    if (faulted(site, fault, st))
        return -1;
    BoardState* b = boardFor(board, st);
    st.unknownDescriptor = false;  // ibdev's board is the board to open, not a descriptor
    if (!b)
        return -1;
    int ud = -1;
    {
        std::lock_guard<BusLock> hold(b->bus);
        if (!usable(*b, st))
            return -1;
        if (pad < 0 || pad > 30 || !validSecondary(sad) || tmo < 0 || tmo > 17 || eos < 0 ||
            eos > 0xFFFF) {
            fail(b, GPIB_EARG, st);
            return -1;
        }
        ud = openDevice(*b, {"", board, pad, sad, tmo, eot != 0, eos}, st);
    }
    if (fault)
        overlay(*fault, site, st);
    return fault && fault->iberr ? -1 : ud;
}

int Driver::ibonl(int ud, int v, CallStatus& st) {
    const FaultDef* fault;
    CallSite site = siteOf(CallId::ibonl, ud);
    if (faulted(site, fault, st))
        return st.ibsta;
    Target t;
    BoardState* offline = ud >= 0 && ud < kFirstDevice ? findBoard(ud) : nullptr;
    if (offline && !offline->online) {
        t.board = offline;  // bringing an offline board back is allowed
    } else if (!resolve(ud, t, st)) {
        return st.ibsta;
    }
    if (t.device) {
        updateDevice(ud, [&](DeviceDesc& d) {
            if (v == 0) {
                d.used = false;
                return;
            }
            d.tmo = d.openedTmo, d.eot = d.openedEot, d.eos = d.openedEos, d.spollTmo = 11;
            d.pad = d.openedPad, d.sad = d.openedSad, d.board = d.openedBoard;
            d.endBitIsNormal = true;
        });
        st.ibsta = GPIB_CMPL;
    } else {
        std::lock_guard<BusLock> hold(t.board->bus);
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

int Driver::ibln(int ud, int pad, int sad, short* listen, CallStatus& st) {
    const FaultDef* fault;
    CallSite site = siteOf(CallId::ibln, ud);
    site.pad = pad;
    site.sad = sadOfCode(sad);
    if (faulted(site, fault, st))
        return st.ibsta;
    Target t;
    if (!resolve(ud, t, st))
        return st.ibsta;
    {
        BoardState& b = *t.board;
        std::lock_guard<BusLock> hold(b.bus);
        bool allSad = sad == -1;
        if (pad < 0 || pad > 30 || !(allSad || validSecondary(sad)) || !listen) {
            fail(&b, GPIB_EARG, st);
            return st.ibsta;
        }
        if (!cic(b)) {
            fail(&b, GPIB_ECIC, st);
            return st.ibsta;
        }
        int result = kDone;
        bool found = false;
        if (allSad) {
            std::vector<BusAddress> listeners;
            const int pads[] = {pad};
            result = b.board->findListeners(pads, 0, listeners);
            found = !listeners.empty();
        } else {
            result = b.board->listens({pad, sadOfCode(sad)}, found);
        }
        *listen = found ? 1 : 0;
        finish(b, result, st);
    }
    if (fault)
        overlay(*fault, site, st);
    return st.ibsta;
}

int Driver::changeRen(BoardState& b, bool on, CallStatus& st) {
    if (!b.sc) {
        fail(&b, GPIB_ESAC, st);
        return -1;
    }
    if (int err = b.board->remoteEnable(on); err != kDone) {
        fail(&b, err, st);  // a board that cannot drive REN so says (ECAP)
        return -1;
    }
    int previous = b.ren ? 1 : 0;
    b.ren = on;
    return previous;
}

int Driver::ibsre(int ud, int v, CallStatus& st) {
    return onDescriptor(CallId::ibsre, ud, st, [&](BoardState& b, Target& t) {
        if (t.device) {
            fail(&b, GPIB_EARG, st);  // REN is a board's line
            return;
        }
        int previous = changeRen(b, v != 0, st);
        if (previous < 0)
            return;
        ok(b, st);
        st.setError(previous);  // like the other setters, iberr holds the previous setting
    });
}

}  // namespace gpibdrv
