#include "driver/bus_addressing.h"

#include <algorithm>

namespace gpibdrv {

namespace {
bool listed(const std::vector<BusAddress>& list, BusAddress a) {
    return std::find(list.begin(), list.end(), a) != list.end();
}
}  // namespace

void BusAddressing::reset() {
    m_listeners.clear();
    m_talker.reset();
    m_ownListens = m_ownTalks = false;
    m_last = Last::None;
}

void BusAddressing::setOwn(bool talks, bool listens) {
    m_ownTalks = talks;
    m_ownListens = listens;
}

void BusAddressing::take(std::span<const uint8_t> bytes, int ownPad) {
    for (uint8_t byte : bytes) take(byte, ownPad);
}

bool BusAddressing::take(uint8_t byte, int ownPad) {
    byte &= 0x7F;  // the parity bit is not ours to judge
    const int low = byte & 0x1F;
    const bool secondary = byte >= 0x60 && byte < 0x7F;
    if (secondary) {
        const BusAddress a{m_lastPrimary, low};
        if (m_last == Last::Talk) {
            m_talker = a;
        } else if (m_last == Last::Listen) {
            auto alone =
                std::find(m_listeners.begin(), m_listeners.end(), BusAddress{m_lastPrimary, -1});
            if (!m_secondarySeen && alone != m_listeners.end())
                m_listeners.erase(alone);
            if (!listed(m_listeners, a))
                m_listeners.push_back(a);
        }
        m_secondarySeen = true;
        return true;
    }
    m_last = Last::None;
    m_lastPrimary = -1;
    m_secondarySeen = false;
    if (byte == cmd::UNL) {
        m_listeners.clear();
        m_ownListens = false;
    } else if (byte == cmd::UNT) {
        m_talker.reset();
        m_ownTalks = false;
    } else if (byte >= 0x20 && byte < cmd::UNL) {  // a listen address
        m_lastPrimary = low;
        if (low == ownPad) {
            m_ownListens = true;
            m_last = Last::Own;
        } else {
            if (!listed(m_listeners, {low, -1}))
                m_listeners.push_back({low, -1});
            m_last = Last::Listen;
        }
    } else if (byte >= 0x40 && byte < cmd::UNT) {  // a talk address: one talker at a time
        m_lastPrimary = low;
        m_ownTalks = low == ownPad;
        if (m_ownTalks) {
            m_talker.reset();
            m_last = Last::Own;
        } else {
            m_talker = BusAddress{low, -1};
            m_last = Last::Talk;
        }
    } else {
        return false;
    }
    return true;
}

}  // namespace gpibdrv
