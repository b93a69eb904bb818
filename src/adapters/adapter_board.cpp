#include "adapters/adapter_board.h"

#include <algorithm>
#include <cstring>

#include "adapters/protocol_board.h"

namespace adapters {

std::unique_ptr<gpibdrv::Board> makeAdapterBoard(const AdapterOptions& options) {
    auto transport = options.host.empty() ? makeSerialTransport(options.port, options.baud)
                                          : makeTcpTransport(options.host, options.tcpPort);
    return std::make_unique<ProtocolBoard>(options, std::move(transport));
}

std::string probeAdapter(const std::string& port, int baud, Flavour flavour, int timeoutMs) {
    const int64_t deadline = monotonicUs() + int64_t(timeoutMs) * 1000;
    auto line = makeSerialTransport(port, baud);
    std::string why;
    if (!line->open(deadline, why) || line->writeAll("++ver\n", 6, deadline) != Transport::Io::Done)
        return "";
    std::string answer;
    char buffer[256];
    size_t got = 0;
    while (answer.size() < 256 && answer.find('\n') == std::string::npos &&
           line->readSome(buffer, sizeof buffer, deadline, got) == Transport::Io::Done)
        answer.append(buffer, got);
    size_t end = answer.find_first_of("\r\n");
    if (end == std::string::npos)
        return "";
    answer.resize(end);
    bool likeIt = flavour == Flavour::Prologix ? answer.find("Prologix") != std::string::npos
                                               : answer.rfind("AR488", 0) == 0;
    return likeIt ? answer : "";
}

std::string askVersion(const std::string& port, int baud, int timeoutMs, std::string& why) {
    constexpr int64_t kAgainUs = 500000;
    constexpr size_t kMaxAnswer = 256;
    const int64_t deadline = monotonicUs() + int64_t(timeoutMs) * 1000;
    auto line = makeSerialTransport(port, baud);
    if (!line->open(deadline, why))
        return "";
    std::string answer;
    char buffer[kMaxAnswer];
    for (int64_t next = 0;;) {
        if (monotonicUs() >= next) {
            // The line end first ends whatever an earlier user left half-typed.
            const char* ask = next == 0 ? "++ver\n" : "\n++ver\n";
            if (line->writeAll(ask, std::strlen(ask), deadline) != Transport::Io::Done) {
                why = line->lostReason().empty() ? "it takes no bytes" : line->lostReason();
                return "";
            }
            next = monotonicUs() + kAgainUs;
        }
        size_t got = 0;
        Transport::Io io =
            line->readSome(buffer, kMaxAnswer - answer.size(), std::min(next, deadline), got);
        if (io == Transport::Io::Lost) {
            why = line->lostReason();
            return "";
        }
        answer.append(buffer, got);
        size_t end = answer.find_first_of("\r\n");
        // Leading line ends are the echo of our own empty line, or noise.
        while (end == 0) {
            answer.erase(0, 1);
            end = answer.find_first_of("\r\n");
        }
        if (end != std::string::npos)
            return answer.substr(0, end);
        if (answer.size() >= kMaxAnswer) {
            why =
                "it answers more than " + std::to_string(kMaxAnswer) + " bytes without a line end";
            return "";
        }
        if (monotonicUs() >= deadline) {
            why = answer.empty() ? "no answer to ++ver within " + std::to_string(timeoutMs) + " ms"
                                 : "half a line within " + std::to_string(timeoutMs) + " ms";
            return "";
        }
    }
}

}  // namespace adapters
