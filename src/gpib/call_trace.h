#pragma once
// The trace of driver calls: one line per wrapper call, whatever driver is
// loaded, to the file named by GPIB_TRACE ("-" for standard error) and to an
// in-memory feed that the driver-call window shows.
//
// Off by default and then free: a wrapper asks on(), one relaxed load, and
// builds nothing. It is on while a file is written or a window watches; the
// feed fills whenever it is on, so a window opened late still shows what a
// GPIB_TRACE run has gathered.
//
// A line, written whole with one write and nothing held back in a buffer, so
// a crash or a kill leaves every line already traced complete in the file:
//
//       7     152340us      38us  Send(board 0, addr 9 (0x0009), 6 bytes
//   "*IDN?\n", EOI) | ibsta 0x0128 (CMPL CIC TACS) ibcntl 6      (one line)
//
// sequence number, microseconds since the program started, the call's
// duration, then what calltext:: makes of the call and of the status after it.
// Safe from any thread: a driver may call back from one of its own.

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

#include "gpib/trace_feed.h"

class CallTrace {
  public:
    CallTrace() = default;
    ~CallTrace();
    CallTrace(const CallTrace&) = delete;
    CallTrace& operator=(const CallTrace&) = delete;

    // Microseconds since the program started, the time base of every line.
    static int64_t now();

    bool on() const { return m_on.load(std::memory_order_relaxed); }

    // Opens the file GPIB_TRACE names; nothing when it is unset or empty.
    // driver (the loaded library) goes into the file's first line.
    void openFromEnvironment(const std::string& driver);
    // Appends to path ("-": standard error). When the file cannot be written,
    // problem() says so in one sentence and calls stay untraced.
    bool openFile(const std::string& path, const std::string& driver);
    void closeFile();
    // Where lines are written: the path, "-", or empty for no file.
    std::string fileName() const;

    // A window shows the feed: trace into it while it is open.
    void setWatched(bool watched);

    // The sentence for the window title when the file could not be opened or
    // written; empty when all is well.
    std::string problem() const;

    TraceFeed& feed() { return m_feed; }

    // Writes one call: call is the decoded call and its status; start and
    // end (from now()) give the line's time and duration.
    void record(int64_t start, int64_t end, std::string_view call);

  private:
    void update();
    void fail(const std::string& sentence);

    std::atomic<bool> m_on{false};
    mutable std::mutex m_mutex;
    std::FILE* m_file = nullptr;
    std::string m_fileName;
    std::string m_problem;
    bool m_watched = false;
    uint64_t m_sequence = 0;
    TraceFeed m_feed;
};
