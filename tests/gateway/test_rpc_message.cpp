// Records assembled from fragments however the bytes arrive, within the
// limits; call headers judged field by field.
#include <gtest/gtest.h>

#include "gateway/rpc_message.h"
#include "gateway/xdr.h"

namespace {

using gateway::ParsedCall;
using gateway::RecordAssembler;
using State = RecordAssembler::State;

std::string words(std::initializer_list<uint32_t> list) {
    std::string out;
    gateway::XdrWriter w(out);
    for (uint32_t v : list) w.u32(v);
    return out;
}

std::string fragment(const std::string& body, bool last) {
    return words({(last ? 0x80000000u : 0u) | uint32_t(body.size())}) + body;
}

TEST(RecordAssemblerTest, FragmentsMakeOneRecordWhateverPiecesTheyArriveIn) {
    const std::string stream = fragment("abcd", false) + fragment("", false) +
                               fragment("efghij", true) + fragment("next", true);
    for (size_t piece : {1, 3, 7, 64}) {
        RecordAssembler r(100, 1000);
        size_t at = 0;
        while (r.state() == State::Partial && at < stream.size())
            at += r.feed(stream.data() + at, std::min(piece, stream.size() - at));
        ASSERT_EQ(r.state(), State::Complete) << piece;
        EXPECT_EQ(r.record(), "abcdefghij");
        EXPECT_FALSE(r.truncated());
        // What follows is the next record's, untouched.
        EXPECT_EQ(stream.substr(at), fragment("next", true)) << piece;
        r.next();
        at += r.feed(stream.data() + at, stream.size() - at);
        EXPECT_EQ(r.state(), State::Complete);
        EXPECT_EQ(r.record(), "next");
    }
}

TEST(RecordAssemblerTest, LimitsKeepPartOfALongRecordAndRefuseWhatIsBeyond) {
    const struct {
        std::string bytes;
        State state;
        std::string kept;
        uint64_t length;
        const char* refusal;
    } rows[] = {
        {fragment(std::string(10, 'x'), true), State::Complete, std::string(8, 'x'), 10, ""},
        {fragment("xxxx", false) + fragment("yyyyyy", true), State::Complete, "xxxxyyyy", 10, ""},
        {fragment("", true), State::Refused, "", 0, "an empty record"},
        {words({0x80000000u | 21}), State::Refused, "", 0, "a record longer than 20 bytes"},
        {fragment(std::string(15, 'x'), false) + words({0x80000000u | 6}), State::Refused, "", 0,
         "a record longer than 20 bytes"},
    };
    for (const auto& row : rows) {
        RecordAssembler r(8, 20);
        r.feed(row.bytes.data(), row.bytes.size());
        EXPECT_EQ(r.state(), row.state) << row.refusal;
        if (row.state == State::Complete) {
            EXPECT_EQ(r.record(), row.kept);
            EXPECT_EQ(r.length(), row.length);
            EXPECT_EQ(r.truncated(), row.length > row.kept.size());
        } else {
            EXPECT_EQ(r.refusal(), row.refusal);
        }
    }
}

TEST(ParseCallTest, EachHeaderGetsTheVerdictRfc5531Gives) {
    using V = ParsedCall::Verdict;
    const std::string call = words({9, 0, 2, 0x0607AF, 1, 11});
    const struct {
        std::string record;
        V verdict;
        int authStat;
        std::string args;
    } rows[] = {
        {call + words({0, 0, 0, 0, 42}), V::Call, 0, words({42})},
        {call + words({1, 8}) + std::string(8, 'c') + words({0, 0}), V::Call, 0, ""},  // AUTH_SYS
        {call + words({1, 401}) + std::string(404, 'c') + words({0, 0}), V::AuthError, 1, ""},
        {call + words({0, 0, 0, 401}), V::AuthError, 3, ""},
        {words({9, 0, 3}), V::RpcMismatch, 0, ""},
        {words({9, 1, 0}), V::Close, 0, ""},  // a reply
        {words({9, 7}), V::Close, 0, ""},     // no direction
        {words({9}), V::Close, 0, ""},        // cut short
        {words({9, 0, 2, 0x0607AF}), V::Close, 0, ""},
        {call + words({1, 8}) + "cc", V::Close, 0, ""},  // credentials cut short
    };
    for (const auto& row : rows) {
        ParsedCall p = gateway::parseCall(row.record);
        EXPECT_EQ(p.verdict, row.verdict) << p.why;
        EXPECT_EQ(p.header.xid, 9u);
        if (row.verdict == V::AuthError) {
            EXPECT_EQ(p.authStat, row.authStat);
        }
        if (row.verdict == V::Call) {
            EXPECT_EQ(p.header.procedure, 11u);
            EXPECT_EQ(p.args, row.args);
        }
    }
}

TEST(XdrReaderTest, AClaimedLengthBeyondTheBytesThereIsRefusedUnread) {
    const std::string data = words({0xFFFFFFF0u}) + "abcd";
    gateway::XdrReader x(data);
    std::string_view v;
    EXPECT_FALSE(x.opaque(v));
    const std::string padded = words({5}) + "hello" + std::string(3, '\0') + words({1});
    gateway::XdrReader y(padded);
    EXPECT_TRUE(y.opaque(v));
    EXPECT_EQ(v, "hello");
    uint32_t next = 0;
    EXPECT_TRUE(y.u32(next));
    EXPECT_EQ(next, 1u);
    gateway::XdrReader z(padded);
    EXPECT_FALSE(z.opaque(v, 4));  // longer than the caller takes
}

}  // namespace
