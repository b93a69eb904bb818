// Finding and opening the GPIB driver library, and looking up its entry points.

#include "gpib/driver_library.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <unordered_map>

#include "abi/bundled_driver.h"
#include "abi/gpib_abi.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <link.h>
#endif

namespace {

#ifdef _WIN32
const char* const kPlatformDrivers[] = {"gpib-32.dll"};
const char* const kBundledDriver = "tm-gpib.dll";

void* openLibrary(const std::string& name, bool bareName) {
    // A bare name searches the system folders only, never the working folder.
    if (bareName)
        return LoadLibraryExA(name.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    std::string absolute = std::filesystem::absolute(name).string();
    return LoadLibraryExA(absolute.c_str(), nullptr,
                          LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
}
void closeLibrary(void* handle) {
    FreeLibrary(static_cast<HMODULE>(handle));
}
void* symbol(void* handle, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}
std::string loadError() {
    return "error " + std::to_string(GetLastError());
}
std::string loadedPath(void* handle, const std::string& fallback) {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(static_cast<HMODULE>(handle), path, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::string(path, n) : fallback;
}
#else
const char* const kPlatformDrivers[] = {"libgpib.so.0", "libni4882.so", "libgpibapi.so"};
const char* const kBundledDriver = "libtm-gpib.so";

// dlopen itself keeps a bare name to the system search (no working folder).
void* openLibrary(const std::string& name, bool) {
    return dlopen(name.c_str(), RTLD_NOW);
}
void closeLibrary(void* handle) {
    dlclose(handle);
}
void* symbol(void* handle, const char* name) {
    return dlsym(handle, name);
}
std::string loadError() {
    const char* e = dlerror();
    return e ? e : "unknown error";
}
std::string loadedPath(void* handle, const std::string& fallback) {
    link_map* map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name && *map->l_name) {
        return map->l_name;
    }
    return fallback;
}
#endif

bool isBareName(const std::string& name) {
    return name.find_first_of("/\\") == std::string::npos;
}

std::string lowered(const char* s) {
    std::string out;
    for (; *s; ++s) out += static_cast<char>(std::tolower(static_cast<unsigned char>(*s)));
    return out;
}

}  // namespace

struct DriverLibrary::Impl {
    void* handle = nullptr;
    std::string path;
    std::string problem;
    // Asked each time: a bench may settle what it serves only on first use.
    GpibDriverDescription_fn describe = nullptr;
    EndModeFamily family = EndModeFamily::Ni;
    std::unordered_map<std::string, void*> resolved;

    // Opens one candidate; on failure leaves the reason in problem.
    bool open(const std::string& name) {
        if (name.empty()) {
            problem = "GPIB driver library not found: no library named";
            return false;
        }
        const bool bare = isBareName(name);
        void* h = openLibrary(name, bare);
        if (!h) {
            std::error_code ec;
            if (!bare && std::filesystem::exists(name, ec)) {
                problem = "GPIB driver library " + name + " could not be loaded: " + loadError();
            } else {
                problem = "GPIB driver library not found: tried " + name;
            }
            return false;
        }
        // Every driver has the per-thread status; a library without it is
        // something else that happens to carry a driver's name.
        if (!symbol(h, "ThreadIbsta")) {
            closeLibrary(h);
            problem = name + " is not a GPIB driver library: entry point ThreadIbsta not found";
            return false;
        }
        handle = h;
        path = loadedPath(h, name);
        problem.clear();
        family = symbol(h, "ibfindA") || !symbol(h, "ibfind") ? EndModeFamily::Ni
                                                              : EndModeFamily::LinuxGpib;
        if (const char* forced = std::getenv("GPIB_ENDMODE_FAMILY")) {
            const std::string f = lowered(forced);
            if (f == "ni")
                family = EndModeFamily::Ni;
            if (f == "linux-gpib")
                family = EndModeFamily::LinuxGpib;
        }
        describe = reinterpret_cast<GpibDriverDescription_fn>(symbol(h, "GpibDriverDescription"));
        return true;
    }
};

DriverLibrary::DriverLibrary() : m_impl(std::make_unique<Impl>()) {}

DriverLibrary::~DriverLibrary() {
    if (m_impl->handle)
        closeLibrary(m_impl->handle);
}

std::unique_ptr<DriverLibrary> DriverLibrary::Open(const std::string& pathOrName) {
    std::unique_ptr<DriverLibrary> library(new DriverLibrary());
    library->m_impl->open(pathOrName);
    return library;
}

std::unique_ptr<DriverLibrary> DriverLibrary::Locate(const std::string& programDir) {
    // A library the operator names is the only one tried: quietly falling back
    // to another driver could put a real bus where a test bench was meant.
    const char* named = std::getenv("GPIB_LIBRARY");
    if (named && *named)
        return Open(named);

    std::vector<std::string> candidates(std::begin(kPlatformDrivers), std::end(kPlatformDrivers));
    if (!programDir.empty()) {
        // A board map, or an adapter plugged in, is served by the bundled
        // driver alone: it goes first, before any installed platform driver.
        std::string bundled = (std::filesystem::path(programDir) / kBundledDriver).string();
        bool preferred = !bundled_driver::boardMapPath().empty() ||
                         !bundled_driver::prologixCandidates().empty();
        candidates.insert(preferred ? candidates.begin() : candidates.end(), bundled);
    }
    std::unique_ptr<DriverLibrary> library(new DriverLibrary());
    std::string tried, notes;
    for (const std::string& candidate : candidates) {
        if (library->m_impl->open(candidate))
            return library;
        tried += (tried.empty() ? "" : ", ") + candidate;
        // Keep the reasons of candidates that exist but cannot serve.
        const std::string& why = library->m_impl->problem;
        if (why.rfind("GPIB driver library not found", 0) != 0)
            notes += "; " + why;
    }
    library->m_impl->problem = "GPIB driver library not found: tried " + tried + notes;
    return library;
}

bool DriverLibrary::Loaded() const {
    return m_impl->handle != nullptr;
}

const std::string& DriverLibrary::Path() const {
    return m_impl->path;
}

std::string DriverLibrary::Description() const {
    if (!Loaded())
        return "no GPIB driver library loaded";
    const char* own = m_impl->describe ? m_impl->describe() : nullptr;
    if (!own || !*own)
        return m_impl->path;
    return m_impl->path + " (" + own + ")";
}

const std::string& DriverLibrary::Problem() const {
    return m_impl->problem;
}

EndModeFamily DriverLibrary::Family() const {
    return m_impl->family;
}

bool DriverLibrary::Exports(const char* name) const {
    return Loaded() && name && symbol(m_impl->handle, name) != nullptr;
}

void* DriverLibrary::Resolve(const std::vector<const char*>& names) {
    // Without a library the loading problem is the one worth keeping.
    if (!Loaded() || names.empty())
        return nullptr;
    auto [it, fresh] = m_impl->resolved.try_emplace(names.front(), nullptr);
    if (fresh) {
        for (const char* name : names) {
            if ((it->second = symbol(m_impl->handle, name)))
                break;
        }
    }
    if (!it->second) {
        std::string wanted = names.front();
        for (size_t i = 1; i < names.size(); ++i) wanted += std::string(" (or ") + names[i] + ")";
        m_impl->problem = "entry point " + wanted + " not found in " + m_impl->path;
    }
    return it->second;
}
