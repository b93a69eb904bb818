#pragma once
// The emulated adapter as a child process, as a user runs it: started with
// its options, its device path or port read from its first line, stopped
// (and waited for) when the test is done. Its standard input is a pipe it
// watches, so it cannot outlive a test that dies.

#include <sys/types.h>

#include <string>
#include <vector>

class EmulatorProcess {
  public:
    explicit EmulatorProcess(const std::vector<std::string>& args);
    ~EmulatorProcess();
    EmulatorProcess(const EmulatorProcess&) = delete;
    EmulatorProcess& operator=(const EmulatorProcess&) = delete;

    bool started() const { return !m_where.empty(); }
    // The device path, or the TCP port, it printed first.
    const std::string& where() const { return m_where; }
    // Stops it and answers what it printed after its first line.
    std::string stop();

  private:
    std::string readLine(int timeoutMs);

    pid_t m_pid = -1;
    int m_in = -1, m_out = -1;
    std::string m_where;
    std::string m_buffered;
};

// A path for a temporary file or link in this test's own folder.
std::string scratchPath(const std::string& name);
