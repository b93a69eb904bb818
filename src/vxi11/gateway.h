#pragma once
// A LAN/GPIB gateway as a board: each bus operation becomes the VXI-11 call
// that does it on the gateway's bus. One connection to the gateway's core
// channel, one link per device address made on first use and kept, and the
// interface link for what concerns the whole bus (command bytes with ATN,
// bus status, IFC, REN). Every answer maps through the one error table.

#include <chrono>
#include <functional>
#include <map>
#include <string>

#include "driver/board.h"
#include "vxi11/gateway_board.h"
#include "vxi11/rpc_client.h"

namespace vxi11 {

class Gateway final : public gpibdrv::Board {
  public:
    explicit Gateway(GatewayOptions options);

    std::string describe() const override;
    int open(std::string& reason) override;
    int statusBits() override;
    int setOwnAddress(int pad, int sad) override;
    int send(gpibdrv::BusAddress to, const char* data, long count, gpibdrv::EndMode end,
             gpibdrv::Timeout t, long& sent) override;
    int receive(gpibdrv::BusAddress from, char* dst, long count, int eos, gpibdrv::Timeout t,
                long& got, int& ended) override;
    int serialPoll(gpibdrv::BusAddress device, gpibdrv::Timeout t, uint8_t& status) override;
    int trigger(const gpibdrv::BusAddress* device) override;
    int clear(const gpibdrv::BusAddress* device) override;
    int interfaceClear() override;
    int remoteEnable(bool on) override;
    int listens(gpibdrv::BusAddress device, bool& listening) override;
    int findListeners(std::span<const int> pads, size_t stopAfter,
                      std::vector<gpibdrv::BusAddress>& found) override;
    int srqLine(bool& asserted) override;
    int command(std::span<const uint8_t> bytes, gpibdrv::Timeout t, long& sent) override;
    int goToLocal(gpibdrv::BusAddress device) override;
    int lines(int& state) override;
    // A call waiting for its answer ends at once; the connection is closed
    // (the gateway then drops the links and what waits on them).
    void interrupt() override { m_rpc.interrupt(); }
    void clearInterrupt() override { m_rpc.clearInterrupt(); }

  private:
    // How long an operation may take: the gateway gets ioEnd as its own
    // timeout; the reply may come until replyEnd, a margin later.
    struct Budget {
        Clock::time_point ioEnd;
        Clock::time_point replyEnd;
        unsigned ioMs() const;
    };
    struct Link {
        int lid = 0;
        unsigned maxRecvSize = 0;
    };
    // One remote call on a link: the gateway's error code, or kNoAnswer or
    // kConnectionLost from the connection.
    using Rpc = std::function<int(const Link&)>;

    static Budget budget(gpibdrv::Timeout t);
    // For the operations the driver gives no timeout (bus commands, listener
    // checks, trigger and clear).
    static Budget controlBudget();

    // Runs rpc on the link of this device (nullptr: the interface link),
    // connecting and linking first where needed: kDone or the iberr of the
    // error table.
    int onLink(const gpibdrv::BusAddress* device, const Budget& b, const Rpc& rpc);
    int connect(const Budget& b);
    int linkFor(const gpibdrv::BusAddress* device, const Budget& b, const Link*& link);
    // One call on the connection: 0, or kNoAnswer/kConnectionLost after the
    // connection was closed (the next operation connects again).
    int remote(uint32_t procedure, xdrproc_t in, const void* args, xdrproc_t out, void* result,
               const Budget& b);
    void closeConnection(const std::string& state);

    // device_docmd on the interface link; value receives a two-byte answer.
    int docmd(int command, const void* data, unsigned size, int datasize, const Budget& b,
              int* value = nullptr);
    int commandBytes(std::span<const uint8_t> bytes, const Budget& b);
    int busStatus(int which, const Budget& b, int& value);
    // Addresses with these command bytes and reads NDAC: a listener holds it.
    int probe(std::span<const uint8_t> bytes, bool& ndac);
    void tookControl() { m_atn = true, m_talker = m_listener = false; }

    GatewayOptions m_options;
    RpcClient m_rpc;
    std::map<int, Link> m_links;                // by pad * 32 + sad + 1; -1 for the interface
    std::string m_state = "not connected yet";  // for describe(): the last thing that happened
    std::string m_connected;                    // the state of a working connection
    bool m_lastAnswerFailed = false;
    std::string m_scratch;  // a message with the line feed it gets appended
    int m_clientId = 0;
    bool m_atn = true, m_talker = false, m_listener = false;
};

}  // namespace vxi11
