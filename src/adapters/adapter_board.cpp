#include "adapters/adapter_board.h"

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

}  // namespace adapters
