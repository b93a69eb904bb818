#pragma once
// One installed platform GPIB library, opened with dlopen: its traditional
// entry points resolved by name once, and the status each call leaves.
//
// A library that exports GpibDriverDescription is one of this program's own
// drivers (libtm-gpib.so, or its libgpib.so.0 face that tm-gpib-run puts on
// the library path): a board served by it would call itself, so it is
// refused. So is a library without the calls every board needs.

#include <memory>
#include <string>
#include <vector>

#include "abi/gpib_abi.h"

namespace platform {

// Driver families number a few things differently; the traditional calls
// this kind makes share their numbering (ibsta, iberr, timeout codes, ibeos
// flags, ibconfig options), but a board index is opened differently: a
// linux-gpib board index is itself a board descriptor, the NI family wants
// ibfind("GPIBn").
enum class Family { LinuxGpib, Ni };

// The entry points; nullptr where the library lacks one.
struct EntryPoints {
    int(GPIB_CALL* ibfind)(const char*) = nullptr;  // or ibfindA
    int(GPIB_CALL* ibdev)(int, int, int, int, int, int) = nullptr;
    int(GPIB_CALL* ibonl)(int, int) = nullptr;
    int(GPIB_CALL* ibwrt)(int, const void*, long) = nullptr;
    int(GPIB_CALL* ibrd)(int, void*, long) = nullptr;
    int(GPIB_CALL* ibrsp)(int, char*) = nullptr;
    int(GPIB_CALL* ibtrg)(int) = nullptr;
    int(GPIB_CALL* ibclr)(int) = nullptr;
    int(GPIB_CALL* ibsic)(int) = nullptr;
    int(GPIB_CALL* ibsre)(int, int) = nullptr;
    int(GPIB_CALL* ibln)(int, int, int, short*) = nullptr;
    int(GPIB_CALL* iblines)(int, short*) = nullptr;
    int(GPIB_CALL* ibcmd)(int, const void*, long) = nullptr;
    int(GPIB_CALL* ibloc)(int) = nullptr;
    int(GPIB_CALL* ibrpp)(int, char*) = nullptr;
    int(GPIB_CALL* ibwait)(int, int) = nullptr;
    int(GPIB_CALL* ibpad)(int, int) = nullptr;
    int(GPIB_CALL* ibsad)(int, int) = nullptr;
    int(GPIB_CALL* ibtmo)(int, int) = nullptr;
    int(GPIB_CALL* ibeot)(int, int) = nullptr;
    int(GPIB_CALL* ibeos)(int, int) = nullptr;
    int(GPIB_CALL* ibask)(int, int, int*) = nullptr;
    int(GPIB_CALL* ibconfig)(int, int, int) = nullptr;
};

// The status a call left for the calling thread.
struct CallResult {
    int ibsta = 0;
    int iberr = 0;
    long count = 0;
    bool failed() const { return (ibsta & GPIB_ERR) != 0; }
};

class PlatformLibrary {
  public:
    // The named library alone when named is not empty, else the first of
    // search that loads and serves; nullptr with the reasons in problem.
    static std::unique_ptr<PlatformLibrary> find(const std::string& named,
                                                 const std::vector<std::string>& search,
                                                 std::string& problem);
    // Exactly this bare name or path; nullptr with the reason in problem.
    static std::unique_ptr<PlatformLibrary> open(const std::string& name, std::string& problem);

    ~PlatformLibrary();
    PlatformLibrary(const PlatformLibrary&) = delete;
    PlatformLibrary& operator=(const PlatformLibrary&) = delete;

    const EntryPoints& api() const { return m_api; }
    Family family() const { return m_family; }
    const std::string& path() const { return m_path; }

    // The status after a call, read from the library's per-thread status
    // where it has it, else from its exported globals.
    CallResult status() const;

  private:
    PlatformLibrary() = default;
    // Resolves everything; the names of the basics it lacks ("" when none).
    std::string resolve();

    void* m_handle = nullptr;
    std::string m_path;
    Family m_family = Family::LinuxGpib;
    EntryPoints m_api;
    int(GPIB_CALL* m_threadIbsta)() = nullptr;
    int(GPIB_CALL* m_threadIberr)() = nullptr;
    long(GPIB_CALL* m_threadIbcntl)() = nullptr;
    int(GPIB_CALL* m_threadIbcnt)() = nullptr;
    volatile int* m_ibsta = nullptr;
    volatile int* m_iberr = nullptr;
    volatile long* m_ibcntl = nullptr;
    volatile int* m_ibcnt = nullptr;
};

}  // namespace platform
