// Which clients an allow list admits, IPv4 and IPv6, and the blocks it
// refuses to read.
#include <gtest/gtest.h>

#include "net/cidr.h"

namespace {

net::Address at(const char* host) {
    net::Address a;
    EXPECT_TRUE(net::numericAddress(host, 1234, a)) << host;
    return a;
}

TEST(CidrTest, BlocksAdmitTheirOwnAddressesOnly) {
    const struct {
        const char* block;
        const char* client;
        bool admitted;
    } rows[] = {
        {"192.168.1.0/24", "192.168.1.77", true},
        {"192.168.1.0/24", "192.168.2.1", false},
        {"192.168.1.0/24", "::ffff:192.168.1.9", true},  // IPv4 on an IPv6 socket
        {"10.0.0.0/8", "10.255.255.255", true},
        {"10.0.0.0/8", "11.0.0.0", false},
        {"172.16.0.0/12", "172.31.1.1", true},
        {"172.16.0.0/12", "172.32.0.1", false},
        {"192.0.2.7", "192.0.2.7", true},  // one host
        {"192.0.2.7", "192.0.2.8", false},
        {"0.0.0.0/0", "203.0.113.5", true},
        {"0.0.0.0/0", "2001:db8::1", false},  // a family of its own
        {"fd00::/8", "fd12:3456::1", true},
        {"fd00::/8", "fe80::1", false},
        {"2001:db8::/33", "2001:db8:7fff::1", true},
        {"2001:db8::/33", "2001:db8:8000::1", false},
        {"::1", "::1", true},
        {"::1", "127.0.0.1", false},
    };
    for (const auto& row : rows) {
        net::Cidr c;
        std::string why;
        ASSERT_TRUE(net::Cidr::parse(row.block, c, why)) << row.block << ": " << why;
        EXPECT_EQ(c.contains(at(row.client)), row.admitted) << row.block << " " << row.client;
    }
}

TEST(CidrTest, WhatIsNoBlockIsRefusedWithTheReason) {
    const struct {
        const char* text;
        const char* says;
    } rows[] = {
        {"192.168.1.0/33", "prefix length must be 0 to 32"},
        {"fd00::/129", "prefix length must be 0 to 128"},
        {"192.168.1.0/", "prefix length"},
        {"192.168.1.0/x", "prefix length"},
        {"192.168.1.1/24", "bits set beyond its prefix of 24"},  // a mistyped network
        {"lab.example", "is not an address block"},
        {"", "is not an address block"},
        {"300.1.1.1/8", "is not an address block"},
    };
    for (const auto& row : rows) {
        net::Cidr c;
        std::string why;
        EXPECT_FALSE(net::Cidr::parse(row.text, c, why)) << row.text;
        EXPECT_NE(why.find(row.says), std::string::npos) << row.text << ": " << why;
    }
}

TEST(CidrTest, TheDefaultListIsLoopbackAndAnyAdmitsEveryone) {
    net::AllowList list = net::AllowList::loopback();
    EXPECT_EQ(list.describe(), "127.0.0.0/8, ::1/128");
    for (const char* host : {"127.0.0.1", "127.1.2.3", "::1", "::ffff:127.0.0.1"})
        EXPECT_TRUE(list.allows(at(host))) << host;
    for (const char* host : {"192.168.1.1", "::2", "fe80::1"})
        EXPECT_FALSE(list.allows(at(host))) << host;
    std::string why;
    EXPECT_TRUE(list.add("192.168.1.0/24", why));
    EXPECT_TRUE(list.allows(at("192.168.1.1")));
    EXPECT_FALSE(list.add("192.168.1.0/99", why));
    EXPECT_TRUE(list.add("any", why));
    EXPECT_TRUE(list.allows(at("2001:db8::5")));
    EXPECT_EQ(list.describe(), "any");
}

}  // namespace
