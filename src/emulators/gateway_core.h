#pragma once
// The emulated gateway's core channel: the links clients make to the served
// bench's interface and devices, each VXI-11 operation done with the bus
// operations of the simulated board, and the bus state a gateway keeps for
// command bytes sent with ATN (who is addressed to listen, so that NDAC
// reads as the bus would answer it).

#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "emulators/served_bench.h"
#include "vxi11/vxi11_rpc.h"

namespace emulators {

struct GatewaySettings {
    int boardIndex = 0;  // the bench board served
    std::string interfaceName = "gpib0";
    unsigned maxRecvSize = 256 * 1024;
    // The device a link named "inst0" reaches: for clients that cannot name
    // a link and always ask for that one.
    std::optional<gpibdrv::BusAddress> inst0;
};

class GatewayCore {
  public:
    GatewayCore(ServedBench bench, GatewaySettings settings);

    // Links belong to the connection that made them and go with it.
    void createLink(const Create_LinkParms& p, int connection, unsigned short abortPort,
                    Create_LinkResp& r);
    int destroyLink(Device_Link lid);
    void connectionClosed(int connection);

    void write(const Device_WriteParms& p, Device_WriteResp& r);
    // r.data points into data.
    void read(const Device_ReadParms& p, std::string& data, Device_ReadResp& r);
    void readStb(const Device_GenericParms& p, Device_ReadStbResp& r);
    int trigger(const Device_GenericParms& p);
    int clear(const Device_GenericParms& p);
    int remote(const Device_GenericParms& p, bool on);
    int lock(Device_Link lid);
    int unlock(Device_Link lid);
    // r.data_out points into out.
    void docmd(const Device_DocmdParms& p, std::string& out, Device_DocmdResp& r);
    // device_abort from the abort channel: a read waiting for data ends.
    int abort(Device_Link lid);
    // The emulator's exit: waiting reads end now.
    void stop();

  private:
    struct Link {
        int connection = 0;
        bool interface = false;
        gpibdrv::BusAddress address;
        bool busy = false, aborted = false, locked = false;
    };

    // The link, or nullptr with the error to answer.
    Link* find(Device_Link lid, bool wantDevice, int& error);
    sim::Instrument* instrumentAt(const gpibdrv::BusAddress& a);
    int waitForOutput(std::unique_lock<std::mutex>& hold, Link& link, unsigned ioMs);
    // Command bytes sent with ATN, one at a time.
    void command(uint8_t byte);
    bool ndac();
    int busStatus(int which);

    std::mutex m_lock;
    std::condition_variable m_wake;
    ServedBench m_bench;
    GatewaySettings m_settings;
    std::map<int, Link> m_links;
    int m_nextLid = 1;
    bool m_stopping = false;

    // What command bytes and device operations leave on the bus.
    std::vector<gpibdrv::BusAddress> m_listeners;
    int m_lastPrimary = -1;  // the primary of the last LAD (secondaries follow it)
    int m_talker = -1;
    int m_ownPad = 0;
    bool m_ownListens = false;
    bool m_ren = false;
};

}  // namespace emulators
