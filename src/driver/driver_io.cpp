// Data and command bytes through a descriptor: ibrd, ibwrt, ibcmd and their
// file forms, ibcac and ibgts. A device descriptor addresses its device
// itself; a board descriptor reaches whoever the last command bytes (ibcmd,
// SendSetup, ReceiveSetup) addressed.
#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "driver/data_file.h"
#include "driver/driver.h"

namespace gpibdrv {

namespace {
constexpr int kDeviceBits = GPIB_ERR | GPIB_TIMO | GPIB_END | GPIB_CMPL | GPIB_RQS;
constexpr long kFileChunk = 64 * 1024;
}  // namespace

int Driver::readFrom(BoardState& b, BusAddress from, char* dst, long count, int eos, Timeout t,
                     long& got, bool& end) {
    int ended = 0;
    got = 0;
    // Without BIN the EOS byte is compared in 7 bits: the board stops at its
    // 7-bit value (message bytes above 127 are rare; the check below is exact).
    const int byte = (eos & kREOS) ? eos & ((eos & kBIN) ? 0xFF : 0x7F) : -1;
    int err = b.board->receive(from, dst, count, byte, t, got, ended);
    end = err == kDone && (ended & kEndEoi);
    return err;
}

int Driver::writeTo(BoardState& b, const std::vector<BusAddress>& to, const char* data, long count,
                    bool eoi, int eos, Timeout t, long& sent) {
    sent = 0;
    if (to.empty())
        return GPIB_ENOL;
    // XEOS: EOI goes with every EOS byte, so the message is sent in pieces
    // that each end with one (compared in 7 bits unless BIN says 8).
    const int mask = (eos & kBIN) ? 0xFF : 0x7F;
    for (const BusAddress& a : to) {
        long at = 0, done = 0;
        while (at < count || (count == 0 && at == 0)) {
            long end = count;
            if (eos & kXEOS)
                for (long i = at; i < count; ++i)
                    if ((static_cast<unsigned char>(data[i]) & mask) == (eos & mask)) {
                        end = i + 1;
                        break;
                    }
            const bool last = end == count;
            EndMode mode = (!last || eoi) ? EndMode::EoiOnLast : EndMode::None;
            long n = 0;
            int err = b.board->send(a, data + at, end - at, mode, t, n);
            done += n;
            if (err != kDone) {
                sent = done;
                return err;
            }
            at = end;
            if (count == 0)
                break;
        }
        sent = done;
    }
    return kDone;
}

int Driver::commandBytes(BoardState& b, std::span<const uint8_t> bytes, Timeout t, long& sent) {
    int err = b.board->command(bytes, t, sent);
    // What the bytes that went out addressed, for board-level transfers after them.
    const long took = std::clamp<long>(sent, 0, long(bytes.size()));
    b.addressing.take(bytes.first(size_t(took)), b.pad);
    return err;
}

int Driver::addressBus(BoardState& b, std::span<const uint8_t> bytes) {
    long sent = 0;
    int err = commandBytes(b, bytes, Timeout{b.tmo}, sent);
    if (err != GPIB_ECAP)
        return err;
    // A kind without command bytes addresses with each transfer: whom these
    // bytes would have addressed is whom the next transfers reach.
    b.addressing.take(bytes, b.pad);
    return kDone;
}

int Driver::addressListeners(BoardState& b, const std::vector<BusAddress>& to) {
    std::vector<uint8_t> bytes{cmd::UNL};
    for (const BusAddress& a : to) {
        bytes.push_back(cmd::LAD(a.pad));
        if (a.sad >= 0)
            bytes.push_back(cmd::SAD(a.sad));
    }
    bytes.push_back(cmd::TAD(b.pad));
    return addressBus(b, bytes);
}

int Driver::addressTalker(BoardState& b, BusAddress from) {
    std::vector<uint8_t> bytes{cmd::UNL, cmd::TAD(from.pad)};
    if (from.sad >= 0)
        bytes.push_back(cmd::SAD(from.sad));
    bytes.push_back(cmd::LAD(b.pad));
    return addressBus(b, bytes);
}

int Driver::ibrd(int ud, void* buffer, long count, CallStatus& st) {
    return onDescriptor(CallId::ibrd, ud, st, [&](BoardState& b, Target& t) {
        if (badBuffer(buffer, count)) {
            fail(&b, GPIB_EARG, st);
            return;
        }
        if (!cic(b)) {
            fail(&b, GPIB_ECIC, st);
            return;
        }
        const bool device = t.device.has_value();
        if (!device && !b.addressing.talker()) {
            fail(&b, GPIB_EADR, st);  // nobody was addressed to talk
            st.setCount(0);
            return;
        }
        const BusAddress from = device ? t.address() : *b.addressing.talker();
        const int eos = device ? t.device->eos : b.eos;
        long got = 0;
        bool eoi = false;
        int err = readFrom(b, from, static_cast<char*>(buffer), count, eos,
                           Timeout{device ? t.device->tmo : b.tmo}, got, eoi);
        // The EOS byte ends the message too, unless END is kept for EOI.
        const bool eosEnd = err == kDone && (eos & kREOS) && got > 0 &&
                            ((static_cast<unsigned char*>(buffer)[got - 1] ^ eos) &
                             ((eos & kBIN) ? 0xFF : 0x7F)) == 0;
        const bool end = eoi || (eosEnd && (device ? t.device->endBitIsNormal : b.endBitIsNormal));
        if (device) {
            updateDevice(ud, [&](DeviceDesc& d) { d.lastEnd = end; });
            if (err == kDone)
                deviceOk(b, *t.device, st, end);
            else
                finish(b, err, st), st.ibsta &= kDeviceBits;
        } else {
            b.lastEnd = end;
            finish(b, err, st);
            if (end)
                st.ibsta |= GPIB_END;
        }
        st.setCount(got);
    });
}

int Driver::ibwrt(int ud, const void* data, long count, CallStatus& st) {
    return onDescriptor(CallId::ibwrt, ud, st, [&](BoardState& b, Target& t) {
        if (badBuffer(data, count)) {
            fail(&b, GPIB_EARG, st);
            return;
        }
        if (!cic(b)) {
            fail(&b, GPIB_ECIC, st);
            return;
        }
        const bool device = t.device.has_value();
        std::vector<BusAddress> to =
            device ? std::vector<BusAddress>{t.address()} : b.addressing.listeners();
        long sent = 0;
        int err = writeTo(b, to, static_cast<const char*>(data), count,
                          device ? t.device->eot != 0 : b.eot, device ? t.device->eos : b.eos,
                          Timeout{device ? t.device->tmo : b.tmo}, sent);
        finish(b, err, st);
        if (device && err == kDone)
            deviceOk(b, *t.device, st);
        else if (device)
            st.ibsta &= kDeviceBits;
        st.setCount(sent);
    });
}

int Driver::ibcmd(int ud, const void* commands, long count, CallStatus& st) {
    return onDescriptor(CallId::ibcmd, ud, st, [&](BoardState& b, Target& t) {
        if (t.device || badBuffer(commands, count)) {
            fail(&b, GPIB_EARG, st);
            return;
        }
        if (!cic(b)) {
            fail(&b, GPIB_ECIC, st);
            return;
        }
        long sent = 0;
        int err = commandBytes(
            b, std::span<const uint8_t>(static_cast<const uint8_t*>(commands), size_t(count)),
            Timeout{b.tmo}, sent);
        finish(b, err, st);
        st.setCount(sent);
    });
}

int Driver::ibcac(int ud, int, CallStatus& st) {
    return onDescriptor(CallId::ibcac, ud, st, [&](BoardState& b, Target& t) {
        finish(b, t.device ? GPIB_EARG : !cic(b) ? GPIB_ECIC : b.board->setAtn(true), st);
    });
}

int Driver::ibgts(int ud, int, CallStatus& st) {
    return onDescriptor(CallId::ibgts, ud, st, [&](BoardState& b, Target& t) {
        finish(b, t.device ? GPIB_EARG : !cic(b) ? GPIB_ECIC : b.board->setAtn(false), st);
    });
}

int Driver::ibrdf(int ud, const char* path, CallStatus& st) {
    if (!path) {
        return onDescriptor(CallId::ibrdf, ud, st,
                            [&](BoardState& b, Target&) { fail(&b, GPIB_EARG, st); });
    }
    DataFile file;
    int error = 0;
    if (!file.openToAppend(path, error)) {
        return onDescriptor(CallId::ibrdf, ud, st, [&](BoardState& b, Target& t) {
            fail(&b, GPIB_EFSO, st);
            if (t.device)
                st.ibsta &= kDeviceBits;
            st.setCount(error);
        });
    }
    // The message in pieces, each appended as it comes, until it ends (END)
    // or a piece fails.
    std::vector<char> chunk(static_cast<size_t>(kFileChunk));
    long total = 0;
    for (;;) {
        CallStatus piece;
        ibrd(ud, chunk.data(), kFileChunk, piece);
        long got = piece.countSet ? piece.count : 0;
        if (got > 0 && std::fwrite(chunk.data(), 1, size_t(got), file.get()) != size_t(got)) {
            const int error = errno;
            st = piece;
            st.ibsta |= GPIB_ERR;
            st.setError(GPIB_EFSO);
            st.setCount(error);
            return st.ibsta;
        }
        total += got;
        st = piece;
        if ((piece.ibsta & (GPIB_ERR | GPIB_END)) || got < kFileChunk)
            break;
    }
    st.setCount(total);
    return st.ibsta;
}

int Driver::ibwrtf(int ud, const char* path, CallStatus& st) {
    DataFile file;
    int error = 0;
    if (!path || !file.openToSend(path, error)) {
        return onDescriptor(CallId::ibwrtf, ud, st, [&](BoardState& b, Target& t) {
            fail(&b, path ? GPIB_EFSO : GPIB_EARG, st);
            if (t.device)
                st.ibsta &= kDeviceBits;
            if (path)
                st.setCount(error);
        });
    }
    // The file in pieces, as long as it was when opened: EOI (where the
    // descriptor sends it) with the last. A file that shrank meanwhile ends
    // the transfer with EFSO.
    std::vector<char> chunk(static_cast<size_t>(kFileChunk));
    long total = 0;
    return onDescriptor(CallId::ibwrtf, ud, st, [&](BoardState& b, Target& t) {
        const bool device = t.device.has_value();
        std::vector<BusAddress> to =
            device ? std::vector<BusAddress>{t.address()} : b.addressing.listeners();
        const bool eot = device ? t.device->eot != 0 : b.eot;
        const int eos = device ? t.device->eos : b.eos;
        int err = cic(b) ? kDone : GPIB_ECIC;
        for (long left = file.size(); err == kDone;) {
            const size_t want = size_t(std::min(left, kFileChunk));
            const size_t n = std::fread(chunk.data(), 1, want, file.get());
            if (n < want) {
                err = GPIB_EFSO;
                break;
            }
            left -= long(n);
            long sent = 0;
            err = writeTo(b, to, chunk.data(), long(n), left == 0 && eot, eos,
                          Timeout{device ? t.device->tmo : b.tmo}, sent);
            total += sent;
            if (left == 0)
                break;
        }
        finish(b, err, st);
        if (device)
            st.ibsta &= kDeviceBits;
        st.setCount(total);
    });
}

}  // namespace gpibdrv
