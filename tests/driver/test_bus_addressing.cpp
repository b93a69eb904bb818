// Who talks and who listens after command bytes: the IEEE 488.1 rules, row
// by row, with the cases the driver, the simulated board and the gateway
// once each answered differently.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <sstream>
#include <string>

#include "driver/bus_addressing.h"

namespace {

using gpibdrv::BusAddress;
using gpibdrv::BusAddressing;
namespace cmd = gpibdrv::cmd;

constexpr int kOwn = 0;  // the board's own primary address

// "UNL L5 T9 S2 MLA MTA GET +UNL": listen, talk and secondary addresses, the
// board's own, a command; + sets the parity bit.
std::vector<uint8_t> bytesOf(const std::string& text) {
    std::vector<uint8_t> bytes;
    std::istringstream in(text);
    for (std::string w; in >> w;) {
        const uint8_t parity = w[0] == '+' ? 0x80 : 0;
        w = parity ? w.substr(1) : w;
        const int n =
            std::isdigit(static_cast<unsigned char>(w.back())) ? std::stoi(w.substr(1)) : 0;
        bytes.push_back(uint8_t(parity | (w == "UNL"    ? cmd::UNL
                                          : w == "UNT"  ? cmd::UNT
                                          : w == "MLA"  ? cmd::LAD(kOwn)
                                          : w == "MTA"  ? cmd::TAD(kOwn)
                                          : w == "GET"  ? cmd::GET
                                          : w[0] == 'L' ? cmd::LAD(n)
                                          : w[0] == 'T' ? cmd::TAD(n)
                                                        : cmd::SAD(n))));
    }
    return bytes;
}

std::string text(BusAddress a) {
    return std::to_string(a.pad) + (a.sad >= 0 ? "/" + std::to_string(a.sad) : "");
}

TEST(BusAddressing, CommandBytesLeaveTheBusAddressedAs488Says) {
    struct Row {
        const char *what, *bytes, *listeners, *talker, *own;  // own: L listens, T talks
    } rows[] = {
        {"a listener already listening is listed once", "UNL L5 L5", "5", "", ""},
        {"a secondary after a talk address completes the talker", "T7 S2", "", "7/2", ""},
        {"of secondaries after a talk address the last counts", "T7 S2 S3", "", "7/3", ""},
        {"a secondary after a listen address replaces the primary", "L7 S2", "7/2", "", ""},
        {"more secondaries add listeners at that primary", "L7 S2 S3", "7/2 7/3", "", ""},
        {"a listener with its secondary twice is listed once", "L7 S2 L7 S2", "7/2", "", ""},
        {"a secondary after a listen address leaves the talker", "T9 L5 S1", "5/1", "9", ""},
        {"a secondary after a talk address leaves the listeners", "L5 T9 S1", "5", "9/1", ""},
        {"a secondary after another command addresses nobody", "L7 GET S2", "7", "", ""},
        {"a secondary after nothing addresses nobody", "UNL S2", "", "", ""},
        {"UNL: nobody listens, the board included", "MLA L5 T9 UNL", "", "9", ""},
        {"UNT: nobody talks", "L5 T9 UNT", "5", "", ""},
        {"UNT: the board stops talking too", "MTA UNT", "", "", ""},
        {"a new talk address replaces the talker", "T7 T8", "", "8", ""},
        {"the board's talk address replaces a device's", "T7 MTA", "", "", "T"},
        {"a device's talk address stops the board talking", "MTA T7", "", "7", ""},
        {"the board's listen address and its secondary are the board's", "MLA S4 T9", "", "9", "L"},
        {"SendSetup: listeners, the board talks", "UNL L9 L5 S1 MTA", "9 5/1", "", "T"},
        {"ReceiveSetup: a talker, the board listens", "UNL T7 S2 MLA", "", "7/2", "L"},
        {"the parity bit is not looked at", "+L5 +T9 +UNL", "", "9", ""},
    };
    for (const Row& row : rows) {
        BusAddressing a;
        a.take(bytesOf(row.bytes), kOwn);
        std::string listeners;
        for (BusAddress l : a.listeners()) listeners += (listeners.empty() ? "" : " ") + text(l);
        EXPECT_EQ(listeners, row.listeners) << row.what;
        EXPECT_EQ(a.talker() ? text(*a.talker()) : "", row.talker) << row.what;
        EXPECT_EQ(std::string(a.ownListens() ? "L" : "") + (a.ownTalks() ? "T" : ""), row.own)
            << row.what;
    }
}

TEST(BusAddressing, BytesThatAddressNobodyAreLeftToTheCaller) {
    BusAddressing a;
    for (uint8_t byte : {cmd::GTL, cmd::SDC, cmd::PPC, cmd::GET, cmd::TCT, cmd::LLO, cmd::DCL,
                         cmd::PPU, cmd::SPE, cmd::SPD, uint8_t(0x7F)})
        EXPECT_FALSE(a.take(byte, kOwn)) << int(byte);
    for (uint8_t byte : {cmd::UNL, cmd::UNT, cmd::LAD(3), cmd::TAD(3), cmd::SAD(0)})
        EXPECT_TRUE(a.take(byte, kOwn)) << int(byte);
    // Interface clear leaves nobody addressed, and a secondary after it nobody either.
    a.take(bytesOf("L5 T9 MLA"), kOwn);
    a.reset();
    a.take(cmd::SAD(1), kOwn);
    EXPECT_TRUE(a.listeners().empty() && !a.talker() && !a.ownListens());
    // The board talking by a transfer of its own stops at UNT like any talker.
    a.setOwn(true, false);
    a.take(cmd::UNT, kOwn);
    EXPECT_FALSE(a.ownTalks());
}

TEST(BusAddressing, NoStreamOfBytesGrowsTheListenersBeyondTheAddressesThereAre) {
    // A network client may send command bytes without end: every listen
    // and secondary address in every order, over and over, never UNL.
    BusAddressing a;
    for (int round = 0; round < 3; ++round)
        for (int p = 0; p < 31; ++p)
            for (int s = 0; s < 256; ++s) {
                if ((s & 0x7F) == cmd::UNL)
                    continue;
                const uint8_t bytes[] = {cmd::LAD(p), uint8_t(s), cmd::SAD(s % 31)};
                a.take(bytes, kOwn);
            }
    std::vector<BusAddress> seen = a.listeners();
    EXPECT_GT(seen.size(), 30u * 31u);  // each device at 1-30, each secondary: listed
    EXPECT_LE(seen.size(), 30u * 32u);
    std::sort(seen.begin(), seen.end(),
              [](BusAddress x, BusAddress y) { return x.pad * 32 + x.sad < y.pad * 32 + y.sad; });
    EXPECT_EQ(std::adjacent_find(seen.begin(), seen.end()), seen.end());
    for (BusAddress l : seen) EXPECT_NE(l.pad, kOwn);
}

}  // namespace
