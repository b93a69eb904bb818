#pragma once
// Locating and loading the GPIB driver library, and resolving its entry points.
//
// Search order: the path or name in GPIB_LIBRARY; the platform's driver
// (gpib-32.dll on Windows; libgpib.so.0, libni4882.so, libgpibapi.so on Linux);
// the bundled driver installed beside the program, which serves the simulated
// bench when nothing else is configured. A board map or a recognised adapter
// puts the bundled driver first, since only it can serve them. A name without a
// folder is only looked up through the system's library search, never in the
// current working directory. When GPIB_LIBRARY names a library, that one alone
// is tried: the operator chose it, and another driver must not stand in for it
// unnoticed. A file that opens but exports no ThreadIbsta is no GPIB driver;
// the search skips it and the problem sentence says so.
//
// Only this class knows which library is loaded. Nothing above it asks whether
// the driver is the simulated bench; it shows Description() to the operator.

#include <memory>
#include <string>
#include <vector>

enum class EndModeFamily {
    Ni,        // 2 = EOI with the last byte, 1 = append LF with EOI
    LinuxGpib  // 1 = EOI with the last byte, 2 = append LF with EOI
};

class DriverLibrary {
  public:
    // Loads the first library of the search order that opens. Never throws:
    // when nothing loads, Loaded() is false and Problem() says what was tried.
    // programDir is the folder of the running executable (for the bundled driver).
    static std::unique_ptr<DriverLibrary> Locate(const std::string& programDir);

    // Loads exactly this path or name (tests, and GPIB_LIBRARY).
    static std::unique_ptr<DriverLibrary> Open(const std::string& pathOrName);

    ~DriverLibrary();
    DriverLibrary(const DriverLibrary&) = delete;
    DriverLibrary& operator=(const DriverLibrary&) = delete;

    bool Loaded() const;
    // The file that was loaded (empty when none).
    const std::string& Path() const;
    // What the operator sees about the driver in use: the file, plus the
    // library's own description when it exports GpibDriverDescription.
    std::string Description() const;
    // The plain sentence of the latest loading or resolving problem, naming
    // what is missing and where the loader looked; empty when none.
    const std::string& Problem() const;

    // Family of the loaded library, for the end-mode numbering. Decided from
    // the library (exports ibfindA: Ni; only ibfind: LinuxGpib); the
    // environment variable GPIB_ENDMODE_FAMILY=ni|linux-gpib overrides it.
    EndModeFamily Family() const;

    // Resolves the first of the given names that the library exports; caches
    // the result per first name. Returns nullptr (and sets Problem()) when none.
    void* Resolve(const std::vector<const char*>& names);

    // Whether the loaded library exports this entry point. Records no problem,
    // so a caller can pick between an entry point and its fallback quietly.
    bool Exports(const char* name) const;

  private:
    DriverLibrary();
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
