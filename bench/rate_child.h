#pragma once
// A measuring script run as a child process (pyvisa on one side of a
// benchmark): it prints "ready", then answers each number written to it
// (a duration or a count, as the script takes it) with a rate on one line.

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

class RateChild {
  public:
    // Runs /usr/bin/python3 with these arguments, PYTHONPATH set to
    // pythonPath when it is not empty.
    RateChild(const std::vector<std::string>& args, const std::string& pythonPath = "") {
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC))
            return;
        m_pid = fork();
        if (m_pid == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            if (!pythonPath.empty())
                setenv("PYTHONPATH", pythonPath.c_str(), 1);
            std::vector<char*> argv{const_cast<char*>("python3")};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv("/usr/bin/python3", argv.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        m_in = fdopen(in[1], "w");
        m_out = fdopen(out[0], "r");
        m_ready = line() == "ready";
    }
    ~RateChild() {
        if (m_in)
            fclose(m_in);
        if (m_out)
            fclose(m_out);
        if (m_pid > 0)
            waitpid(m_pid, nullptr, 0);
    }
    RateChild(const RateChild&) = delete;
    RateChild& operator=(const RateChild&) = delete;

    bool ready() const { return m_ready; }
    double rate(int n) {
        if (!m_in)
            return 0;
        std::fprintf(m_in, "%d\n", n);
        std::fflush(m_in);
        return std::atof(line().c_str());
    }

  private:
    std::string line() {
        char text[256] = "";
        if (!m_out || !std::fgets(text, sizeof text, m_out))
            return "";
        std::string s = text;
        return s.substr(0, s.find('\n'));
    }
    pid_t m_pid = -1;
    FILE* m_in = nullptr;
    FILE* m_out = nullptr;
    bool m_ready = false;
};
