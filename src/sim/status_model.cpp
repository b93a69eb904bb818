#include "sim/status_model.h"

#include <cmath>

#include "sim/value.h"

namespace sim {

uint8_t StatusModel::statusByte(bool mav, bool eav) const {
    uint8_t b = m_deviceBits & uint8_t(~stb::RQS);
    if (!m_ieee4882)
        return b;
    if (mav)
        b |= stb::MAV;
    if (eav)
        b |= stb::EAV;
    if (m_esr & m_ese)
        b |= stb::ESB;
    return b;
}

void StatusModel::update(bool mav, bool eav) {
    bool reason = (statusByte(mav, eav) & m_sre & uint8_t(~stb::RQS)) != 0;
    if (reason && !m_lastReason)
        m_rqs = true;
    m_lastReason = reason;
}

uint8_t StatusModel::poll(bool mav, bool eav, bool showRqs) {
    uint8_t b = statusByte(mav, eav);
    if (m_rqs && showRqs) {
        b |= stb::RQS;
        m_rqs = false;
    }
    return b;
}

void StatusModel::requestService(uint8_t deviceBits) {
    m_deviceBits |= deviceBits;
    m_rqs = true;
}

uint8_t StatusModel::takeEventRegister() {
    uint8_t v = m_esr;
    m_esr = 0;
    return v;
}

Common StatusModel::common(std::string_view q, bool mav, bool eav, std::string& out) {
    if (q.empty() || q.front() != '*')
        return Common::NotCommon;
    size_t blank = q.find_first_of(" \t");
    std::string_view header = q.substr(0, blank);
    std::string_view arg =
        blank == std::string_view::npos ? std::string_view() : q.substr(blank + 1);
    auto number = [&](uint8_t& target) {
        auto v = readFloat(arg);
        if (!v || *v < 0 || *v > 255.5)
            return Common::BadArgument;
        target = uint8_t(std::lround(*v));
        return Common::Done;
    };
    auto answer = [&](unsigned v) {
        out += std::to_string(v);
        return Common::Done;
    };
    if (header == "*CLS") {
        m_esr = 0;
        m_deviceBits = 0;
        return Common::Clear;
    }
    if (header == "*ESE")
        return number(m_ese);
    if (header == "*ESE?")
        return answer(m_ese);
    if (header == "*ESR?")
        return answer(takeEventRegister());
    if (header == "*SRE") {
        Common c = number(m_sre);
        m_sre &= uint8_t(~stb::RQS);  // bit 6 cannot be enabled
        return c;
    }
    if (header == "*SRE?")
        return answer(m_sre);
    if (header == "*STB?") {
        uint8_t b = statusByte(mav, eav);
        if (b & m_sre & uint8_t(~stb::RQS))
            b |= stb::RQS;  // the master summary bit
        return answer(b);
    }
    if (header == "*OPC") {
        m_esr |= esr::OPC;
        return Common::Done;
    }
    if (header == "*OPC?")
        return answer(1);
    if (header == "*TST?")
        return answer(0);
    if (header == "*WAI")
        return Common::Done;
    if (header == "*RST")
        return Common::Reset;
    if (header == "*TRG")
        return Common::Trigger;
    return Common::NotCommon;
}

}  // namespace sim
