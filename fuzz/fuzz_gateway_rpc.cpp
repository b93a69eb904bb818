// Any bytes a client may send tm-gateway: assembled into records within the
// limits, judged as calls, and every argument layout decoded from what
// follows the header. Nothing may be read outside the record, kept beyond
// the limit, or allocated for a length a client merely claims.

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_input.h"
#include "gateway/rpc_message.h"
#include "gateway/vxi11_args.h"
#include "gateway/xdr.h"

namespace {

constexpr size_t kKeep = 2048, kHard = 1 << 16;

bool within(std::string_view part, std::string_view whole) {
    return part.empty() || (part.data() >= whole.data() &&
                            part.data() + part.size() <= whole.data() + whole.size());
}

template <typename Args>
Args decoded(std::string_view args, bool& ok) {
    Args a;
    gateway::XdrReader x(args);
    ok = gateway::decode(x, a);
    return a;
}

void judge(std::string_view record) {
    const gateway::ParsedCall call = gateway::parseCall(record);
    FUZZ_CHECK(within(call.args, record));
    std::string reply;
    switch (call.verdict) {
        case gateway::ParsedCall::Verdict::Close:
            return;
        case gateway::ParsedCall::Verdict::RpcMismatch:
            gateway::rpcMismatchReply(reply, call.header.xid);
            FUZZ_CHECK(reply.size() == 28);
            return;
        case gateway::ParsedCall::Verdict::AuthError:
            FUZZ_CHECK(call.authStat == 1 || call.authStat == 3);
            gateway::authErrorReply(reply, call.header.xid, call.authStat);
            FUZZ_CHECK(reply.size() == 24);
            return;
        case gateway::ParsedCall::Verdict::Call:
            break;
    }
    bool ok = false;
    const std::string_view args = call.args;
    auto link = decoded<gateway::CreateLinkArgs>(args, ok);
    FUZZ_CHECK(!ok || (within(link.device, args) && link.device.size() <= gateway::kMaxLinkName));
    auto write = decoded<gateway::WriteArgs>(args, ok);
    FUZZ_CHECK(!ok || within(write.data, args));
    auto srq = decoded<gateway::EnableSrqArgs>(args, ok);
    FUZZ_CHECK(!ok || (within(srq.handle, args) && srq.handle.size() <= 40));
    auto docmd = decoded<gateway::DocmdArgs>(args, ok);
    FUZZ_CHECK(!ok || within(docmd.data, args));
    decoded<gateway::ReadArgs>(args, ok);
    decoded<gateway::GenericArgs>(args, ok);
    decoded<gateway::LockArgs>(args, ok);
    auto remote = decoded<gateway::RemoteFuncArgs>(args, ok);
    FUZZ_CHECK(!ok || remote.hostPort <= 65535);
    decoded<gateway::Mapping>(args, ok);
    gateway::XdrReader x(args);
    uint32_t claimed = 0;
    gateway::claimedWriteLength(x, claimed);
    // A reply whose body repeats the arguments is one record of their length.
    gateway::beginReply(reply, call.header.xid, 0);
    gateway::XdrWriter(reply).opaque(args.substr(0, 512));
    gateway::finishReply(reply);
    const auto* mark = reinterpret_cast<const uint8_t*>(reply.data());
    FUZZ_CHECK((uint32_t(mark[0] & 0x7F) << 24 | uint32_t(mark[1]) << 16 | uint32_t(mark[2]) << 8 |
                mark[3]) == reply.size() - 4);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first byte picks how the stream arrives: in pieces of 1 to 256 bytes.
    FuzzInput in(data, size);
    const size_t piece = size_t(in.number<uint8_t>()) + 1;
    const size_t start = size ? 1 : 0;
    gateway::RecordAssembler records(kKeep, kHard);
    const char* bytes = reinterpret_cast<const char*>(data) + start;
    size_t left = size - start;
    while (left > 0) {
        const size_t n = std::min(piece, left);
        size_t used = 0;
        while (used < n) {
            used += records.feed(bytes + used, n - used);
            const auto state = records.state();
            if (state == gateway::RecordAssembler::State::Refused)
                return 0;  // the connection would end here
            if (state == gateway::RecordAssembler::State::Complete) {
                FUZZ_CHECK(records.record().size() <= kKeep);
                FUZZ_CHECK(records.length() >= records.record().size());
                FUZZ_CHECK(records.length() <= kHard);
                judge(records.record());
                records.next();
            }
        }
        bytes += n;
        left -= n;
    }
    return 0;
}
