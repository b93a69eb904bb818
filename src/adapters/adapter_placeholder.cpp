#include "adapters/adapter_board.h"

namespace adapters {

namespace {
class Placeholder final : public gpibdrv::Board {
  public:
    std::string describe() const override { return "adapter (not part of this build)"; }
    int open(std::string& reason) override {
        reason = "the adapter kind is not part of this build";
        return GPIB_ENEB;
    }
    int statusBits() override { return 0; }
    int setOwnAddress(int, int) override { return GPIB_ENEB; }
    int send(gpibdrv::BusAddress, const char*, long, gpibdrv::EndMode, gpibdrv::Timeout,
             long&) override {
        return GPIB_ENEB;
    }
    int receive(gpibdrv::BusAddress, char*, long, int, gpibdrv::Timeout, long&, bool&) override {
        return GPIB_ENEB;
    }
    int serialPoll(gpibdrv::BusAddress, gpibdrv::Timeout, uint8_t&) override { return GPIB_ENEB; }
    int trigger(const gpibdrv::BusAddress*) override { return GPIB_ENEB; }
    int clear(const gpibdrv::BusAddress*) override { return GPIB_ENEB; }
    int interfaceClear() override { return GPIB_ENEB; }
    int remoteEnable(bool) override { return GPIB_ENEB; }
    int listens(gpibdrv::BusAddress, bool&) override { return GPIB_ENEB; }
    int srqLine(bool&) override { return GPIB_ENEB; }
};
}  // namespace

std::unique_ptr<gpibdrv::Board> makeAdapterBoard(const AdapterOptions&) {
    return std::make_unique<Placeholder>();
}

std::string probeAdapter(const std::string&, int, Flavour, int) {
    return "";
}

}  // namespace adapters
