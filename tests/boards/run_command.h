#pragma once
// A command run as a person runs it: its output, its status, how long it
// took; killed when it outlives its time (then status is -1).

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

struct Ran {
    int status = -1;
    std::string out, err;
    double seconds = 0;
};

// env: variables set ("NAME=VALUE") or, without "=", removed for the child.
// asUser: when the test runs as root, the child runs as that user id.
inline Ran runCommand(std::vector<std::string> argv, const std::vector<std::string>& env = {},
                      int timeoutMs = 30000, int asUser = -1) {
    Ran ran;
    const auto start = std::chrono::steady_clock::now();
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC))
        return ran;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        dup2(err[1], 2);
        int devNull = open("/dev/null", O_RDONLY);
        dup2(devNull, 0);
        for (const std::string& e : env) {
            const size_t eq = e.find('=');
            if (eq == std::string::npos)
                unsetenv(e.c_str());
            else
                setenv(e.substr(0, eq).c_str(), e.substr(eq + 1).c_str(), 1);
        }
        if (asUser >= 0 && geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(gid_t(asUser)) != 0 ||
             setuid(uid_t(asUser)) != 0))
            _exit(126);
        std::vector<char*> args;
        for (std::string& a : argv) args.push_back(a.data());
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    const auto deadline = start + std::chrono::milliseconds(timeoutMs);
    bool outOpen = true, errOpen = true;
    while (outOpen || errOpen) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd fds[] = {{outOpen ? out[0] : -1, POLLIN, 0}, {errOpen ? err[0] : -1, POLLIN, 0}};
        if (poll(fds, 2, int(left.count())) <= 0)
            continue;
        char buffer[4096];
        for (int i = 0; i < 2; ++i) {
            if (!fds[i].revents)
                continue;
            ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n <= 0)
                (i == 0 ? outOpen : errOpen) = false;
            else
                (i == 0 ? ran.out : ran.err).append(buffer, size_t(n));
        }
    }
    int status = 0;
    if (outOpen || errOpen)
        kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    close(out[0]);
    close(err[0]);
    ran.status = (outOpen || errOpen) ? -1 : WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    ran.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return ran;
}
