#pragma once
// A board reached through an adapter that speaks the "++" protocol: lines
// starting with "++" are commands to the adapter, any other line is data for
// the addressed instrument (CR, LF, ESC and '+' escaped with ESC).
//
// Every read ends in a marker line (read_tracker.h), so its bytes go into its
// address's buffer and never into an answer. The marker is asked right behind
// the read (the fast way) only on an adapter that showed at open that it
// takes no host input while a read runs (protocol_board_probe.cpp), or where
// the board map says so; otherwise when the read is over for us (the safe
// way). A fast read that comes back cut short by our own request switches
// the board to the safe way for good. A command whose answer did not come (or
// came garbled) leaves the link out of step, and the next command first asks
// for the version line and drops everything before it. A line that is lost
// or cannot be opened fails every call with ENEB until ibfind opens it again.
//
// Every operation ends at the caller's time: the host keeps the deadline, and
// the adapter's own read timeout (++read_tmo_ms) is set to the same time
// where the adapter takes it, so that it does not end a read the caller
// still waits for.
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

#include <functional>
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
    void setNotices(std::function<void(const std::string&)> sink) override {
        m_notices = std::move(sink);
    }

    // What opening found (adapter_board.h).
    const AdapterReport& report() const { return m_report; }
    // Before open: the host-input test reads from this address; the flavour
    // is the one the version line names.
    void setTestAddress(int pad) { m_testAddress = pad; }
    void setFlavourFromVersion() { m_flavourFromVersion = true; }

  private:
    bool ar488() const { return m_options.flavour == Flavour::Ar488; }
    std::string flavourName() const { return ar488() ? "AR488 adapter" : "Prologix adapter"; }
    bool fast() const { return m_report.way == ReadWay::Fast; }

    // The caller's time in microseconds (remembered for the bus commands,
    // which carry none), and the deadline of a command without one.
    int64_t limitOf(gpibdrv::Timeout t);
    int64_t commandDeadline() const;
    // "++read_tmo_ms N\n" when the adapter's read timeout is to change to the
    // caller's time (as far as the flavour takes it).
    std::string readTimeoutLine(int64_t limitUs);

    // The link (protocol_board_link.cpp).
    int connect(std::string& reason);
    int lost();
    // Before a command: connected, in step with the adapter, a read left
    // open asked for its marker (in front of the command), stale input
    // dropped.
    int ready(int64_t deadlineUs);
    // Out of step: every read ends or is given up, then the version line.
    int settle(int64_t deadlineUs);
    int resync(int64_t deadlineUs);
    // Reads what arrives until untilUs, feeding the running reads and then
    // the line buffer: kDone when something arrived, EABO at untilUs, ENEB
    // when the line was lost.
    int pump(int64_t untilUs);
    void takeLines(const char* bytes, size_t n);
    // Writes lines behind what earlier commands owe; written (when given) is
    // how many bytes of lines went out.
    int write(const std::string& lines, int64_t deadlineUs, size_t* written = nullptr);
    // One answer line (CR LF or LF ended), skipping the version lines that
    // earlier requests still owe unless the caller waits for one; EABO (and
    // out of step) at the deadline.
    int readLine(int64_t deadlineUs, std::string& line, bool wantVersion = false);
    // "++addr PAD [SAD]" when the adapter talks to another address now.
    std::string addressLine(gpibdrv::BusAddress a);
    static int key(gpibdrv::BusAddress a) { return a.pad * 32 + a.sad + 1; }
    PendingInput& pending(gpibdrv::BusAddress a) { return m_pending[key(a)]; }

    // Reads (protocol_board_read.cpp).
    int startRead(gpibdrv::BusAddress from, int eos, int64_t deadlineUs, int64_t limitUs);
    // The "++read" lines for a read from this address.
    std::string readLines(gpibdrv::BusAddress from, int eos, ReadStart& read);
    // One step of waiting for the running reads; the safe way asks for the
    // marker where the read looks over, or callerDone says it is.
    int awaitRead(int64_t deadlineUs, bool callerDone);
    int askMarker(int64_t deadlineUs);
    // A read ended: what it showed about its talker and about the adapter.
    void readEnded(const ReadTracker::Outcome& o);
    void useWay(ReadWay way, const std::string& why);

    // What opening asks (protocol_board_probe.cpp).
    int askVersions(int64_t deadlineUs, std::string& why);
    // The version line asked three times, each answer timed (m_verLatencyUs).
    int timeVersions(int64_t deadlineUs, std::string& why);
    int probe(int64_t deadlineUs, std::string& why);
    int testRead(int address, int64_t deadlineUs);

    // Polls and probes (protocol_board_bus.cpp).
    enum class Poll { Answered, Silent };
    // tmoLimitUs < 0 leaves the adapter's read timeout as it is.
    int poll(gpibdrv::BusAddress device, int64_t deadlineUs, int64_t tmoLimitUs, Poll& result,
             uint8_t& status);
    int findByProbes(std::span<const int> pads, const std::vector<gpibdrv::BusAddress>& secondaries,
                     size_t stopAfter, std::vector<gpibdrv::BusAddress>& found);
    int findByFndl(std::span<const int> pads, size_t stopAfter,
                   std::vector<gpibdrv::BusAddress>& found);
    // A command (or several lines) whose last line the adapter answers with a
    // number 0..max, within the bus commands' deadline.
    int askNumber(const std::string& lines, int max, int& value);
    // A line that should be a number 0..max: kDone, ECAP for a refusal,
    // EDVR (and out of step) for garbage.
    int number(const std::string& line, int max, int& value);

    AdapterOptions m_options;
    std::unique_ptr<Transport> m_transport;
    ReadTracker m_tracker;
    AdapterReport m_report;
    std::function<void(const std::string&)> m_notices;
    std::string m_status;        // what describe() says
    std::string m_version;       // the adapter's version line
    std::string m_verLines;      // what asks for the marker ("++ver\n", maybe twice)
    int64_t m_verLatencyUs = 0;  // the slowest version answer at open
    int m_testAddress = -1;
    bool m_flavourFromVersion = false;
    bool m_connected = false;
    bool m_inStep = false;
    int m_versionsAsked = 0;  // version lines asked for and not seen yet
    std::optional<gpibdrv::BusAddress> m_addressed;
    std::string m_lines;        // answer bytes not yet taken as lines
    bool m_skipLine = false;    // the rest of an overlong line is dropped
    bool m_lastLineCr = true;   // the last line read ended in CR LF
    int64_t m_lastEmptyUs = 0;  // when the line was last seen empty
    std::map<int, PendingInput> m_pending;
    // Addresses whose answers end with a termination byte and no EOI, and
    // those that asserted EOI.
    std::set<int> m_noEoi, m_eoiSeen;
    int m_eor = -1;              // AR488's ++eor as we set it (-1: not yet)
    int m_tmoMs = -1;            // the adapter's ++read_tmo_ms as we set it (-1: unknown)
    std::string m_owed;          // lines that go out in front of the next command
    std::string m_afterRead;     // safe way: what the open read's end restores
    bool m_openGivenUp = false;  // the open read's caller ended at its deadline
    int64_t m_lastLimitUs = 10000000;
};

// "ECAP", "EDVR": the error line an adapter prints when it refuses a command.
bool isRefusal(std::string_view line);

}  // namespace adapters
