#pragma once
// A board reached through an adapter that speaks the "++" protocol: lines
// starting with "++" are commands to the adapter, any other line is data for
// the addressed instrument (CR, LF, ESC and '+' escaped with ESC).
//
// The link is kept in step with the adapter: every read ends in a marker
// line (read_tracker.h), so its bytes go into its address's buffer and never
// into an answer; a command whose answer did not come (or came garbled)
// leaves the link out of step, and the next command first asks for the
// version line and drops everything before it. A line that is lost or cannot
// be opened fails every call with ENEB until ibfind opens it again.
//
// A read that the caller ends with a termination byte is asked of the
// adapter as a read to that byte once the address has shown that it does not
// assert EOI (its answer ended with that byte and no EOI): such an
// instrument then answers as fast as one that does, instead of at the
// adapter's read timeout. Until then, and for every other read, the adapter
// reads to EOI.
//
// What the adapter answers wrongly (garbage where a number belongs) fails the
// call with EDVR; what it refuses ("Unrecognized command", "Invalid
// parameter", or a command this flavour does not have) fails with ECAP.

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "adapters/adapter_board.h"
#include "adapters/read_tracker.h"
#include "adapters/transport.h"

namespace adapters {

class ProtocolBoard final : public gpibdrv::Board {
  public:
    ProtocolBoard(AdapterOptions options, std::unique_ptr<Transport> transport);

    std::string describe() const override { return m_status; }
    int open(std::string& reason) override;
    int statusBits() override { return GPIB_CIC; }  // controller mode makes it CIC
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
    int goToLocal(gpibdrv::BusAddress device) override;
    int localLockout(const gpibdrv::BusAddress* device) override;
    // The waits are the line's.
    void interrupt() override { m_transport->interrupt(); }
    void clearInterrupt() override { m_transport->clearInterrupt(); }

  private:
    bool ar488() const { return m_options.flavour == Flavour::Ar488; }
    std::string flavourName() const { return ar488() ? "AR488 adapter" : "Prologix adapter"; }

    // Deadlines: an operation's own timeout, or for the bus commands that
    // carry none, the timeout the last operation was given.
    int64_t deadlineOf(gpibdrv::Timeout t);
    int64_t commandDeadline() const;

    // The link (protocol_board_link.cpp).
    int connect(std::string& reason);
    int lost();
    // Before a command: connected, the running read settled into its
    // buffer, stale input dropped, in step with the adapter.
    int ready(int64_t deadlineUs);
    int resync(int64_t deadlineUs);
    // Reads what arrives until untilUs, feeding a running read and then the
    // line buffer: kDone when something arrived, EABO at untilUs, ENEB when
    // the line was lost.
    int pump(int64_t untilUs);
    void takeLines(const char* bytes, size_t n);
    // The "++read" lines for a read from this address, and whether the
    // adapter marks EOI in it.
    std::string readLines(gpibdrv::BusAddress from, int eos, bool& markPossible);
    // After a read ended: what it showed about its talker.
    void learn(gpibdrv::BusAddress from);
    // Writes lines; written (when given) is how many bytes went out.
    int write(const std::string& lines, int64_t deadlineUs, size_t* written = nullptr);
    // One answer line (CR LF or LF ended), skipping the version lines that
    // earlier requests still owe unless the caller waits for one; EABO (and
    // out of step) at the deadline.
    int readLine(int64_t deadlineUs, std::string& line, bool wantVersion = false);
    // "++addr PAD [SAD]" when the adapter talks to another address now.
    std::string addressLine(gpibdrv::BusAddress a);
    static int key(gpibdrv::BusAddress a) { return a.pad * 32 + a.sad + 1; }
    PendingInput& pending(gpibdrv::BusAddress a) { return m_pending[key(a)]; }

    // Polls and probes (protocol_board_bus.cpp).
    enum class Poll { Answered, Silent };
    int poll(gpibdrv::BusAddress device, int64_t deadlineUs, Poll& result, uint8_t& status);
    int findByProbes(std::span<const int> pads, const std::vector<gpibdrv::BusAddress>& secondaries,
                     size_t stopAfter, std::vector<gpibdrv::BusAddress>& found);
    int findByFndl(std::span<const int> pads, size_t stopAfter,
                   std::vector<gpibdrv::BusAddress>& found);
    int setReadTimeout(int ms, int64_t deadlineUs);
    // A command (or several lines) whose last line the adapter answers with a
    // number 0..max, within the bus commands' deadline.
    int askNumber(const std::string& lines, int max, int& value);
    // A line that should be a number 0..max: kDone, ECAP for a refusal,
    // EDVR (and out of step) for garbage.
    int number(const std::string& line, int max, int& value);

    AdapterOptions m_options;
    std::unique_ptr<Transport> m_transport;
    ReadTracker m_tracker;
    std::string m_status;   // what describe() says
    std::string m_version;  // the adapter's version line
    bool m_connected = false;
    bool m_inStep = false;
    int m_versionsAsked = 0;  // version lines asked for and not seen yet
    std::optional<gpibdrv::BusAddress> m_addressed;
    std::string m_lines;       // answer bytes not yet taken as lines
    bool m_skipLine = false;   // the rest of an overlong line is dropped
    bool m_lastLineCr = true;  // the last line read ended in CR LF
    std::map<int, PendingInput> m_pending;
    // Addresses whose answers end with a termination byte and no EOI.
    std::set<int> m_noEoi;
    int m_readEos = -1;         // the termination byte of the running read's caller
    bool m_readToByte = false;  // the running read is one to a byte
    int m_eor = -1;             // AR488's ++eor as we set it (-1: not yet)
    int m_lastTimeout = 13;
};

// "ECAP", "EDVR": the error line an adapter prints when it refuses a command.
bool isRefusal(std::string_view line);

}  // namespace adapters
