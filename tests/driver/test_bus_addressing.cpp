// Who talks and who listens after command bytes: the IEEE 488.1 rules, row
// by row, with the cases the driver, the simulated board and the gateway
// once each answered differently.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/bus_addressing.h"

namespace {

using gpibdrv::BusAddress;
using gpibdrv::BusAddressing;
namespace cmd = gpibdrv::cmd;

constexpr int kOwn = 0;  // the board's own primary address

// "7", "7/2": an address as the rows write it.
std::string text(BusAddress a) {
    return std::to_string(a.pad) + (a.sad >= 0 ? "/" + std::to_string(a.sad) : "");
}

struct Row {
    const char* what;
    std::vector<uint8_t> bytes;
    std::vector<std::string> listeners;
    std::string talker = "";  // "" for none
    bool ownListens = false, ownTalks = false;
};

TEST(BusAddressing, CommandBytesLeaveTheBusAddressedAs488Says) {
    const Row rows[] = {
        {"a listen address already listening is listed once",
         {cmd::UNL, cmd::LAD(5), cmd::LAD(5)},
         {"5"}},
        {"a secondary after a talk address completes the talker",
         {cmd::TAD(7), cmd::SAD(2)},
         {},
         "7/2"},
        {"of several secondaries after a talk address the last counts",
         {cmd::TAD(7), cmd::SAD(2), cmd::SAD(3)},
         {},
         "7/3"},
        {"a secondary after a listen address replaces the primary alone",
         {cmd::LAD(7), cmd::SAD(2)},
         {"7/2"}},
        {"more secondaries after one listen address add listeners at that primary",
         {cmd::LAD(7), cmd::SAD(2), cmd::SAD(3)},
         {"7/2", "7/3"}},
        {"the same listener with its secondary twice is listed once",
         {cmd::LAD(7), cmd::SAD(2), cmd::LAD(7), cmd::SAD(2)},
         {"7/2"}},
        {"a secondary after a listen address leaves the talker as it is",
         {cmd::TAD(9), cmd::LAD(5), cmd::SAD(1)},
         {"5/1"},
         "9"},
        {"a secondary after a talk address leaves the listeners as they are",
         {cmd::LAD(5), cmd::TAD(9), cmd::SAD(1)},
         {"5"},
         "9/1"},
        {"a secondary after another command addresses nobody",
         {cmd::LAD(7), cmd::GET, cmd::SAD(2)},
         {"7"}},
        {"a secondary after nothing addresses nobody", {cmd::UNL, cmd::SAD(2)}, {}},
        {"UNL: nobody listens, the board included",
         {cmd::LAD(kOwn), cmd::LAD(5), cmd::TAD(9), cmd::UNL},
         {},
         "9"},
        {"UNT: nobody talks", {cmd::LAD(5), cmd::TAD(9), cmd::UNT}, {"5"}},
        {"UNT: the board stops talking too", {cmd::TAD(kOwn), cmd::UNT}, {}},
        {"a new talk address replaces the talker", {cmd::TAD(7), cmd::TAD(8)}, {}, "8"},
        {"the board's talk address replaces a device talking",
         {cmd::TAD(7), cmd::TAD(kOwn)},
         {},
         "",
         false,
         true},
        {"a device's talk address stops the board talking", {cmd::TAD(kOwn), cmd::TAD(7)}, {}, "7"},
        {"the board's listen address makes the board listen, not a device",
         {cmd::UNL, cmd::LAD(kOwn), cmd::SAD(4), cmd::TAD(9)},
         {},
         "9",
         true},
        {"the driver's SendSetup: listeners, the board talks",
         {cmd::UNL, cmd::LAD(9), cmd::LAD(5), cmd::SAD(1), cmd::TAD(kOwn)},
         {"9", "5/1"},
         "",
         false,
         true},
        {"the driver's ReceiveSetup: a talker, the board listens",
         {cmd::UNL, cmd::TAD(7), cmd::SAD(2), cmd::LAD(kOwn)},
         {},
         "7/2",
         true},
        {"the parity bit is not looked at",
         {uint8_t(0x80 | cmd::LAD(5)), uint8_t(0x80 | cmd::TAD(9)), 0x80 | cmd::UNL},
         {},
         "9"},
    };
    for (const Row& row : rows) {
        BusAddressing a;
        a.take(row.bytes, kOwn);
        std::vector<std::string> listeners;
        for (BusAddress l : a.listeners()) listeners.push_back(text(l));
        EXPECT_EQ(listeners, row.listeners) << row.what;
        EXPECT_EQ(a.talker() ? text(*a.talker()) : "", row.talker) << row.what;
        EXPECT_EQ(a.ownListens(), row.ownListens) << row.what;
        EXPECT_EQ(a.ownTalks(), row.ownTalks) << row.what;
    }
}

TEST(BusAddressing, BytesThatAddressNobodyAreLeftToTheCaller) {
    BusAddressing a;
    for (uint8_t byte : {cmd::GTL, cmd::SDC, cmd::PPC, cmd::GET, cmd::TCT, cmd::LLO, cmd::DCL,
                         cmd::PPU, cmd::SPE, cmd::SPD, uint8_t(0x7F)})
        EXPECT_FALSE(a.take(byte, kOwn)) << int(byte);
    for (uint8_t byte : {cmd::UNL, cmd::UNT, cmd::LAD(3), cmd::TAD(3), cmd::SAD(0)})
        EXPECT_TRUE(a.take(byte, kOwn)) << int(byte);
}

TEST(BusAddressing, InterfaceClearAndTheBoardsOwnTransfers) {
    BusAddressing a;
    a.take(std::vector<uint8_t>{cmd::LAD(5), cmd::TAD(9), cmd::LAD(kOwn)}, kOwn);
    a.reset();
    EXPECT_TRUE(a.listeners().empty());
    EXPECT_FALSE(a.talker());
    EXPECT_FALSE(a.ownListens());
    // A secondary right after IFC belongs to nobody.
    a.take(cmd::SAD(1), kOwn);
    EXPECT_TRUE(a.listeners().empty());
    // The board talking by a transfer of its own stops at UNT like any talker.
    a.setOwn(true, false);
    EXPECT_TRUE(a.ownTalks());
    a.take(cmd::UNT, kOwn);
    EXPECT_FALSE(a.ownTalks());
}

}  // namespace
