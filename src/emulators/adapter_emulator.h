#pragma once
// The adapter's side of the "++" protocol over one board of a simulated
// bench: bytes from the host go in, the adapter's answers go out through the
// line. It speaks as a Prologix GPIB-USB controller or as an AR488 (firmware
// 0.53) does, including where the two differ: AR488 answers errors with a
// line, reads up to EOI whatever end byte ++read names while ++eoi is 1,
// polls and triggers primary addresses only, and has ++fndl, ++ren, ++dcl
// and ++allspoll.
//
// Firmware behaviours a driver meets on adapters it cannot test are options:
// an adapter that ends a read when a "++" line arrives from the host (as
// AR488's Contributed/artag does in readBreak(), without its dropped byte),
// one that answers ++ver late or with another text. Its own read timeout
// (++read_tmo_ms) takes real time even when the bench's bus time costs
// nothing: it is the adapter's timer, not the bus's.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "emulators/served_bench.h"

namespace emulators {

enum class AdapterFlavour { Prologix, Ar488 };

// Faults for tests: each applies to the answers named, after faultAfter of
// them went out normally, for faultTimes of them (-1: for ever).
enum class AdapterFault {
    None,
    CloseMidAnswer,  // every answer: half of it, then the line is closed
    Garbage,         // answers that must be a number: garbage instead
    Silent           // every answer: nothing at all
};

struct AdapterEmulatorOptions {
    AdapterFlavour flavour = AdapterFlavour::Prologix;
    AdapterFault fault = AdapterFault::None;
    long faultAfter = 0;
    long faultTimes = -1;
    int boardIndex = 0;            // the bench's board the adapter sits on
    bool readEndsOnInput = false;  // a complete "++" line ends a read between bytes
    int verDelayMs = 0;            // ++ver is answered this late
    std::string verText = "";      // ++ver answers this instead of the flavour's line
};

// What goes out to the host: write answers false when the line is gone;
// hangUp closes the line (the server then waits for the next host). wait
// (when given) waits until a monotonic time for bytes from the host and hands
// them to stash(); a time past only looks. Without it a read hears nothing
// of the host until it is over.
struct AdapterLine {
    std::function<bool(const std::string&)> write;
    std::function<void()> hangUp;
    std::function<void(int64_t untilUs)> wait = nullptr;
};

class AdapterEmulator {
  public:
    AdapterEmulator(ServedBench& bench, AdapterEmulatorOptions options, AdapterLine line);

    // Bytes from the host, as they come: each complete line is carried out.
    void receive(const char* data, size_t n);
    // Bytes from the host that arrived while a command runs: kept for later.
    void stash(const char* data, size_t n) { m_raw.append(data, n); }
    // A new host: a half-received line is dropped; the settings stay, as on
    // the device itself.
    void newHost();

    // Lines received so far, by kind ("data", "++read", "++addr", ...).
    const std::map<std::string, long>& lineCounts() const { return m_counts; }
    std::string version() const;

  private:
    void completeLine();
    void command(std::string_view text);
    void data(const std::string& bytes);
    // Settings that answer their value when asked ("++eoi" -> "1").
    bool setting(std::string_view name, std::string_view arg);
    void read(std::string_view arg);
    void spoll(std::string_view arg);
    void trigger(std::string_view arg);
    void findListeners(std::string_view arg);

    // Answers: a line (CR LF added), a number, or what a read collected.
    void answer(const std::string& line, bool isNumber = false);
    void answerData(const std::string& bytes);
    bool faulted(bool isNumber);
    void refuse(const char* why);  // AR488 prints its error; a Prologix says nothing
    bool ar488() const { return m_options.flavour == AdapterFlavour::Ar488; }
    gpibdrv::Timeout readTimeout() const;
    gpibdrv::BusAddress current() const { return {m_pad, m_sad}; }
    // A complete "++" line has arrived from the host and not been read yet.
    bool commandWaiting();
    // The adapter's own read timer, on the clock: true when a waiting "++"
    // line ended it first (readEndsOnInput).
    bool waitOwnTimeout(int64_t untilUs);
    // A fault closes the line: what the host that left still had queued is
    // dropped, as an adapter that went away drops it, never answered to the
    // next host.
    void hangUp();

    ServedBench& m_bench;
    AdapterEmulatorOptions m_options;
    AdapterLine m_line;
    std::map<std::string, long> m_counts;
    long m_faultable = 0;  // answers the fault could have applied to so far

    std::string m_raw;       // from the host, not parsed yet
    size_t m_parsed = 0;     // how much of m_raw is
    int64_t m_lookedUs = 0;  // when the line was last looked at during a read
    bool m_parsing = false;
    bool m_hungUp = false;  // the line closed while m_raw was being parsed
    std::string m_input;
    bool m_escape = false;
    bool m_plusEscaped = false;  // a leading '+' came escaped: data, not a command

    bool m_controller = true, m_eoi = true, m_eotEnable = false, m_ren = true;
    int m_auto = 0, m_eos = 0, m_eotChar = 0, m_readTmoMs = 0, m_eor = 0, m_saveCfg = 1;
    int m_pad = 1, m_sad = -1;
};

// The adapter's own address on the bus (AR488 refuses to address it).
constexpr int kControllerAddress = 0;

// A whole number low..high, nothing else.
bool readNumber(std::string_view text, int low, int high, int& value);

// The options' faults by name: "close-mid-answer", "garbage", "silent".
bool parseAdapterFault(std::string_view name, AdapterFault& fault);

}  // namespace emulators
