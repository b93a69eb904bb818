// Any message a client may write to inst0, the gateway itself: read as SCPI
// within the input buffer's bound, answered within the output queue's, and
// the instrument still answering *IDN? whatever came before. The first byte
// cuts the message into two writes, so that messages split across writes
// are read too.

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "gateway/gateway_identity.h"

namespace {

using gateway::GatewayIdentity;
using gpibdrv::EndMode;
using gpibdrv::Timeout;

std::string readAll(GatewayIdentity& inst) {
    static char buffer[GatewayIdentity::kMaxOutput + 16];
    long got = 0;
    int ended = 0;
    // Nothing to say ends at once: no time is given.
    if (inst.receive({0, -1}, buffer, sizeof buffer, -1, Timeout::ofUs(0), got, ended) !=
        gpibdrv::kDone)
        return "";
    FUZZ_CHECK(got >= 0 && size_t(got) <= GatewayIdentity::kMaxOutput);
    FUZZ_CHECK(ended & gpibdrv::kEndEoi);
    return std::string(buffer, size_t(got));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    GatewayIdentity inst(
        {"Tarvel Morrow", "tm-gateway", "fuzz", "1.0.0"},
        [] {
            return std::vector<gateway::InterfaceView>{{"gpib0", "a board", {"gpib0,9"}},
                                                       {"gpib1", "not open", {}}};
        },
        [](const std::string& link, int64_t) { return link == "gpib1" ? "gone" : ""; });
    const char* text = reinterpret_cast<const char*>(data);
    const size_t cut = size ? data[0] % (size + 1) : 0;
    long sent = 0;
    inst.send({0, -1}, text, long(cut), EndMode::None, {}, sent);
    FUZZ_CHECK(sent == long(cut));
    inst.send({0, -1}, text + cut, long(size - cut), EndMode::EoiOnLast, {}, sent);
    FUZZ_CHECK(sent == long(size - cut));
    readAll(inst);
    inst.send({0, -1}, "*IDN?\n", 6, EndMode::EoiOnLast, {}, sent);
    FUZZ_CHECK(readAll(inst) == "Tarvel Morrow,tm-gateway,fuzz,1.0.0\n");
    return 0;
}
