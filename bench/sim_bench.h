#pragma once
// The simulated bench as the benchmarks see it: the driver library loaded
// once in instant timing, its entry points as bare function pointers (the
// reference every figure is measured against), and a way to serve another
// bench file between benchmarks.

#include <dlfcn.h>

#include <cstdlib>
#include <string>

#include "abi/gpib_abi.h"
#include "bundled/gpib_sim.h"

class SimBench {
  public:
    static SimBench& get() {
        static SimBench bench;
        return bench;
    }

    bool loaded() const { return m_reload != nullptr; }

    // Serves the bench file at path (board 0 made controller-in-charge);
    // false when the library is missing or refused the file.
    bool serve(const std::string& path) {
        if (!loaded() || m_reload(path.c_str()) != 0)
            return false;
        sendIfc(0);
        return (ibsta() & GPIB_ERR) == 0;
    }

    Send_fn send = nullptr;
    Receive_fn receive = nullptr;
    FindLstn_fn findLstn = nullptr;
    SendIFC_fn sendIfc = nullptr;
    ThreadIbsta_fn ibsta = nullptr;
    ThreadIberr_fn iberr = nullptr;
    ThreadIbcnt_fn ibcnt = nullptr;
    ThreadIbcntl_fn ibcntl = nullptr;

    // What a wrapper reads after every call: the four status values.
    void readStatus() const {
        volatile long sink = ibsta() + iberr() + ibcnt() + ibcntl();
        (void)sink;
    }

  private:
    SimBench() {
        setenv("GPIB_SIM_INSTANT", "1", 1);
        unsetenv("GPIB_SIM_TRACE");
        void* handle = dlopen(GPIB_SIM_LIBRARY, RTLD_NOW);
        if (!handle)
            return;
        send = reinterpret_cast<Send_fn>(dlsym(handle, "Send"));
        receive = reinterpret_cast<Receive_fn>(dlsym(handle, "Receive"));
        findLstn = reinterpret_cast<FindLstn_fn>(dlsym(handle, "FindLstn"));
        sendIfc = reinterpret_cast<SendIFC_fn>(dlsym(handle, "SendIFC"));
        ibsta = reinterpret_cast<ThreadIbsta_fn>(dlsym(handle, "ThreadIbsta"));
        iberr = reinterpret_cast<ThreadIberr_fn>(dlsym(handle, "ThreadIberr"));
        ibcnt = reinterpret_cast<ThreadIbcnt_fn>(dlsym(handle, "ThreadIbcnt"));
        ibcntl = reinterpret_cast<ThreadIbcntl_fn>(dlsym(handle, "ThreadIbcntl"));
        auto reload = reinterpret_cast<GpibSimReload_fn>(dlsym(handle, "GpibSimReload"));
        if (send && receive && findLstn && sendIfc && ibsta && iberr && ibcnt && ibcntl)
            m_reload = reload;
    }

    GpibSimReload_fn m_reload = nullptr;
};
