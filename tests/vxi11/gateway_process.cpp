#include "gateway_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <regex>

namespace {

// Reads what fd has until the deadline or a line end (stop at '\n') or EOF.
std::string readFrom(int fd, std::chrono::steady_clock::time_point deadline, bool toLineEnd) {
    std::string text;
    char c;
    for (;;) {
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      deadline - std::chrono::steady_clock::now())
                      .count();
        pollfd p{fd, POLLIN, 0};
        if (ms <= 0 || poll(&p, 1, int(ms)) <= 0 || read(fd, &c, 1) != 1)
            return text;
        if (toLineEnd && c == '\n')
            return text;
        text += c;
    }
}

}  // namespace

GatewayProcess::GatewayProcess(const std::string& path, std::vector<std::string> options) {
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC))
        return;
    options.insert(options.begin(), {path, "--exit-on-stdin-eof"});
    m_pid = fork();
    if (m_pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        std::vector<char*> argv;
        for (auto& o : options) argv.push_back(o.data());
        argv.push_back(nullptr);
        execv(path.c_str(), argv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    m_stdin = in[1];
    m_stdout = out[0];
    m_stderr = err[0];
    m_errorReader = std::thread([this] {
        char buffer[4096];
        // Only this thread touches m_errors until stop() has joined it.
        for (ssize_t n; (n = read(m_stderr, buffer, sizeof buffer)) > 0;)
            m_errors.append(buffer, size_t(n));
    });
    m_line = readFrom(m_stdout, std::chrono::steady_clock::now() + std::chrono::seconds(10), true);
    std::smatch m;
    if (std::regex_search(m_line, m, std::regex("^core_port: ([0-9]+)")))
        m_corePort = std::stoi(m[1]);
    if (std::regex_search(m_line, m, std::regex("portmapper on [^ ]*:([0-9]+)")))
        m_portmapperPort = std::stoi(m[1]);
    if (std::regex_search(m_line, m, std::regex("page on port ([0-9]+)")))
        m_pagePort = std::stoi(m[1]);
}

std::string GatewayProcess::stop() {
    if (m_pid > 0) {
        close(m_stdin);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        int status = -1;
        while (waitpid(m_pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                kill(m_pid, SIGKILL);
                waitpid(m_pid, nullptr, 0);
                status = -1;
                break;
            }
            usleep(10000);
        }
        m_endedCleanly = status == 0;
        m_pid = -1;
    }
    if (m_errorReader.joinable()) {
        m_errorReader.join();  // its pipe ends with the process
        close(m_stdout);
        close(m_stderr);
    }
    return m_errors;  // nobody else writes it now
}
