#include "gateway/bus_addressing.h"

#include <algorithm>

namespace gateway {

void BusAddressing::reset() {
    m_listeners.clear();
    m_lastPrimary = -1;
    m_ownListens = m_ownTalks = false;
}

bool BusAddressing::take(uint8_t byte, int ownPad) {
    using namespace gpibdrv::cmd;
    byte &= 0x7F;  // the parity bit is not ours to judge
    const int low = byte & 0x1F;
    if (byte == UNL) {
        m_listeners.clear();
        m_ownListens = false;
        m_lastPrimary = -1;
    } else if (byte == UNT) {
        m_ownTalks = false;
        m_lastPrimary = -1;
    } else if (byte >= 0x20 && byte < UNL) {  // a listen address
        m_lastPrimary = low;
        if (low == ownPad)
            m_ownListens = true;
        else if (std::find(m_listeners.begin(), m_listeners.end(), gpibdrv::BusAddress{low, -1}) ==
                 m_listeners.end())
            m_listeners.push_back({low, -1});
    } else if (byte >= 0x40 && byte < UNT) {  // a talk address: one talker at a time
        m_ownTalks = low == ownPad;
        m_lastPrimary = -1;
    } else if (byte >= 0x60 && byte < 0x7F) {  // a secondary: of the primary before it
        const gpibdrv::BusAddress a{m_lastPrimary, low};
        if (m_lastPrimary >= 0 && m_lastPrimary != ownPad &&
            std::find(m_listeners.begin(), m_listeners.end(), a) == m_listeners.end())
            m_listeners.push_back(a);
    } else {
        return false;
    }
    return true;
}

}  // namespace gateway
