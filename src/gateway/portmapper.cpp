#include "gateway/portmapper.h"

#include "gateway/rpc_message.h"
#include "gateway/xdr.h"
#include "net/monotonic.h"
#include "net/socket.h"

namespace gateway {

namespace {

constexpr uint32_t kPortmapper = 100000, kVersion = 2, kSet = 1, kUnset = 2;
constexpr int64_t kDeadlineUs = 1'000'000;

// The reply's result: a bool after an accepted, successful header.
bool parseAnswer(std::string_view record, uint32_t xid, bool& yes) {
    XdrReader x(record);
    uint32_t gotXid = 0, direction = 0, stat = 0, flavour = 0, accept = 0, result = 0;
    std::string_view verifier;
    if (!x.u32(gotXid) || !x.u32(direction) || !x.u32(stat) || gotXid != xid || direction != 1)
        return false;
    if (stat != 0) {  // MSG_DENIED
        yes = false;
        return true;
    }
    if (!x.u32(flavour) || !x.opaque(verifier, 400) || !x.u32(accept))
        return false;
    yes = accept == 0 && x.u32(result) && result == 1;
    return true;
}

}  // namespace

PortmapperAnswer askPortmapper(int port, const Mapping& m, bool set, std::string& why) {
    const int64_t deadline = net::monotonicUs() + kDeadlineUs;
    net::Address at;
    net::numericAddress("127.0.0.1", port, at);
    net::Socket s = net::connectTo(at, deadline, why);
    if (!s.valid())
        return PortmapperAnswer::Nobody;
    std::string call;
    const uint32_t xid = uint32_t(net::monotonicUs());
    beginCall(call, xid, kPortmapper, kVersion, set ? kSet : kUnset);
    XdrWriter w(call);
    for (uint32_t v : {m.program, m.version, m.protocol, m.port}) w.u32(v);
    finishReply(call);
    int error = 0;
    if (net::writeAll(s.fd(), call.data(), call.size(), deadline, error) != net::Io::Done) {
        why = "the portmapper took no call";
        return PortmapperAnswer::Nobody;
    }
    RecordAssembler answer(4096, 4096);
    char buffer[512];
    while (answer.state() == RecordAssembler::State::Partial) {
        size_t got = 0;
        if (net::readSome(s.fd(), buffer, sizeof buffer, deadline, got, error) != net::Io::Done) {
            why = "the portmapper did not answer";
            return PortmapperAnswer::Nobody;
        }
        for (size_t used = 0; used < got && answer.state() == RecordAssembler::State::Partial;)
            used += answer.feed(buffer + used, got - used);
    }
    bool yes = false;
    if (answer.state() != RecordAssembler::State::Complete ||
        !parseAnswer(answer.record(), xid, yes)) {
        why = "the portmapper's answer is no answer";
        return PortmapperAnswer::Nobody;
    }
    if (!yes)
        why = "the portmapper refused";
    return yes ? PortmapperAnswer::Yes : PortmapperAnswer::No;
}

}  // namespace gateway
