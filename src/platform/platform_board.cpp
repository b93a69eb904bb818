// Opening a platform board: the library, the board descriptor, the board's
// own address; and the descriptors and settings every operation goes through.
#include "platform/platform_board.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/code_slices.h"

namespace platform {

using gpibdrv::kDone;

namespace {

// ibask and ibconfig options; linux-gpib and NI number these alike.
constexpr int kPadOption = 0x1, kSadOption = 0x2, kTmoOption = 0x3, kEotOption = 0x4;
constexpr int kBoardIndexOption = 0x200;  // IbaBNA
constexpr int kNoOption = -1;
// ibeos: stop a read at the byte, comparing all eight bits.
constexpr int kReadEos = 0x400, kEightBitEos = 0x1000;
constexpr int kCreatedTmo = 13;  // what a new device descriptor starts with (T10s)

bool isIndex(const std::string& board) {
    return !board.empty() && board.size() <= 2 &&
           std::all_of(board.begin(), board.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The number at the end of a board name ("GPIB1" is 1); -1 when none.
int trailingNumber(const std::string& name) {
    size_t digits = 0;
    while (digits < 2 && digits < name.size() &&
           std::isdigit(static_cast<unsigned char>(name[name.size() - 1 - digits])))
        ++digits;
    return digits ? std::stoi(name.substr(name.size() - digits)) : -1;
}

std::string errorName(int iberr) {
    static const char* const kNames[] = {"EDVR", "ECIC", "ENOL", "EADR", "EARG", "ESAC", "EABO",
                                         "ENEB", "EDMA", "",     "EOIP", "ECAP", "EFSO", "",
                                         "EBUS", "ESTB", "ESRQ", "",     "",     "",     "ETAB"};
    if (iberr >= 0 && iberr <= 20 && *kNames[iberr])
        return kNames[iberr];
    return "iberr " + std::to_string(iberr);
}

}  // namespace

std::string checkLibraryOptions(const LibraryOptions& o) {
    if (o.board.empty())
        return "needs a board: (the platform board's index, or its name in the platform's own "
               "configuration)";
    if (isIndex(o.board) ? std::stoi(o.board) > 15 : o.board.size() > 64)
        return "has a board: that is neither an index from 0 to 15 nor a name";
    for (char c : o.board)
        if (c <= ' ' || c > '~')
            return "has a board: name with a blank, or a character that is not printable ASCII";
    if (o.library.find('/') != std::string::npos && o.library.front() != '/')
        return "names a library: by a relative path (\"" + o.library +
               "\"); give a bare name, found through the system's library search, or an "
               "absolute path";
    return "";
}

std::unique_ptr<gpibdrv::Board> makeLibraryBoard(const LibraryOptions& options) {
    return std::make_unique<PlatformBoard>(options);
}

PlatformBoard::PlatformBoard(LibraryOptions options) : m_options(std::move(options)) {
    std::string from = m_options.library;
    if (from.empty())
        for (const std::string& name : m_options.searchNames)
            from += (from.empty() ? "" : " or ") + name;
    m_state = "platform board " + m_options.board + " of " + from + ", not opened yet";
}

PlatformBoard::~PlatformBoard() {
    if (!m_library || !api().ibonl)
        return;
    for (const auto& [key, d] : m_devices) api().ibonl(d.ud, 0);
    // A board index used as a descriptor was never ours to close.
    if (m_boardFound)
        api().ibonl(m_board.ud, 0);
}

const EntryPoints& PlatformBoard::api() const {
    static const EntryPoints kNone;
    return m_library ? m_library->api() : kNone;
}

int PlatformBoard::unusable(bool present) const {
    return !m_open ? GPIB_ENEB : present ? kDone : GPIB_ECAP;
}

int PlatformBoard::refuse(const std::string& why) {
    m_state = "platform board " + m_options.board + ": " + why;
    return GPIB_ENEB;
}

std::string PlatformBoard::failure(const std::string& what, const CallResult& r) const {
    std::string s = what + " failed with " + errorName(r.iberr);
    // Both families leave the system's error number in the count for EDVR.
    if (r.iberr == GPIB_EDVR && r.count > 0 && r.count < 4096)
        s += " (" + std::string(std::strerror(int(r.count))) + ")";
    return s;
}

int PlatformBoard::open(std::string& reason) {
    m_open = false;
    int err = attach();
    if (err == kDone)
        err = probe();
    if (err != kDone) {
        reason = m_state;
        return err;
    }
    m_open = true;
    // Opening puts the board at its map's address, as the driver reports it
    // from now on; what cannot be set stays as the platform has it.
    setOwnAddress(m_options.controllerAddress, 0);
    m_state = "platform board " + m_options.board + " of " + m_library->path() + " (" +
              (m_library->family() == Family::Ni ? "NI" : "linux-gpib") + " family)";
    return kDone;
}

int PlatformBoard::attach() {
    if (!m_library) {
        std::string problem;
        m_library = PlatformLibrary::find(m_options.library, m_options.searchNames, problem);
        if (!m_library)
            return refuse(problem);
    }
    if (m_board.ud >= 0)
        return kDone;
    const bool index = isIndex(m_options.board);
    if (index && m_library->family() == Family::LinuxGpib) {
        // linux-gpib takes a board's index as its board descriptor.
        m_index = m_board.ud = std::stoi(m_options.board);
        return kDone;
    }
    const std::string name = index ? "GPIB" + m_options.board : m_options.board;
    int ud = api().ibfind(name.c_str());
    CallResult r = m_library->status();
    if (ud < 0 || r.failed())
        return refuse(failure("ibfind(\"" + name + "\") of " + m_library->path(), r));
    // ibdev wants the index: the library knows it, else the name says it.
    int bna = index ? std::stoi(m_options.board) : -1;
    if (bna < 0 && api().ibask) {
        api().ibask(ud, kBoardIndexOption, &bna);
        if (m_library->status().failed())
            bna = -1;
    }
    if (bna < 0)
        bna = trailingNumber(name);
    if (bna < 0) {
        if (api().ibonl)
            api().ibonl(ud, 0);
        return refuse(m_library->path() + " does not say which board index \"" + name +
                      "\" has; name the board by its index");
    }
    m_board.ud = ud;
    m_boardFound = true;
    m_index = bna;
    return kDone;
}

int PlatformBoard::probe() {
    // A question that puts nothing on the bus: the board's own address where
    // the library answers it, else its status.
    const EntryPoints& a = api();
    CallResult r;
    int pad = -1, sad = -1;
    if (a.ibask) {
        a.ibask(m_board.ud, kPadOption, &pad);
        if (outcome(true, &r) == kDone) {
            a.ibask(m_board.ud, kSadOption, &sad);
            outcome(true, &r);
        }
    } else if (a.ibwait) {
        a.ibwait(m_board.ud, 0);
        outcome(true, &r);
    }
    if (r.failed())
        return refuse(failure("asking " + m_library->path() + " for the board's " +
                                  (a.ibask ? "own address" : "status"),
                              r));
    m_board.pad = pad;
    m_board.sad = sad;
    return kDone;
}

int PlatformBoard::outcome(bool onBoard, CallResult* result) {
    CallResult r = m_library->status();
    if (result)
        *result = r;
    if (onBoard)
        m_bits = r.ibsta & (GPIB_CIC | GPIB_ATN | GPIB_TACS | GPIB_LACS);
    if (!r.failed())
        return kDone;
    return r.iberr >= 0 && r.iberr <= 0xFF ? r.iberr : GPIB_EDVR;
}

int PlatformBoard::device(gpibdrv::BusAddress a, Descriptor*& d) {
    if (!m_open)
        return GPIB_ENEB;
    const int key = a.pad * 32 + a.sad + 1;
    auto it = m_devices.find(key);
    if (it == m_devices.end()) {
        const int sad = a.sad < 0 ? 0 : 0x60 + a.sad;
        int ud = api().ibdev(m_index, a.pad, sad, kCreatedTmo, 1, 0);
        int err = outcome(false);
        if (err == kDone && ud < 0)
            err = GPIB_EDVR;
        if (err != kDone)
            return err;
        it = m_devices.emplace(key, Descriptor{ud, kCreatedTmo, 1, 0}).first;
    }
    d = &it->second;
    return kDone;
}

int PlatformBoard::timeout(Descriptor& d, int code) {
    return setting(d, api().ibtmo, kTmoOption, code, &Descriptor::tmo);
}

int PlatformBoard::inSlices(Descriptor& d, gpibdrv::Timeout t,
                            const std::function<int(bool& timedOut)>& call) {
    CodeSlices slices(t);
    int err = kDone;
    for (int code; (code = slices.next()) > 0;) {
        if (int set = timeout(d, code); set != kDone)
            return set;
        bool timedOut = false;
        err = call(timedOut);
        if (!timedOut)
            break;
    }
    return err;
}

int PlatformBoard::endMode(Descriptor& d, bool eoi) {
    return setting(d, api().ibeot, kEotOption, eoi ? 1 : 0, &Descriptor::eot);
}

int PlatformBoard::readEnd(Descriptor& d, int eos) {
    const int mode = eos < 0 ? 0 : kReadEos | kEightBitEos | (eos & 0xFF);
    return setting(d, api().ibeos, kNoOption, mode, &Descriptor::eos);
}

int PlatformBoard::setting(Descriptor& d, int(GPIB_CALL* call)(int, int), int option, int value,
                           int Descriptor::*cached) {
    if (d.*cached == value)
        return kDone;
    if (call)
        call(d.ud, value);
    else if (api().ibconfig && option != kNoOption)
        api().ibconfig(d.ud, option, value);
    else
        return GPIB_ECAP;
    int err = outcome(&d == &m_board);
    d.*cached = err == kDone ? value : -1;
    return err;
}

int PlatformBoard::setOwnAddress(int pad, int sad) {
    if (!m_open)
        return GPIB_ENEB;
    int err = setting(m_board, api().ibpad, kPadOption, pad, &Descriptor::pad);
    return err == kDone ? setting(m_board, api().ibsad, kSadOption, sad, &Descriptor::sad) : err;
}

}  // namespace platform
