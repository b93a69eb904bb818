// The bus operations of a platform board, each as the library's own call.
#include <algorithm>
#include <string>

#include "platform/platform_board.h"

namespace platform {

using gpibdrv::BusAddress;
using gpibdrv::kDone;
using gpibdrv::Timeout;

namespace {

constexpr int kNoSad = 0, kAllSad = -1;  // ibln's secondary address words

int sadWord(int sad) {
    return sad < 0 ? kNoSad : 0x60 + sad;
}

// The library ended a call by its timeout: the next slice may go on with it.
bool timedOut(int err, const CallResult& r) {
    return err == GPIB_EABO && (r.ibsta & GPIB_TIMO);
}

}  // namespace

int PlatformBoard::send(BusAddress to, const char* data, long count, gpibdrv::EndMode end,
                        Timeout t, long& sent) {
    sent = 0;
    Descriptor* d = nullptr;
    int err = device(to, d);
    if (err == kDone)
        err = endMode(*d, end != gpibdrv::EndMode::None);
    if (err != kDone)
        return err;
    // The line feed goes in the same write, so that EOI comes with it.
    std::string withLf;
    const char* bytes = data;
    long n = count;
    if (end == gpibdrv::EndMode::AppendLf) {
        if (count > 0)
            withLf.assign(data, size_t(count));
        withLf += '\n';
        bytes = withLf.data();
        n = long(withLf.size());
    }
    // A slice that timed out never reached the last byte, so EOI (with the
    // last byte of a call) only ever goes with the message's last byte.
    long done = 0;
    err = inSlices(*d, t, [&](bool& more) {
        api().ibwrt(d->ud, bytes + done, n - done);
        CallResult r;
        int e = outcome(false, &r);
        done += std::clamp(r.count, 0L, n - done);
        more = timedOut(e, r) && done < n;
        return e;
    });
    sent = std::min(done, count);
    return err;
}

int PlatformBoard::receive(BusAddress from, char* dst, long count, int eos, Timeout t, long& got,
                           int& ended) {
    got = 0;
    ended = 0;
    Descriptor* d = nullptr;
    int err = device(from, d);
    if (err == kDone)
        err = readEnd(*d, eos);
    if (err != kDone)
        return err;
    // A slice that timed out keeps what it read; the next reads on after it.
    CallResult r;
    err = inSlices(*d, t, [&](bool& more) {
        api().ibrd(d->ud, dst + got, count - got);
        int e = outcome(false, &r);
        got += std::clamp(r.count, 0L, count - got);
        more = timedOut(e, r) && got < count;
        return e;
    });
    if (err != kDone)
        return err;
    // END says EOI or the termination byte; the last byte tells them apart
    // (a termination byte sent with EOI counts as the byte).
    if (r.ibsta & GPIB_END) {
        const bool byte = eos >= 0 && got > 0 && uint8_t(dst[got - 1]) == eos;
        ended |= byte ? gpibdrv::kEndChar : gpibdrv::kEndEoi;
    }
    if (got == count)
        ended |= gpibdrv::kEndCount;
    return kDone;
}

int PlatformBoard::serialPoll(BusAddress device, Timeout t, uint8_t& status) {
    if (int err = unusable(api().ibrsp != nullptr); err != kDone)
        return err;
    Descriptor* d = nullptr;
    if (int err = this->device(device, d); err != kDone)
        return err;
    // A poll nobody answered changed nothing: the next slice polls again.
    char byte = 0;
    int err = inSlices(*d, t, [&](bool& more) {
        api().ibrsp(d->ud, &byte);
        CallResult r;
        int e = outcome(false, &r);
        more = timedOut(e, r);
        return e;
    });
    if (err == kDone)
        status = uint8_t(byte);
    return err;
}

int PlatformBoard::trigger(const BusAddress* device) {
    if (!device)
        return busCommand(gpibdrv::cmd::GET);
    Descriptor* d = nullptr;
    if (int err = unusable(api().ibtrg != nullptr); err != kDone)
        return err;
    if (int err = this->device(*device, d); err != kDone)
        return err;
    api().ibtrg(d->ud);
    return outcome(false);
}

int PlatformBoard::clear(const BusAddress* device) {
    if (!device)
        return busCommand(gpibdrv::cmd::DCL);
    Descriptor* d = nullptr;
    if (int err = unusable(api().ibclr != nullptr); err != kDone)
        return err;
    if (int err = this->device(*device, d); err != kDone)
        return err;
    api().ibclr(d->ud);
    return outcome(false);
}

int PlatformBoard::busCommand(uint8_t byte) {
    long sent = 0;
    return command(std::span<const uint8_t>(&byte, 1), Timeout{}, sent);
}

int PlatformBoard::interfaceClear() {
    if (int err = unusable(api().ibsic != nullptr); err != kDone)
        return err;
    api().ibsic(m_board.ud);
    return outcome(true);
}

int PlatformBoard::remoteEnable(bool on) {
    constexpr int kSreOption = 0xB;
    if (!m_open)
        return GPIB_ENEB;
    if (api().ibsre)
        api().ibsre(m_board.ud, on ? 1 : 0);
    else if (api().ibconfig)
        api().ibconfig(m_board.ud, kSreOption, on ? 1 : 0);
    else
        return GPIB_ECAP;
    return outcome(true);
}

int PlatformBoard::listens(BusAddress device, bool& listening) {
    listening = false;
    if (int err = unusable(api().ibln != nullptr); err != kDone)
        return err;
    short found = 0;
    api().ibln(m_board.ud, device.pad, sadWord(device.sad), &found);
    int err = outcome(true);
    listening = err == kDone && found != 0;
    return err;
}

int PlatformBoard::findListeners(std::span<const int> pads, size_t stopAfter,
                                 std::vector<BusAddress>& found) {
    if (int err = unusable(api().ibln != nullptr); err != kDone)
        return err;
    auto ask = [this](int pad, int sadWord, bool& yes) {
        short answer = 0;
        api().ibln(m_board.ud, pad, sadWord, &answer);
        int err = outcome(true);
        yes = err == kDone && answer != 0;
        return err;
    };
    for (int pad : pads) {
        bool yes = false;
        if (int err = ask(pad, kNoSad, yes); err != kDone)
            return err;
        if (yes) {
            found.push_back({pad, -1});
        } else {
            // One question for all 31 secondaries: most addresses have none.
            if (int err = ask(pad, kAllSad, yes); err != kDone)
                return err;
            for (int s = 0; yes && s <= 30 && found.size() <= stopAfter; ++s) {
                bool at = false;
                if (int err = ask(pad, sadWord(s), at); err != kDone)
                    return err;
                if (at)
                    found.push_back({pad, s});
            }
        }
        if (found.size() > stopAfter)
            return kDone;
    }
    return kDone;
}

int PlatformBoard::srqLine(bool& asserted) {
    asserted = false;
    if (!m_open)
        return GPIB_ENEB;
    if (api().iblines) {
        short state = 0;
        api().iblines(m_board.ud, &state);
        if (int err = outcome(true); err != kDone)
            return err;
        if (state & gpibdrv::kValidSrq) {
            asserted = (state & gpibdrv::kBusSrq) != 0;
            return kDone;
        }
    }
    // A board that cannot see the line still shows SRQI in its status.
    if (!api().ibwait)
        return GPIB_ECAP;
    api().ibwait(m_board.ud, 0);
    CallResult r;
    int err = outcome(true, &r);
    asserted = err == kDone && (r.ibsta & GPIB_SRQI);
    return err;
}

int PlatformBoard::command(std::span<const uint8_t> bytes, Timeout t, long& sent) {
    sent = 0;
    if (int err = unusable(api().ibcmd != nullptr); err != kDone)
        return err;
    const long n = long(bytes.size());
    return inSlices(m_board, t, [&](bool& more) {
        api().ibcmd(m_board.ud, bytes.data() + sent, n - sent);
        CallResult r;
        int e = outcome(true, &r);
        sent += std::clamp(r.count, 0L, n - sent);
        more = timedOut(e, r) && sent < n;
        return e;
    });
}

int PlatformBoard::goToLocal(BusAddress device) {
    if (!m_open)
        return GPIB_ENEB;
    if (!api().ibloc)
        return Board::goToLocal(device);
    Descriptor* d = nullptr;
    if (int err = this->device(device, d); err != kDone)
        return err;
    api().ibloc(d->ud);
    return outcome(false);
}

int PlatformBoard::lines(int& state) {
    if (!m_open)
        return GPIB_ENEB;
    if (!api().iblines)
        return Board::lines(state);
    short value = 0;
    api().iblines(m_board.ud, &value);
    int err = outcome(true);
    state = err == kDone ? (value & 0xFFFF) : 0;
    return err;
}

int PlatformBoard::parallelPoll(Timeout t, uint8_t& result) {
    result = 0;
    if (int err = unusable(api().ibrpp != nullptr); err != kDone)
        return err;
    char byte = 0;
    int err = inSlices(m_board, t, [&](bool& more) {
        api().ibrpp(m_board.ud, &byte);
        CallResult r;
        int e = outcome(true, &r);
        more = timedOut(e, r);
        return e;
    });
    if (err == kDone)
        result = uint8_t(byte);
    return err;
}

int PlatformBoard::waitSrq(Timeout t, bool& asserted) {
    asserted = false;
    if (!m_open)
        return GPIB_ENEB;
    if (!api().ibwait)
        return Board::waitSrq(t, asserted);
    // A wait ends with TIMO and without an error when its code ran out.
    return inSlices(m_board, t, [&](bool& more) {
        api().ibwait(m_board.ud, GPIB_SRQI | GPIB_TIMO);
        CallResult r;
        int e = outcome(true, &r);
        asserted = e == kDone && (r.ibsta & GPIB_SRQI);
        more = e == kDone && !asserted && (r.ibsta & GPIB_TIMO);
        return e;
    });
}

}  // namespace platform
