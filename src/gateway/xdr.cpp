#include "gateway/xdr.h"

namespace gateway {

bool XdrReader::take(size_t n, const char*& at) {
    if (n > left())
        return false;
    at = m_data.data() + m_pos;
    m_pos += n;
    return true;
}

bool XdrReader::u32(uint32_t& v) {
    const char* p = nullptr;
    if (!take(4, p))
        return false;
    const auto* b = reinterpret_cast<const uint8_t*>(p);
    v = uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
    return true;
}

bool XdrReader::i32(int32_t& v) {
    uint32_t u = 0;
    if (!u32(u))
        return false;
    v = int32_t(u);
    return true;
}

bool XdrReader::boolean(bool& v) {
    uint32_t u = 0;
    if (!u32(u) || u > 1)
        return false;
    v = u == 1;
    return true;
}

bool XdrReader::opaque(std::string_view& v, uint32_t max) {
    uint32_t length = 0;
    if (!u32(length) || length > max)
        return false;
    const size_t padded = (size_t(length) + 3) & ~size_t(3);
    const char* p = nullptr;
    if (!take(padded, p))
        return false;
    v = std::string_view(p, length);
    return true;
}

void XdrWriter::u32(uint32_t v) {
    const char b[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    m_out.append(b, 4);
}

void XdrWriter::opaque(std::string_view v) {
    u32(uint32_t(v.size()));
    m_out.append(v);
    m_out.append((4 - v.size() % 4) % 4, '\0');
}

}  // namespace gateway
