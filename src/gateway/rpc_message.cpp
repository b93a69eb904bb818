#include "gateway/rpc_message.h"

#include <algorithm>

#include "gateway/xdr.h"

namespace gateway {

namespace {

constexpr uint32_t kCall = 0, kReply = 1;
constexpr uint32_t kRpcVersion = 2;
constexpr uint32_t kMsgAccepted = 0, kMsgDenied = 1;
constexpr uint32_t kRpcMismatch = 0, kAuthError = 1;
constexpr uint32_t kAuthBadCred = 1, kAuthBadVerf = 3;
constexpr uint32_t kMaxAuthBytes = 400;
constexpr uint32_t kLastFragment = 0x80000000u;
// Fragments of one record: libtirpc's senders cut a long write into pieces
// of a few kilobytes; no honest client needs more than this many.
constexpr uint32_t kMaxFragments = 65536;

void recordMark(std::string& out) {
    out.assign(4, '\0');
}

}  // namespace

void RecordAssembler::refuse(const std::string& why) {
    m_state = State::Refused;
    m_refusal = why;
}

void RecordAssembler::next() {
    m_state = State::Partial;
    m_record.clear();
    m_length = 0;
    m_header = 0;
    m_headerBytes = 0;
    m_fragmentLeft = 0;
    m_inFragment = m_lastFragment = false;
    m_fragments = 0;
    m_refusal.clear();
}

size_t RecordAssembler::feed(const char* data, size_t size) {
    size_t used = 0;
    while (m_state == State::Partial && used < size) {
        if (!m_inFragment) {
            m_header = m_header << 8 | uint8_t(data[used++]);
            if (++m_headerBytes < 4)
                continue;
            m_headerBytes = 0;
            m_lastFragment = (m_header & kLastFragment) != 0;
            m_fragmentLeft = m_header & ~kLastFragment;
            m_header = 0;
            if (++m_fragments > kMaxFragments) {
                refuse("a record of more than " + std::to_string(kMaxFragments) + " fragments");
                break;
            }
            if (m_fragmentLeft > m_hardLimit || m_length + m_fragmentLeft > m_hardLimit) {
                refuse("a record longer than " + std::to_string(m_hardLimit) + " bytes");
                break;
            }
            m_inFragment = true;
        } else {
            const size_t n = std::min<size_t>(m_fragmentLeft, size - used);
            const size_t keep = std::min(n, m_keepLimit - std::min(m_keepLimit, m_record.size()));
            m_record.append(data + used, keep);
            m_length += n;
            m_fragmentLeft -= uint32_t(n);
            used += n;
        }
        if (m_inFragment && m_fragmentLeft == 0) {
            m_inFragment = false;
            if (m_lastFragment)
                m_state =
                    m_length == 0 ? (refuse("an empty record"), State::Refused) : State::Complete;
        }
    }
    return used;
}

ParsedCall parseCall(std::string_view record) {
    ParsedCall c;
    XdrReader x(record);
    uint32_t direction = 0, rpcVersion = 0;
    if (!x.u32(c.header.xid) || !x.u32(direction)) {
        c.why = "a message cut short before its direction";
        return c;
    }
    if (direction != kCall) {
        c.why = direction == kReply ? "a reply where a call belongs" : "a message of no direction";
        return c;
    }
    if (!x.u32(rpcVersion)) {
        c.why = "a call cut short before its RPC version";
        return c;
    }
    if (rpcVersion != kRpcVersion) {
        c.verdict = ParsedCall::Verdict::RpcMismatch;
        c.why = "a call of another RPC version";
        return c;
    }
    if (!x.u32(c.header.program) || !x.u32(c.header.version) || !x.u32(c.header.procedure)) {
        c.why = "a call header cut short";
        return c;
    }
    // Credentials and verifier: a flavour each, then at most 400 bytes.
    for (uint32_t badStat : {kAuthBadCred, kAuthBadVerf}) {
        uint32_t flavour = 0, length = 0;
        if (!x.u32(flavour) || !x.u32(length)) {
            c.why = "a call header cut short in its credentials";
            return c;
        }
        if (length > kMaxAuthBytes) {
            c.verdict = ParsedCall::Verdict::AuthError;
            c.authStat = int(badStat);
            c.why = badStat == kAuthBadCred ? "credentials beyond 400 bytes"
                                            : "a verifier beyond 400 bytes";
            return c;
        }
        if (!x.skip((size_t(length) + 3) & ~size_t(3))) {
            c.why = "a call header cut short in its credentials";
            return c;
        }
    }
    c.args = record.substr(x.position());
    c.verdict = ParsedCall::Verdict::Call;
    return c;
}

void beginReply(std::string& out, uint32_t xid, uint32_t acceptStat) {
    recordMark(out);
    XdrWriter w(out);
    w.u32(xid);
    w.u32(kReply);
    w.u32(kMsgAccepted);
    w.u32(0);  // verifier AUTH_NONE
    w.u32(0);
    w.u32(acceptStat);
}

void finishReply(std::string& out) {
    const uint32_t length = uint32_t(out.size() - 4) | kLastFragment;
    out[0] = char(length >> 24);
    out[1] = char(length >> 16);
    out[2] = char(length >> 8);
    out[3] = char(length);
}

void acceptedReply(std::string& out, uint32_t xid, uint32_t acceptStat) {
    beginReply(out, xid, acceptStat);
    finishReply(out);
}

void progMismatchReply(std::string& out, uint32_t xid, uint32_t low, uint32_t high) {
    beginReply(out, xid, 2);  // PROG_MISMATCH
    XdrWriter w(out);
    w.u32(low);
    w.u32(high);
    finishReply(out);
}

void rpcMismatchReply(std::string& out, uint32_t xid) {
    recordMark(out);
    XdrWriter w(out);
    w.u32(xid);
    w.u32(kReply);
    w.u32(kMsgDenied);
    w.u32(kRpcMismatch);
    w.u32(kRpcVersion);
    w.u32(kRpcVersion);
    finishReply(out);
}

void authErrorReply(std::string& out, uint32_t xid, int authStat) {
    recordMark(out);
    XdrWriter w(out);
    w.u32(xid);
    w.u32(kReply);
    w.u32(kMsgDenied);
    w.u32(kAuthError);
    w.u32(uint32_t(authStat));
    finishReply(out);
}

void beginCall(std::string& out, uint32_t xid, uint32_t program, uint32_t version,
               uint32_t procedure) {
    recordMark(out);
    XdrWriter w(out);
    for (uint32_t word : {xid, kCall, kRpcVersion, program, version, procedure, 0u, 0u, 0u, 0u})
        w.u32(word);
}

}  // namespace gateway
