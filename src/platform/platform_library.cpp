// Opening a platform GPIB library and looking its entry points up once.
#include "platform/platform_library.h"

#include <dlfcn.h>
#include <link.h>

#include <filesystem>
#include <initializer_list>

namespace platform {

namespace {

// The library's own calls and globals must stay its own: our libgpib.so.0
// face, loaded first in the same process, exports the same names (ibsta,
// ibwrt, ...), and a platform library bound to those would set our status and
// call our driver. RTLD_DEEPBIND keeps its references inside it. The address
// sanitizer refuses RTLD_DEEPBIND outright, so sanitizer builds load without
// it (their tests load no second libgpib.so.0).
#if defined(__SANITIZE_ADDRESS__)
#define TM_NO_DEEPBIND 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TM_NO_DEEPBIND 1
#endif
#endif
#if defined(RTLD_DEEPBIND) && !defined(TM_NO_DEEPBIND)
constexpr int kOpenFlags = RTLD_NOW | RTLD_LOCAL | RTLD_DEEPBIND;
#else
constexpr int kOpenFlags = RTLD_NOW | RTLD_LOCAL;
#endif

template <class F>
void bind(void* handle, F& slot, std::initializer_list<const char*> names) {
    for (const char* name : names) {
        if (void* p = dlsym(handle, name)) {
            slot = reinterpret_cast<F>(p);
            return;
        }
    }
}

std::string loadedPath(void* handle, const std::string& fallback) {
    link_map* map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name && *map->l_name)
        return map->l_name;
    return fallback;
}

}  // namespace

std::unique_ptr<PlatformLibrary> PlatformLibrary::find(const std::string& named,
                                                       const std::vector<std::string>& search,
                                                       std::string& problem) {
    // A library the map names is the only one tried, as the loader does with
    // GPIB_LIBRARY: another one must not quietly stand in for it.
    if (!named.empty())
        return open(named, problem);
    std::string reasons;
    for (const std::string& name : search) {
        if (auto library = open(name, problem))
            return library;
        reasons += (reasons.empty() ? "" : "; ") + problem;
    }
    problem = search.empty() ? "no platform GPIB library to look for" : reasons;
    return nullptr;
}

std::unique_ptr<PlatformLibrary> PlatformLibrary::open(const std::string& name,
                                                       std::string& problem) {
    dlerror();
    void* handle = name.empty() ? nullptr : dlopen(name.c_str(), kOpenFlags);
    if (!handle) {
        const char* why = dlerror();
        std::string text = why ? why : "unknown error";
        std::error_code ec;
        const bool bare = name.find('/') == std::string::npos;
        const bool missing = bare ? text.find("No such file") != std::string::npos
                                  : !std::filesystem::exists(name, ec);
        problem = missing ? name + " not found" : name + " could not be loaded: " + text;
        return nullptr;
    }
    std::unique_ptr<PlatformLibrary> library(new PlatformLibrary());
    library->m_handle = handle;
    library->m_path = loadedPath(handle, name);
    if (dlsym(handle, "GpibDriverDescription")) {
        problem = library->m_path +
                  " is this program's own driver, not a platform GPIB library "
                  "(a board served by it would call itself)";
        return nullptr;
    }
    if (std::string lacks = library->resolve(); !lacks.empty()) {
        problem = library->m_path + " is not a GPIB library this board can use: it lacks " + lacks;
        return nullptr;
    }
    return library;
}

PlatformLibrary::~PlatformLibrary() {
    if (m_handle)
        dlclose(m_handle);
}

std::string PlatformLibrary::resolve() {
    void* h = m_handle;
    EntryPoints& a = m_api;
    bind(h, a.ibfind, {"ibfind", "ibfindA"});
    bind(h, a.ibdev, {"ibdev"});
    bind(h, a.ibonl, {"ibonl"});
    bind(h, a.ibwrt, {"ibwrt"});
    bind(h, a.ibrd, {"ibrd"});
    bind(h, a.ibrsp, {"ibrsp"});
    bind(h, a.ibtrg, {"ibtrg"});
    bind(h, a.ibclr, {"ibclr"});
    bind(h, a.ibsic, {"ibsic"});
    bind(h, a.ibsre, {"ibsre"});
    bind(h, a.ibln, {"ibln"});
    bind(h, a.iblines, {"iblines"});
    bind(h, a.ibcmd, {"ibcmd"});
    bind(h, a.ibloc, {"ibloc"});
    bind(h, a.ibrpp, {"ibrpp"});
    bind(h, a.ibwait, {"ibwait"});
    bind(h, a.ibpad, {"ibpad"});
    bind(h, a.ibsad, {"ibsad"});
    bind(h, a.ibtmo, {"ibtmo"});
    bind(h, a.ibeot, {"ibeot"});
    bind(h, a.ibeos, {"ibeos"});
    bind(h, a.ibask, {"ibask"});
    bind(h, a.ibconfig, {"ibconfig"});
    bind(h, m_threadIbsta, {"ThreadIbsta"});
    bind(h, m_threadIberr, {"ThreadIberr"});
    bind(h, m_threadIbcntl, {"ThreadIbcntl"});
    bind(h, m_threadIbcnt, {"ThreadIbcnt"});
    bind(h, m_ibsta, {"ibsta"});
    bind(h, m_iberr, {"iberr"});
    bind(h, m_ibcntl, {"ibcntl"});
    bind(h, m_ibcnt, {"ibcnt"});
    // The same rule as the program's loader: only the NI family has ibfindA.
    m_family = dlsym(h, "ibfindA") || !dlsym(h, "ibfind") ? Family::Ni : Family::LinuxGpib;

    std::string lacks;
    auto need = [&lacks](bool present, const char* what) {
        if (!present)
            lacks += (lacks.empty() ? "" : ", ") + std::string(what);
    };
    need(a.ibfind, "ibfind");
    need(a.ibdev, "ibdev");
    need(a.ibwrt, "ibwrt");
    need(a.ibrd, "ibrd");
    need(m_threadIbsta || m_ibsta, "ThreadIbsta (or ibsta)");
    need(m_threadIberr || m_iberr, "ThreadIberr (or iberr)");
    need(m_threadIbcntl || m_threadIbcnt || m_ibcntl || m_ibcnt, "ThreadIbcntl (or ibcntl)");
    return lacks;
}

CallResult PlatformLibrary::status() const {
    CallResult r;
    r.ibsta = m_threadIbsta ? m_threadIbsta() : *m_ibsta;
    r.iberr = m_threadIberr ? m_threadIberr() : *m_iberr;
    r.count = m_threadIbcntl  ? m_threadIbcntl()
              : m_threadIbcnt ? m_threadIbcnt()
              : m_ibcntl      ? *m_ibcntl
                              : *m_ibcnt;
    return r;
}

}  // namespace platform
