#pragma once
// What command bytes leave addressed on a bus (IEEE 488.1): the listen
// addresses since the last UNL (a secondary after the primary it follows),
// and whether the board itself was made talker or listener. A gateway keeps
// it for boards that cannot put command bytes on the bus themselves (an
// adapter), so that a client's addressing followed by a look at NDAC still
// finds out who listens, and a GET, SDC or GTL reaches the devices addressed.

#include <cstdint>
#include <vector>

#include "driver/board.h"

namespace gateway {

class BusAddressing {
  public:
    // Takes one command byte; answers false for a byte that is not about
    // addressing (GET, DCL, LLO, ...), which the caller has to carry out.
    bool take(uint8_t byte, int ownPad);
    void reset();

    const std::vector<gpibdrv::BusAddress>& listeners() const { return m_listeners; }
    bool ownListens() const { return m_ownListens; }
    bool ownTalks() const { return m_ownTalks; }

  private:
    std::vector<gpibdrv::BusAddress> m_listeners;
    int m_lastPrimary = -1;
    bool m_ownListens = false, m_ownTalks = false;
};

}  // namespace gateway
