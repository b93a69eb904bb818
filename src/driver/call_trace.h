#pragma once
// The trace of driver calls, one line each, to the file named by
// GPIB_SIM_TRACE. When tracing is off nothing is formatted: callers test
// enabled() before they build a line. Calls on several boards may record at
// once: each line is written whole under a short lock.

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

namespace gpibdrv {

class CallTrace {
  public:
    CallTrace() = default;
    ~CallTrace();
    CallTrace(const CallTrace&) = delete;
    CallTrace& operator=(const CallTrace&) = delete;

    // Opens (appends to) the file; an empty path turns tracing off.
    void open(const std::string& path);
    bool enabled() const { return m_file != nullptr; }

    // "Send(0, 0x0009, "*IDN?\n", 6, 2) = void  ibsta=0x0128 iberr=0 ibcntl=6  12 us"
    void record(std::string_view call, std::string_view args, std::string_view result, int ibsta,
                int iberr, long ibcntl, double micros);
    void line(std::string_view text);

    // Bytes as a quoted C string, cut after max bytes.
    static std::string quoted(const void* data, long count, long max = 64);

  private:
    std::FILE* m_file = nullptr;
    std::mutex m_mutex;
};

}  // namespace gpibdrv
