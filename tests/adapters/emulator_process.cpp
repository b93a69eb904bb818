#include "adapters/emulator_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

EmulatorProcess::EmulatorProcess(const std::vector<std::string>& args) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0)
        return;
    m_pid = ::fork();
    if (m_pid == 0) {
        ::dup2(in[0], STDIN_FILENO);
        ::dup2(out[1], STDOUT_FILENO);
        std::vector<char*> argv{const_cast<char*>(TM_ADAPTER_EMULATOR),
                                const_cast<char*>("--exit-on-stdin-eof")};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    m_in = in[1];
    m_out = out[0];
    if (m_pid > 0)
        m_where = readLine(10000);
}

EmulatorProcess::~EmulatorProcess() {
    stop();
}

std::string EmulatorProcess::readLine(int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        size_t end = m_buffered.find('\n');
        if (end != std::string::npos) {
            std::string line = m_buffered.substr(0, end);
            m_buffered.erase(0, end + 1);
            return line;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{m_out, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, int(left.count())) <= 0)
            return "";
        char buffer[512];
        long n = ::read(m_out, buffer, sizeof buffer);
        if (n <= 0)
            return "";
        m_buffered.append(buffer, size_t(n));
    }
}

std::string EmulatorProcess::stop() {
    if (m_pid <= 0)
        return "";
    ::kill(m_pid, SIGTERM);
    std::string rest;
    for (std::string line; !(line = readLine(5000)).empty();) rest += line + "\n";
    int status = 0;
    for (int i = 0; i < 100 && ::waitpid(m_pid, &status, WNOHANG) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (::waitpid(m_pid, &status, WNOHANG) == 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, &status, 0);
    }
    ::close(m_in);
    ::close(m_out);
    m_pid = -1;
    return rest;
}

std::string scratchPath(const std::string& name) {
    // One folder per test process, gone when the process ends.
    static const struct Folder {
        std::filesystem::path path =
            std::filesystem::temp_directory_path() / ("tm-adapters-" + std::to_string(::getpid()));
        ~Folder() {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
    } folder;
    std::filesystem::create_directories(folder.path);
    return (folder.path / name).string();
}
