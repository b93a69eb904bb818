#pragma once
// The IEEE 488.2 status reporting of one instrument: the status byte (MAV
// 0x10, ESB 0x20, RQS/MSS 0x40, plus device bits), the standard event status
// register with its enable mask, the service request enable mask, and the
// common commands that work them.

#include <cstdint>
#include <string>
#include <string_view>

namespace sim {

namespace esr {
constexpr uint8_t OPC = 0x01, QYE = 0x04, DDE = 0x08, EXE = 0x10, CME = 0x20, PON = 0x80;
}
namespace stb {
constexpr uint8_t EAV = 0x04, MAV = 0x10, ESB = 0x20, RQS = 0x40;
}

// What a common command asks of the instrument beyond the status registers.
enum class Common { NotCommon, Done, Reset, Trigger, Clear, BadArgument };

class StatusModel {
  public:
    // An instrument without 488.2 status reporting shows only its own device
    // bits in its status byte.
    StatusModel(bool ieee4882, uint8_t esr, uint8_t ese, uint8_t sre)
        : m_ieee4882(ieee4882), m_esr(esr), m_ese(ese), m_sre(sre) {}

    // The status byte without bit 6, from the device's own state.
    uint8_t statusByte(bool mav, bool eav) const;
    // Re-evaluates the service request: a new reason (a bit enabled by *SRE
    // that was not set before) makes the instrument request service.
    void update(bool mav, bool eav);
    // A serial poll: the status byte with RQS when requesting, then RQS clears.
    uint8_t poll(bool mav, bool eav, bool showRqs);
    // The instrument asks for service on its own (a non-488.2 instrument, or a
    // trigger that says so).
    void requestService(uint8_t deviceBits);

    bool requestingService() const { return m_rqs; }
    void setEventBits(uint8_t bits) { m_esr |= bits; }
    void setDeviceBits(uint8_t bits) { m_deviceBits |= bits; }
    void clearDeviceBits() { m_deviceBits = 0; }
    // *ESR? reads and clears.
    uint8_t takeEventRegister();
    uint8_t eventRegister() const { return m_esr; }
    uint8_t serviceEnable() const { return m_sre; }
    uint8_t eventEnable() const { return m_ese; }

    // Handles the common commands the device's own definitions did not claim.
    // query is the message, already in upper case; answers are appended to out.
    Common common(std::string_view query, bool mav, bool eav, std::string& out);

  private:
    bool m_ieee4882;
    uint8_t m_esr;
    uint8_t m_ese;
    uint8_t m_sre;
    uint8_t m_deviceBits = 0;
    bool m_rqs = false;
    bool m_lastReason = false;
};

}  // namespace sim
