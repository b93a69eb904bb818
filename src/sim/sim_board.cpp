#include "sim/sim_board.h"

#include <algorithm>
#include <chrono>

namespace sim {

using gpibdrv::BusAddress;
using gpibdrv::kDone;

namespace {
constexpr double kIfcUs = 100.0;

size_t slotOf(int pad, int sad) {
    return size_t(pad * 32 + sad + 1);
}
}  // namespace

SimBus::SimBus(BenchDefinition definition, bool instantOverride)
    : m_def(std::move(definition)), m_clock(instantOverride || m_def.timing.instant) {
    for (const auto& inst : m_def.instruments)
        m_instruments.push_back(std::make_unique<Instrument>(inst, m_def.devices[inst.device]));
    for (const auto& board : m_def.boards)
        m_locks[board.index] = std::make_unique<std::recursive_mutex>();
}

Instrument* SimBus::instrumentAt(const GpibAddress& a) {
    for (auto& inst : m_instruments)
        if (inst->address() == a)
            return inst.get();
    return nullptr;
}

std::vector<Instrument*> SimBus::instrumentsOn(int board) {
    std::vector<Instrument*> on;
    for (auto& inst : m_instruments)
        if (inst->address().board == board)
            on.push_back(inst.get());
    return on;
}

void SimBus::spend(double us) {
    if (us >= 0.5)
        m_clock.wait(int64_t(us + 0.5));
}

int64_t SimBus::waitLimitUs(gpibdrv::Timeout t) const {
    // "No timeout" waits for ever on hardware; here it gives up after a
    // (long) while, so a forgotten read cannot hang the program for good.
    return t.limitUs(int64_t(m_def.timing.noTimeoutLimitMs) * 1000);
}

SimBoard::SimBoard(std::shared_ptr<SimBus> bus, const BoardDef& def)
    : m_bus(std::move(bus)), m_lock(m_bus->instrumentsLock(def.index)), m_def(def) {
    m_cic = m_atn = def.cicAtStart && def.systemController;
    m_instruments = m_bus->instrumentsOn(def.index);
    for (Instrument* inst : m_instruments)
        m_slots[slotOf(inst->address().pad, inst->address().sad)] = inst;
}

std::string SimBoard::describe() const {
    return "simulated bench, " + m_bus->definition().source;
}

int SimBoard::statusBits() {
    Hold hold(m_lock);
    int s = 0;
    if (m_cic)
        s |= GPIB_CIC;
    if (m_atn)
        s |= GPIB_ATN;
    if (m_addressing.ownTalks())
        s |= GPIB_TACS;
    if (m_addressing.ownListens())
        s |= GPIB_LACS;
    for (const Instrument* i : m_instruments)
        if (i->requestingService()) {
            s |= GPIB_SRQI;
            break;
        }
    return s;
}

Instrument* SimBoard::listenerAt(const BusAddress& a) {
    Instrument* inst = m_slots[slotOf(a.pad, a.sad)];
    return inst && inst->listens() ? inst : nullptr;
}

int SimBoard::address(const BusAddress& a, Instrument*& inst) {
    m_bus->spend(m_bus->definition().timing.commandUs);
    inst = listenerAt(a);
    takeControl();
    if (!inst)
        return GPIB_ENOL;
    if (m_ren)
        inst->setRemote(true);
    return kDone;
}

int SimBoard::send(BusAddress to, const char* data, long count, gpibdrv::EndMode end,
                   gpibdrv::Timeout t, long& sent) {
    Hold hold(m_lock);
    Instrument* inst = nullptr;
    if (int err = address(to, inst); err != kDone)
        return err;
    bool appendLf = end == gpibdrv::EndMode::AppendLf;
    SimClock& clock = m_bus->clock();
    const int64_t start = clock.nowUs();
    const int64_t limit = m_bus->waitLimitUs(t);
    if (!inst->settings().acceptsData && count + appendLf > 0) {
        waitUntil(start + limit);
        return GPIB_EABO;
    }
    m_addressed = inst;
    // The bytes take their bus time; what the timeout (or an interrupt)
    // leaves no time for is not sent.
    const double byteUs = m_bus->definition().timing.byteUs;
    long fits = count;
    if (byteUs > 0 && double(count) * byteUs > double(limit))
        fits = long(double(limit) / byteUs);
    const bool whole = waitUntil(start + int64_t(double(fits) * byteUs + 0.5));
    if (!whole && byteUs > 0)
        fits = std::min(fits, long(double(clock.nowUs() - start) / byteUs));
    const bool all = whole && fits == count;
    int64_t now = clock.nowUs();
    inst->receiveData(data, size_t(fits), all && end == gpibdrv::EndMode::EoiOnLast, now);
    if (appendLf && all)
        inst->receiveData("\n", 1, true, now);
    m_atn = false;
    m_addressing.setOwn(true, false);
    sent = fits;
    return all ? kDone : GPIB_EABO;
}

int SimBoard::receive(BusAddress from, char* dst, long count, int eos, gpibdrv::Timeout t,
                      long& got, int& ended) {
    Hold hold(m_lock);
    Instrument* inst = nullptr;
    if (int err = address(from, inst); err != kDone)
        return err;
    m_atn = false;
    m_addressing.setOwn(false, true);
    SimClock& clock = m_bus->clock();
    double byteUs = m_bus->definition().timing.byteUs;
    int64_t deadline = clock.nowUs() + m_bus->waitLimitUs(t);
    got = 0;
    ended = 0;
    while (got < count && !ended) {
        if (!inst->hasOutput()) {
            // Nothing (more) to say: the talker never sends a byte and the
            // read runs into the timeout, as it does on a real bus.
            if (got == 0)
                inst->readWithoutQuery();
            waitUntil(deadline);
            m_bus->spend(double(got) * byteUs);
            return GPIB_EABO;
        }
        int64_t ready = inst->outputReadyAt();
        if (ready > deadline) {
            waitUntil(deadline);
            return GPIB_EABO;
        }
        if (!waitUntil(ready))
            return GPIB_EABO;
        got += long(inst->takeOutput(dst + got, size_t(count - got), eos, ended));
    }
    if (got == count)
        ended |= gpibdrv::kEndCount;
    m_bus->spend(double(got) * byteUs);
    return kDone;
}

int SimBoard::serialPoll(BusAddress device, gpibdrv::Timeout t, uint8_t& status) {
    Hold hold(m_lock);
    Instrument* inst = nullptr;
    if (int err = address(device, inst); err != kDone)
        return err;
    if (!inst->settings().answersSerialPoll) {
        waitUntil(m_bus->clock().nowUs() + m_bus->waitLimitUs(t));
        return GPIB_EABO;
    }
    const TimingDef& timing = m_bus->definition().timing;
    m_bus->spend(timing.commandUs + timing.byteUs);
    status = inst->serialPoll();
    return kDone;
}

int SimBoard::trigger(const BusAddress* device) {
    Hold hold(m_lock);
    Instrument* inst = m_addressed;
    if (!device)
        m_bus->spend(m_bus->definition().timing.commandUs);
    else if (int err = address(*device, inst); err != kDone)
        return err;
    if (inst) {
        inst->trigger(m_bus->clock().nowUs());
        m_addressed = inst;
    }
    return kDone;
}

int SimBoard::clear(const BusAddress* device) {
    Hold hold(m_lock);
    if (!device) {
        m_bus->spend(m_bus->definition().timing.commandUs);
        for (Instrument* i : m_instruments)
            if (i->listens())
                i->deviceClear();
        return kDone;
    }
    Instrument* inst = nullptr;
    if (int err = address(*device, inst); err != kDone)
        return err;
    inst->deviceClear();
    m_addressed = inst;
    return kDone;
}

int SimBoard::interfaceClear() {
    Hold hold(m_lock);
    m_bus->spend(kIfcUs);
    m_cic = true;
    takeControl();
    m_addressed = nullptr;  // IFC unaddresses every device
    m_addressing.reset();
    m_ppcPending = false;
    return kDone;
}

int SimBoard::remoteEnable(bool on) {
    Hold hold(m_lock);
    m_ren = on;
    if (!on)
        for (Instrument* i : m_instruments) i->setRemote(false), i->setLockedOut(false);
    return kDone;
}

int SimBoard::listens(BusAddress device, bool& listening) {
    Hold hold(m_lock);
    m_bus->spend(m_bus->definition().timing.probeUs);
    listening = listenerAt(device) != nullptr;
    takeControl();
    return kDone;
}

int SimBoard::findListeners(std::span<const int> pads, size_t stopAfter,
                            std::vector<BusAddress>& found) {
    Hold hold(m_lock);
    takeControl();
    return Board::findListeners(pads, stopAfter, found);
}

int SimBoard::srqLine(bool& asserted) {
    Hold hold(m_lock);
    asserted = (statusBits() & GPIB_SRQI) != 0;
    return kDone;
}

std::vector<Instrument*> SimBoard::addressedListeners() {
    std::vector<Instrument*> found;
    auto add = [&](Instrument* inst) {
        if (inst && std::find(found.begin(), found.end(), inst) == found.end())
            found.push_back(inst);
    };
    for (const BusAddress& a : m_addressing.listeners()) {
        add(listenerAt(a));
        // An instrument at the primary address alone does not look at
        // secondaries: its listen address made it listen.
        if (a.sad >= 0)
            add(listenerAt({a.pad, -1}));
    }
    return found;
}

void SimBoard::commandByte(uint8_t byte) {
    using namespace gpibdrv::cmd;
    // The parity bit is not ours to judge.
    byte &= 0x7F;
    if (m_ppcPending && byte >= 0x60) {  // PPE or PPD, to each addressed listener
        for (Instrument* inst : addressedListeners())
            inst->configureParallelPoll(byte < PPD ? std::optional<uint8_t>(byte) : std::nullopt);
        return;
    }
    m_ppcPending = byte == PPC;
    if (m_addressing.take(byte, m_def.pad))
        return;
    if (byte == GET || byte == SDC || byte == GTL) {
        for (Instrument* inst : addressedListeners()) {
            if (byte == GET)
                inst->trigger(m_bus->clock().nowUs());
            else if (byte == SDC)
                inst->deviceClear();
            else
                inst->setRemote(false);
        }
    } else if (byte == DCL) {
        for (Instrument* i : m_instruments)
            if (i->listens())
                i->deviceClear();
    } else if (byte == LLO) {
        for (Instrument* i : m_instruments) i->setLockedOut(true);
    } else if (byte == PPU) {
        for (Instrument* i : m_instruments) i->configureParallelPoll(std::nullopt);
    } else if (byte == TCT && m_addressing.talker()) {
        // Control passes to the device addressed to talk; IFC takes it back.
        m_cic = false;
        m_atn = false;
        m_addressing.setOwn(false, false);
    }
    // The other commands (SPE, SPD) change nothing the bench models.
}

int SimBoard::command(std::span<const uint8_t> bytes, gpibdrv::Timeout, long& sent) {
    Hold hold(m_lock);
    sent = 0;
    if (!m_cic)
        return GPIB_ECIC;
    m_atn = true;
    const TimingDef& timing = m_bus->definition().timing;
    m_bus->spend(timing.commandUs + double(bytes.size()) * timing.byteUs);
    for (uint8_t b : bytes) commandByte(b);
    sent = long(bytes.size());
    std::vector<Instrument*> listeners = addressedListeners();
    m_addressed = listeners.empty() ? nullptr : listeners.back();
    if (m_ren)
        for (Instrument* inst : listeners) inst->setRemote(true);
    return kDone;
}

int SimBoard::lines(int& state) {
    Hold hold(m_lock);
    using namespace gpibdrv;
    state = 0xFF;  // the simulated bus shows every line
    if (m_ren)
        state |= kBusRen;
    if (m_atn)
        state |= kBusAtn;
    if (statusBits() & GPIB_SRQI)
        state |= kBusSrq;
    // Between bytes every device addressed to listen holds NDAC.
    if (!addressedListeners().empty())
        state |= kBusNdac;
    return kDone;
}

int SimBoard::waitSrq(gpibdrv::Timeout t, bool& asserted) {
    Hold hold(m_lock);
    // On the bench's clock: in instant timing the wait costs nothing, and an
    // instrument that asserts SRQ later still does so at its own moment.
    SimClock& clock = m_bus->clock();
    const int64_t limit = clock.nowUs() + m_bus->waitLimitUs(t);
    for (;;) {
        asserted = (statusBits() & GPIB_SRQI) != 0;
        int64_t now = clock.nowUs();
        if (asserted || now >= limit)
            return kDone;
        if (!waitUntil(std::min(limit, now + 1000)))
            return GPIB_EABO;
    }
}

bool SimBoard::waitUntil(int64_t us) {
    SimClock& clock = m_bus->clock();
    if (m_interrupted.load())
        return false;
    if (clock.instant()) {
        clock.waitUntil(us);
        return true;
    }
    // The long part asleep, where interrupt() can wake it; the last stretch
    // on the clock itself, which keeps the bus time of a byte exact.
    std::unique_lock<std::mutex> hold(m_waitLock);
    for (int64_t left; (left = us - clock.nowUs()) > 2000;)
        if (m_wake.wait_for(hold, std::chrono::microseconds(left - 1000),
                            [&] { return m_interrupted.load(); }))
            return false;
    hold.unlock();
    clock.waitUntil(us);
    return !m_interrupted.load();
}

void SimBoard::interrupt() {
    {
        std::lock_guard<std::mutex> hold(m_waitLock);
        m_interrupted = true;
    }
    m_wake.notify_all();
}

void SimBoard::clearInterrupt() {
    m_interrupted = false;
}

int SimBoard::parallelPoll(gpibdrv::Timeout, uint8_t& result) {
    Hold hold(m_lock);
    result = 0;
    if (!m_cic)
        return GPIB_ECIC;
    // IDY (ATN with EOI): each configured instrument drives its line.
    m_bus->spend(m_bus->definition().timing.commandUs);
    takeControl();
    for (const Instrument* i : m_instruments)
        if (int line = i->parallelPollLine(); line >= 0 && i->listens())
            result |= uint8_t(1u << line);
    return kDone;
}

int SimBoard::setAtn(bool asserted) {
    Hold hold(m_lock);
    if (!m_cic)
        return GPIB_ECIC;
    m_atn = asserted;
    return kDone;
}

}  // namespace sim
