#pragma once
// ONC RPC messages (RFC 5531) as the server meets them on a stream: records
// assembled from fragments within fixed limits, call headers judged field
// by field, and the replies each verdict calls for. Everything a client
// sends is hostile until it has been read within these limits: a record
// too long to keep is counted and dropped, not stored; a fragment beyond the
// hard limit, an empty record, a header cut short or a message that is no
// call ends the connection, since no reply can be addressed to it.

#include <cstdint>
#include <string>
#include <string_view>

namespace gateway {

class RecordAssembler {
  public:
    // Up to keepLimit bytes of a record are kept; a record (or a fragment)
    // longer than hardLimit is refused.
    RecordAssembler(size_t keepLimit, size_t hardLimit)
        : m_keepLimit(keepLimit), m_hardLimit(hardLimit) {}

    enum class State { Partial, Complete, Refused };
    // Takes bytes up to the end of the record in progress; answers how many
    // it took. Once Complete (or Refused) it takes nothing more until next().
    size_t feed(const char* data, size_t size);
    State state() const { return m_state; }
    // The kept bytes of a complete record, and the whole record's length.
    std::string_view record() const { return m_record; }
    uint64_t length() const { return m_length; }
    bool truncated() const { return m_length > m_record.size(); }
    // Whether part of a record has arrived (a record in progress).
    bool started() const { return m_headerBytes > 0 || m_length > 0 || m_fragments > 0; }
    const std::string& refusal() const { return m_refusal; }
    // Ready for the next record.
    void next();

  private:
    void refuse(const std::string& why);

    size_t m_keepLimit, m_hardLimit;
    State m_state = State::Partial;
    std::string m_record;
    uint64_t m_length = 0;
    uint32_t m_header = 0;
    int m_headerBytes = 0;  // of the fragment header in progress
    uint32_t m_fragmentLeft = 0;
    bool m_inFragment = false, m_lastFragment = false;
    uint32_t m_fragments = 0;
    std::string m_refusal;
};

// A call's header as RFC 5531 lays it out.
struct CallHeader {
    uint32_t xid = 0, program = 0, version = 0, procedure = 0;
};

struct ParsedCall {
    enum class Verdict {
        Call,         // a call to dispatch; args follow the header
        RpcMismatch,  // RPC version other than 2: MSG_DENIED, RPC_MISMATCH 2..2
        AuthError,    // credentials or verifier beyond 400 bytes: MSG_DENIED, AUTH_ERROR
        Close,        // no reply can be made: the connection ends
    };
    Verdict verdict = Verdict::Close;
    CallHeader header;
    int authStat = 0;       // for AuthError
    std::string_view args;  // for Call
    const char* why = "";   // for Close and the denials, for the log
};

ParsedCall parseCall(std::string_view record);

// Replies, each a whole record with its record mark.
// MSG_ACCEPTED with this accept_stat; the body (results, or the version
// range of PROG_MISMATCH) follows with finishReply().
void beginReply(std::string& out, uint32_t xid, uint32_t acceptStat);
void finishReply(std::string& out);
void rpcMismatchReply(std::string& out, uint32_t xid);
void authErrorReply(std::string& out, uint32_t xid, int authStat);
// PROG_MISMATCH with the versions served.
void progMismatchReply(std::string& out, uint32_t xid, uint32_t low, uint32_t high);
void acceptedReply(std::string& out, uint32_t xid, uint32_t acceptStat);

// A call of our own (the interrupt channel's device_intr_srq, the portmapper
// registration): the header with AUTH_NONE; the arguments follow, then
// finishReply() marks the record.
void beginCall(std::string& out, uint32_t xid, uint32_t program, uint32_t version,
               uint32_t procedure);

}  // namespace gateway
