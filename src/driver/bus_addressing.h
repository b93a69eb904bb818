#pragma once
// Who talks and who listens after command bytes (IEEE 488.1), kept once for
// everything that watches command bytes go by: the driver (whom board-level
// reads and writes reach after ibcmd, SendSetup, ReceiveSetup), the simulated
// board (whom GET, SDC, GTL and parallel poll set-up reach), and the gateway
// (the same for a kind that cannot put command bytes on the bus itself).
//
// The rules, byte by byte:
// - UNL: nobody listens, the board included. UNT: nobody talks.
// - A listen address adds its device to the listeners, once however often it
//   comes; a talk address makes its device the one talker, replacing the
//   one before (the board stops talking too).
// - A secondary modifies the primary address it follows: after a talk
//   address it completes the talker (of several, the last counts: each
//   un-addresses the one before); after a listen address the first replaces
//   the primary alone and each further one adds another listener at that
//   primary. A secondary after anything else addresses nobody.
// - The board's own listen and talk addresses make the board listener or
//   talker, never a device; a secondary after them is the board's own.
//
// A device at the primary address alone still listens when a secondary
// follows (it does not look at secondaries); listeners() names what the
// bytes addressed, and whoever models the bus says what a primary-only
// device does with it.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "driver/board.h"

namespace gpibdrv {

class BusAddressing {
  public:
    // Takes one command byte for a board at ownPad: false for a byte that
    // addresses nothing (GET, SDC, DCL, LLO, PPC, SPE, ...), which the caller
    // carries out itself.
    bool take(uint8_t byte, int ownPad);
    void take(std::span<const uint8_t> bytes, int ownPad);
    // Interface clear: nobody talks or listens.
    void reset();
    // The board made talker or listener by a transfer of its own (a device
    // addressed for one write or read), not by command bytes.
    void setOwn(bool talks, bool listens);

    const std::vector<BusAddress>& listeners() const { return m_listeners; }
    const std::optional<BusAddress>& talker() const { return m_talker; }
    bool ownListens() const { return m_ownListens; }
    bool ownTalks() const { return m_ownTalks; }

  private:
    // What a secondary would modify: the primary talk or listen address of a
    // device just before it, and whether a secondary followed it already.
    enum class Last { None, Own, Talk, Listen };
    Last m_last = Last::None;
    int m_lastPrimary = -1;
    bool m_secondarySeen = false;

    std::vector<BusAddress> m_listeners;
    std::optional<BusAddress> m_talker;
    bool m_ownListens = false, m_ownTalks = false;
};

}  // namespace gpibdrv
