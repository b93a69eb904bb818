#pragma once
// XDR (RFC 4506) as the server reads and writes it: four-byte big-endian
// words and opaque data padded to a word, read in place from a received
// record. Nothing is allocated for what a client claims: a length is checked
// against the bytes that are really there before anything is taken.

#include <cstdint>
#include <string>
#include <string_view>

namespace gateway {

class XdrReader {
  public:
    explicit XdrReader(std::string_view data) : m_data(data) {}

    bool u32(uint32_t& v);
    bool i32(int32_t& v);
    bool boolean(bool& v);
    // Variable-length opaque data (and strings) of at most max bytes; the
    // view points into the record.
    bool opaque(std::string_view& v, uint32_t max = UINT32_MAX);
    bool skip(size_t n) {
        const char* unused = nullptr;
        return take(n, unused);
    }
    // What is left unread.
    size_t left() const { return m_data.size() - m_pos; }
    size_t position() const { return m_pos; }

  private:
    bool take(size_t n, const char*& at);

    std::string_view m_data;
    size_t m_pos = 0;
};

class XdrWriter {
  public:
    explicit XdrWriter(std::string& out) : m_out(out) {}

    void u32(uint32_t v);
    void i32(int32_t v) { u32(uint32_t(v)); }
    void boolean(bool v) { u32(v ? 1 : 0); }
    void opaque(std::string_view v);

  private:
    std::string& m_out;
};

}  // namespace gateway
