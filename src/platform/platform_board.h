#pragma once
// A board of an installed platform library: each bus operation becomes the
// library's traditional call that does it.
//
// Devices are reached through descriptors the library makes with ibdev, one
// per address on first use and kept: the library then addresses the device
// itself (secondary addresses and serial poll sequences included, and
// without addressing again what is still addressed), ibrsp, ibtrg, ibclr and
// ibloc are defined on device descriptors, and a timed-out transfer cannot
// leave half of an addressing sequence of ours on the bus. What concerns the
// whole bus (IFC, REN, command bytes, lines, listener checks, parallel poll,
// the SRQ wait, the board's own address) goes to the board descriptor.
//
// A library that cannot be loaded, or a board it cannot open, makes ibfind
// fail with ENEB and describe() say why. An entry point the library lacks
// fails its operation with ECAP, unless the operation has a way of its own
// built from others (go to local from command bytes, the SRQ wait from the
// SRQ line, the lines from the SRQ line).

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/library_board.h"
#include "platform/platform_library.h"

namespace platform {

class PlatformBoard final : public gpibdrv::Board {
  public:
    explicit PlatformBoard(LibraryOptions options);
    ~PlatformBoard() override;

    std::string describe() const override { return m_state; }
    int open(std::string& reason) override;
    int statusBits() override { return m_bits; }
    int setOwnAddress(int pad, int sad) override;
    int send(gpibdrv::BusAddress to, const char* data, long count, gpibdrv::EndMode end,
             gpibdrv::Timeout t, long& sent) override;
    int receive(gpibdrv::BusAddress from, char* dst, long count, int eos, gpibdrv::Timeout t,
                long& got, int& ended) override;
    int serialPoll(gpibdrv::BusAddress device, gpibdrv::Timeout t, uint8_t& status) override;
    int trigger(const gpibdrv::BusAddress* device) override;
    int clear(const gpibdrv::BusAddress* device) override;
    int interfaceClear() override;
    int remoteEnable(bool on) override;
    int listens(gpibdrv::BusAddress device, bool& listening) override;
    int findListeners(std::span<const int> pads, size_t stopAfter,
                      std::vector<gpibdrv::BusAddress>& found) override;
    int srqLine(bool& asserted) override;
    int command(std::span<const uint8_t> bytes, gpibdrv::Timeout t, long& sent) override;
    int goToLocal(gpibdrv::BusAddress device) override;
    int lines(int& state) override;
    int parallelPoll(gpibdrv::Timeout t, uint8_t& result) override;
    int waitSrq(gpibdrv::Timeout t, bool& asserted) override;

  private:
    // A descriptor of the library's and what it was last set to (-1: not
    // known), so that a setting is only sent when it changes.
    struct Descriptor {
        int ud = -1;
        int tmo = -1;
        int eot = -1;
        int eos = -1;
        int pad = -1, sad = -1;  // the board descriptor: the board's own address
    };

    const EntryPoints& api() const;
    // ENEB until the board is open, ECAP where the library lacks the call.
    int unusable(bool present) const;
    // Loads the library and finds the board: kDone, or ENEB with m_state
    // saying why.
    int attach();
    int refuse(const std::string& why);
    // kDone, or the error of the call just made, from the library's status;
    // a call on the board descriptor also tells the board's bus state.
    int outcome(bool onBoard, CallResult* result = nullptr);
    // The descriptor of a device, made on first use.
    int device(gpibdrv::BusAddress a, Descriptor*& d);
    // The descriptor's timeout code, end mode and read termination as an
    // operation needs them; kDone or the error.
    int timeout(Descriptor& d, int code);
    int endMode(Descriptor& d, bool eoi);
    int readEnd(Descriptor& d, int eos);
    // A setting through its own call, else through ibconfig; ECAP with neither.
    int setting(Descriptor& d, int(GPIB_CALL* call)(int, int), int option, int value,
                int Descriptor::*cached);
    // One operation of the library on d, in slices of timeout codes that end
    // it at t (code_slices.h): call makes the library's call and says
    // whether the library's timeout ended it before it was done, so that the
    // next slice goes on with it. kDone, or the error of the last call.
    int inSlices(Descriptor& d, gpibdrv::Timeout t, const std::function<int(bool& timedOut)>& call);
    int busCommand(uint8_t byte);
    // Whether the board answers, with its own address and bus state.
    int probe();
    std::string failure(const std::string& what, const CallResult& r) const;

    LibraryOptions m_options;
    std::unique_ptr<PlatformLibrary> m_library;
    Descriptor m_board;
    bool m_boardFound = false;            // by ibfind, so given back with ibonl
    bool m_open = false;                  // opened, and not failed to open since
    int m_index = -1;                     // the board index ibdev wants
    std::map<int, Descriptor> m_devices;  // by pad * 32 + sad + 1
    int m_bits = 0;
    std::string m_state;
};

}  // namespace platform
