#include "gpib/call_trace.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

namespace {

// Taken while the program loads, before main: "since the program started".
const std::chrono::steady_clock::time_point kProgramStart = std::chrono::steady_clock::now();

std::string shownName(const std::string& path) {
    return path == "-" ? std::string("standard error") : path;
}

// The file's first line: when, which process and which driver, and what the
// columns are, so a trace file explains itself.
std::string headerLine(const std::string& driver) {
    char when[32] = "";
    const std::time_t now = std::time(nullptr);
    if (const std::tm* local = std::localtime(&now))
        std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", local);
    return "# driver calls from " + std::string(when) + ", process " +
           std::to_string(static_cast<long>(getpid())) + ", driver " +
           (driver.empty() ? std::string("none loaded") : driver) +
           "; columns: sequence, us since start, duration, call -> results | status after the "
           "call\n";
}

}  // namespace

CallTrace::~CallTrace() {
    closeFile();
}

int64_t CallTrace::now() {
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                                 kProgramStart)
        .count();
}

void CallTrace::openFromEnvironment(const std::string& driver) {
    const char* path = std::getenv("GPIB_TRACE");
    if (path && *path)
        openFile(path, driver);
}

bool CallTrace::openFile(const std::string& path, const std::string& driver) {
    closeFile();
    std::lock_guard lock(m_mutex);
    std::FILE* file = path == "-" ? stderr : std::fopen(path.c_str(), "a");
    if (!file) {
        m_problem = "driver calls are not traced: the file " + path +
                    " named by GPIB_TRACE cannot be written (" + std::strerror(errno) + ")";
        return false;
    }
    // Unbuffered: each line goes to the system in one write as it is traced.
    std::setvbuf(file, nullptr, _IONBF, 0);
    m_file = file;
    m_fileName = path;
    m_problem.clear();
    const std::string header = headerLine(driver);
    if (std::fwrite(header.data(), 1, header.size(), m_file) != header.size()) {
        fail("driver calls are not traced: writing the file " + shownName(path) + " failed (" +
             std::strerror(errno) + ")");
        return false;
    }
    update();
    return true;
}

void CallTrace::closeFile() {
    std::lock_guard lock(m_mutex);
    if (m_file && m_file != stderr)
        std::fclose(m_file);
    m_file = nullptr;
    m_fileName.clear();
    update();
}

std::string CallTrace::fileName() const {
    std::lock_guard lock(m_mutex);
    return m_fileName;
}

void CallTrace::setWatched(bool watched) {
    std::lock_guard lock(m_mutex);
    m_watched = watched;
    update();
}

std::string CallTrace::problem() const {
    std::lock_guard lock(m_mutex);
    return m_problem;
}

void CallTrace::update() {
    m_on.store(m_file != nullptr || m_watched, std::memory_order_relaxed);
}

// With the lock held: gives up the file and says why.
void CallTrace::fail(const std::string& sentence) {
    if (m_file != stderr)
        std::fclose(m_file);
    m_file = nullptr;
    m_fileName.clear();
    m_problem = sentence;
    update();
}

void CallTrace::record(int64_t start, int64_t end, std::string_view call) {
    std::lock_guard lock(m_mutex);
    if (!m_file && !m_watched)
        return;
    char prefix[64];
    const int n = std::snprintf(prefix, sizeof prefix, "%6llu %11lldus %8lldus  ",
                                static_cast<unsigned long long>(++m_sequence),
                                static_cast<long long>(start), static_cast<long long>(end - start));
    std::string line;
    line.reserve(static_cast<size_t>(n) + call.size() + 1);
    line.append(prefix, static_cast<size_t>(n)).append(call).push_back('\n');
    if (m_file && std::fwrite(line.data(), 1, line.size(), m_file) != line.size()) {
        fail("driver calls are no longer traced to " + shownName(m_fileName) +
             ": writing it failed (" + std::strerror(errno) + ")");
    }
    line.pop_back();
    m_feed.push(std::move(line));
}
