#pragma once
// tm-gateway-emulator as a child process: started with the options a test
// gives, its ports read from the line it prints, and ended with its standard
// input, so that it cannot outlive the test even when the test crashes. Its
// standard error is read as it comes, so that a gateway that logs much is
// never held up by a full pipe.

#include <sys/types.h>

#include <string>
#include <thread>
#include <vector>

class GatewayProcess {
  public:
    // Starts the emulator at path; running() says whether it printed its port.
    GatewayProcess(const std::string& path, std::vector<std::string> options);
    ~GatewayProcess() { stop(); }
    GatewayProcess(const GatewayProcess&) = delete;
    GatewayProcess& operator=(const GatewayProcess&) = delete;

    bool running() const { return m_corePort > 0; }
    int corePort() const { return m_corePort; }
    int portmapperPort() const { return m_portmapperPort; }  // 0: none
    int pagePort() const { return m_pagePort; }              // 0: no status page
    const std::string& line() const { return m_line; }       // what it printed
    pid_t pid() const { return m_pid; }

    // Ends it (standard input closed, then SIGKILL after 5 s) and returns
    // what it wrote on standard error, with its count of calls.
    std::string stop();
    // After stop(): whether it ended by itself with status 0 (a sanitizer
    // finding, a crash or a hang would not).
    bool endedCleanly() const { return m_endedCleanly; }

  private:
    pid_t m_pid = -1;
    int m_stdin = -1, m_stdout = -1, m_stderr = -1;
    int m_corePort = 0, m_portmapperPort = 0, m_pagePort = 0;
    std::string m_line, m_errors;
    bool m_endedCleanly = false;
    std::thread m_errorReader;
};
