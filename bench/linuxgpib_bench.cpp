// A query through libgpib.so.0 against the same through libtm-gpib.so, on
// the built-in simulated bench in instant timing (the bus costs nothing):
// what the linux-gpib face and per-board locking add to a call. Both
// libraries are opened by path; rounds alternate, medians of 7.
//
//   libtm-gpib.so  Send(NI DABend) + Receive(STOPend)
//   libgpib.so.0   Send(DABend) + Receive(STOPend), and ibwrt + ibrd
//
//   linuxgpib_bench [LIBTM_GPIB]   (another libtm-gpib.so in place of ours)
#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "abi/gpib_abi.h"

namespace {

using Reload = int (*)(const char*);
using Ibdev = int (*)(int, int, int, int, int, int);
using Io = int (*)(int, void*, long);
using Wr = int (*)(int, const void*, long);
using Ifc = void (*)(int);

struct Library {
    void* handle = nullptr;
    Send_fn send = nullptr;
    Receive_fn receive = nullptr;
    ThreadIbsta_fn status = nullptr;
    Ibdev ibdev = nullptr;
    Wr ibwrt = nullptr;
    Io ibrd = nullptr;

    explicit Library(const char* path) {
        handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            std::fprintf(stderr, "%s\n", dlerror());
            std::exit(2);
        }
        reinterpret_cast<Reload>(dlsym(handle, "GpibSimReload"))("");
        reinterpret_cast<Ifc>(dlsym(handle, "SendIFC"))(0);
        send = reinterpret_cast<Send_fn>(dlsym(handle, "Send"));
        receive = reinterpret_cast<Receive_fn>(dlsym(handle, "Receive"));
        status = reinterpret_cast<ThreadIbsta_fn>(dlsym(handle, "ThreadIbsta"));
        ibdev = reinterpret_cast<Ibdev>(dlsym(handle, "ibdev"));
        ibwrt = reinterpret_cast<Wr>(dlsym(handle, "ibwrt"));
        ibrd = reinterpret_cast<Io>(dlsym(handle, "ibrd"));
    }
};

constexpr int kQueries = 20000;

template <class Query>
double usPerQuery(Query&& query) {
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kQueries; ++i) query();
    std::chrono::duration<double, std::micro> spent = std::chrono::steady_clock::now() - start;
    return spent.count() / kQueries;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

// Another libtm-gpib.so may be named (an older build, for reference).
int main(int argc, char** argv) {
    setenv("GPIB_SIM_INSTANT", "1", 1);
    Library own(argc > 1 ? argv[1] : TM_GPIB_LIBRARY), face(LINUX_GPIB_LIBRARY);
    char buf[128];
    int ud = face.ibdev(0, 9, 0, 13, 1, 0);
    bool good = true;
    auto check = [&](const Library& l) { good = good && !(l.status() & GPIB_ERR); };
    std::vector<double> viaOwn, viaFace, viaTraditional;
    for (int round = 0; round < 7; ++round) {
        viaOwn.push_back(usPerQuery([&] {
            own.send(0, 9, "*IDN?\n", 6, GPIB_DABend);
            own.receive(0, 9, buf, sizeof buf, GPIB_STOPend);
            check(own);
        }));
        viaFace.push_back(usPerQuery([&] {
            face.send(0, 9, "*IDN?\n", 6, 1 /* linux-gpib's DABend */);
            face.receive(0, 9, buf, sizeof buf, GPIB_STOPend);
            check(face);
        }));
        viaTraditional.push_back(usPerQuery([&] {
            face.ibwrt(ud, "*IDN?\n", 6);
            face.ibrd(ud, buf, sizeof buf);
            check(face);
        }));
    }
    std::printf(
        "| query (*IDN?, 31-byte answer), instant timing | us per query (median of 7 x %d) |\n",
        kQueries);
    std::printf("|---|---|\n");
    std::printf("| libtm-gpib.so Send + Receive | %.2f |\n", median(viaOwn));
    std::printf("| libgpib.so.0 Send + Receive | %.2f (x %.2f) |\n", median(viaFace),
                median(viaFace) / median(viaOwn));
    std::printf("| libgpib.so.0 ibwrt + ibrd | %.2f (x %.2f) |\n", median(viaTraditional),
                median(viaTraditional) / median(viaOwn));
    if (!good)
        std::printf("some query failed\n");
    return good ? 0 : 1;
}
