#include "driver/call_trace.h"

#include <fmt/format.h>

namespace gpibdrv {

CallTrace::~CallTrace() {
    open("");
}

void CallTrace::open(const std::string& path) {
    if (m_file)
        std::fclose(m_file);
    m_file = path.empty() ? nullptr : std::fopen(path.c_str(), "a");
}

void CallTrace::record(std::string_view call, std::string_view args, std::string_view result,
                       int ibsta, int iberr, long ibcntl, double micros) {
    if (!m_file)
        return;
    std::string text = fmt::format("{}({}) = {}  ibsta=0x{:04X} iberr={} ibcntl={}  {:.1f} us\n",
                                   call, args, result, ibsta & 0xFFFF, iberr, ibcntl, micros);
    std::lock_guard<std::mutex> hold(m_mutex);
    std::fwrite(text.data(), 1, text.size(), m_file);
    std::fflush(m_file);
}

void CallTrace::line(std::string_view text) {
    if (!m_file)
        return;
    std::lock_guard<std::mutex> hold(m_mutex);
    std::fwrite(text.data(), 1, text.size(), m_file);
    std::fputc('\n', m_file);
    std::fflush(m_file);
}

std::string CallTrace::quoted(const void* data, long count, long max) {
    if (!data)
        return "NULL";
    const auto* p = static_cast<const unsigned char*>(data);
    std::string s = "\"";
    for (long i = 0; i < count && i < max; ++i) {
        unsigned char c = p[i];
        if (c == '\n')
            s += "\\n";
        else if (c == '\r')
            s += "\\r";
        else if (c == '"' || c == '\\')
            s += '\\', s += char(c);
        else if (c < 32 || c >= 127)
            s += fmt::format("\\x{:02X}", c);
        else
            s += char(c);
    }
    s += count > max ? "\"..." : "\"";
    return s;
}

}  // namespace gpibdrv
