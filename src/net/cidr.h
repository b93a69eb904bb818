#pragma once
// Which client networks a server admits: address blocks written as CIDR
// ("192.168.1.0/24", "fd00::/8", a lone address for one host, "any" for
// everyone). An IPv4 client that reaches an IPv6 socket (::ffff:a.b.c.d)
// is judged by its IPv4 address.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "net/address.h"

namespace net {

class Cidr {
  public:
    // false, with the reason, for text that is no address block; bits set
    // beyond the prefix are refused rather than dropped, since a mistyped
    // network would otherwise admit another one quietly.
    static bool parse(const std::string& text, Cidr& out, std::string& why);

    bool contains(const Address& a) const;
    std::string text() const;

  private:
    bool m_v6 = false;
    std::array<uint8_t, 16> m_bytes{};  // the first 4 for IPv4
    int m_prefix = 0;
};

class AllowList {
  public:
    // Loopback only: 127.0.0.0/8 and ::1.
    static AllowList loopback();

    // "any", or a block as Cidr::parse takes it.
    bool add(const std::string& text, std::string& why);
    bool allows(const Address& client) const;
    // "127.0.0.0/8, ::1/128", or "any".
    std::string describe() const;

  private:
    bool m_any = false;
    std::vector<Cidr> m_blocks;
};

}  // namespace net
