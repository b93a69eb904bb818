#include "net/cidr.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <charconv>
#include <cstring>

namespace net {

namespace {

// The client's address as bytes, IPv4-mapped IPv6 as IPv4; false for
// another family.
bool bytesOf(const Address& a, bool& v6, std::array<uint8_t, 16>& bytes) {
    bytes.fill(0);
    if (a.family() == AF_INET) {
        v6 = false;
        std::memcpy(bytes.data(), &reinterpret_cast<const sockaddr_in*>(&a.storage)->sin_addr, 4);
        return true;
    }
    if (a.family() != AF_INET6)
        return false;
    const in6_addr& six = reinterpret_cast<const sockaddr_in6*>(&a.storage)->sin6_addr;
    v6 = !IN6_IS_ADDR_V4MAPPED(&six);
    std::memcpy(bytes.data(), v6 ? six.s6_addr : six.s6_addr + 12, v6 ? 16 : 4);
    return true;
}

bool matches(const std::array<uint8_t, 16>& block, const std::array<uint8_t, 16>& a, int prefix) {
    const int whole = prefix / 8, rest = prefix % 8;
    if (std::memcmp(block.data(), a.data(), size_t(whole)) != 0)
        return false;
    if (rest == 0)
        return true;
    const uint8_t mask = uint8_t(0xFF << (8 - rest));
    return (block[size_t(whole)] & mask) == (a[size_t(whole)] & mask);
}

}  // namespace

bool Cidr::parse(const std::string& text, Cidr& out, std::string& why) {
    const size_t slash = text.find('/');
    const std::string host = text.substr(0, slash);
    Cidr c;
    if (inet_pton(AF_INET, host.c_str(), c.m_bytes.data()) == 1) {
        c.m_v6 = false;
    } else if (inet_pton(AF_INET6, host.c_str(), c.m_bytes.data()) == 1) {
        c.m_v6 = true;
    } else {
        why = "\"" + text + "\" is not an address block (192.168.1.0/24, fd00::/8, or any)";
        return false;
    }
    const int bits = c.m_v6 ? 128 : 32;
    c.m_prefix = bits;
    if (slash != std::string::npos) {
        const std::string digits = text.substr(slash + 1);
        auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), c.m_prefix);
        if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
            c.m_prefix < 0 || c.m_prefix > bits) {
            why = "\"" + text + "\": the prefix length must be 0 to " + std::to_string(bits);
            return false;
        }
    }
    std::array<uint8_t, 16> masked{};
    for (int i = 0; i < c.m_prefix; ++i)
        masked[size_t(i / 8)] |= uint8_t(c.m_bytes[size_t(i / 8)] & (0x80 >> (i % 8)));
    if (masked != c.m_bytes) {
        why = "\"" + text + "\" has address bits set beyond its prefix of " +
              std::to_string(c.m_prefix);
        return false;
    }
    out = c;
    return true;
}

bool Cidr::contains(const Address& a) const {
    bool v6 = false;
    std::array<uint8_t, 16> bytes;
    return bytesOf(a, v6, bytes) && v6 == m_v6 && matches(m_bytes, bytes, m_prefix);
}

std::string Cidr::text() const {
    char host[INET6_ADDRSTRLEN] = "";
    inet_ntop(m_v6 ? AF_INET6 : AF_INET, m_bytes.data(), host, sizeof host);
    return std::string(host) + "/" + std::to_string(m_prefix);
}

AllowList AllowList::loopback() {
    AllowList list;
    std::string unused;
    list.add("127.0.0.0/8", unused);
    list.add("::1", unused);
    return list;
}

bool AllowList::add(const std::string& text, std::string& why) {
    if (text == "any") {
        m_any = true;
        return true;
    }
    Cidr c;
    if (!Cidr::parse(text, c, why))
        return false;
    m_blocks.push_back(c);
    return true;
}

bool AllowList::allows(const Address& client) const {
    if (m_any)
        return true;
    for (const Cidr& c : m_blocks)
        if (c.contains(client))
            return true;
    return false;
}

std::string AllowList::describe() const {
    if (m_any)
        return "any";
    std::string text;
    for (const Cidr& c : m_blocks) text += (text.empty() ? "" : ", ") + c.text();
    return text.empty() ? "nobody" : text;
}

}  // namespace net
