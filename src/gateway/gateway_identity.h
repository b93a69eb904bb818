#pragma once
// The gateway itself as an instrument, for the link inst0: what a client
// that finds the gateway (lxi discover, a VISA's search) asks a LAN device
// is answered as a small IEEE 488.2 instrument answers it. *IDN? names the
// gateway; SCPI queries list its interfaces and the instruments last found
// on each; the common commands keep a status byte, an event register and an
// error queue; anything else queues the error an instrument would. A read
// with nothing to say waits the caller's timeout, as an instrument's does.
//
// It is a board of the gateway's (gpibdrv::Board) so that links, locks,
// timeouts and aborts treat it like any device: the core's bus lock puts its
// operations one after another; interrupt() ends a wait from another thread.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "driver/board.h"
#include "gateway/scpi_message.h"

namespace gateway {

// What *IDN? says, each field without commas.
struct IdentityFields {
    std::string manufacturer = "Tarvel Morrow";
    std::string model = "tm-gateway";
    std::string serial;  // the host name
    std::string version;
};

// An interface as the queries show it.
struct InterfaceView {
    std::string link;                      // "gpib0"
    std::string description;               // its kind and where, or why it is not open
    std::vector<std::string> instruments;  // "gpib0,9", "gpib0,5,1"
};

class GatewayIdentity : public gpibdrv::Board {
  public:
    using Interfaces = std::function<std::vector<InterfaceView>()>;
    // The listener search on an interface ("gpib0"), its bus waited for no
    // longer than the deadline (monotonic us): "" or what went wrong.
    using Search = std::function<std::string(const std::string& link, int64_t deadlineUs)>;
    GatewayIdentity(IdentityFields fields, Interfaces interfaces, Search search = nullptr);

    // "Tarvel Morrow,tm-gateway,host,1.0.0".
    std::string idn() const;

    std::string describe() const override;
    int statusBits() override;
    int setOwnAddress(int, int) override { return GPIB_ECAP; }
    int send(gpibdrv::BusAddress to, const char* data, long count, gpibdrv::EndMode end,
             gpibdrv::Timeout t, long& sent) override;
    int receive(gpibdrv::BusAddress from, char* dst, long count, int eos, gpibdrv::Timeout t,
                long& got, int& ended) override;
    int serialPoll(gpibdrv::BusAddress device, gpibdrv::Timeout t, uint8_t& status) override;
    int trigger(const gpibdrv::BusAddress*) override { return gpibdrv::kDone; }
    int clear(const gpibdrv::BusAddress* device) override;
    int interfaceClear() override { return gpibdrv::kDone; }
    int remoteEnable(bool) override { return gpibdrv::kDone; }
    int listens(gpibdrv::BusAddress device, bool& listening) override;
    int goToLocal(gpibdrv::BusAddress) override { return gpibdrv::kDone; }
    int localLockout(const gpibdrv::BusAddress*) override { return gpibdrv::kDone; }
    int srqLine(bool& asserted) override;
    void interrupt() override;
    void clearInterrupt() override;

    // What a program message may hold, and what the queues keep.
    static constexpr size_t kMaxInput = 64 * 1024;
    static constexpr size_t kMaxOutput = 64 * 1024;
    static constexpr size_t kErrorQueue = 16;

  private:
    // The state below is the operations', which the core's bus lock puts
    // one after another; m_lock guards only what interrupt() changes.
    void execute(std::string_view message);
    bool run(const scpi::Unit& u, std::string& response);
    void pushError(scpi::Error e);
    uint8_t statusByte() const;

    IdentityFields m_fields;
    Interfaces m_interfaces;
    Search m_search;

    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_interrupted = false;

    int64_t m_deadlineUs = 0;  // the end of the write whose message runs
    std::string m_input;       // a message not yet ended
    bool m_inputOverflow = false;
    std::string m_output;  // the responses not yet read
    std::deque<scpi::Error> m_errors;
    unsigned long m_commandErrors = 0;
    uint8_t m_esr = 0x80;  // power on
    uint8_t m_ese = 0, m_sre = 0;
};

}  // namespace gateway
