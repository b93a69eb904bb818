#pragma once
// Drives a simcore Bench directly: load a bench text or file, then send and
// receive as a program would through the driver.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "sim/bench.h"
#include "sim/bench_loader.h"

namespace simtest {

inline Addr4882_t word(int pad, int sad = -1) {
    return Addr4882_t(pad | (sad < 0 ? 0 : (0x60 + sad) << 8));
}

class BenchHarness {
  public:
    bool load(const sim::LoadResult& r) {
        if (!r.bench) {
            ADD_FAILURE() << r.problem;
            return false;
        }
        bench = std::make_unique<sim::Bench>(*r.bench, true);
        sim::CallStatus st;
        bench->SendIFC(0, st);
        return true;
    }
    bool loadText(const std::string& text) { return load(sim::loadBenchText(text, "test bench")); }

    sim::CallStatus send(Addr4882_t addr, const std::string& bytes, int eot = GPIB_DABend) {
        sim::CallStatus st;
        bench->Send(0, addr, bytes.data(), long(bytes.size()), eot, st);
        return st;
    }
    std::string receive(Addr4882_t addr, sim::CallStatus& st, long count = 200,
                        int term = GPIB_STOPend) {
        std::string buf(size_t(count), '\x7f');
        st = {};
        bench->Receive(0, addr, buf.data(), count, term, st);
        return buf.substr(0, size_t(st.countSet ? st.count : 0));
    }
    // The answer to a query, or "<timeout>" when none comes.
    std::string ask(Addr4882_t addr, const std::string& query) {
        send(addr, query + "\n");
        sim::CallStatus st;
        std::string answer = receive(addr, st);
        return (st.ibsta & GPIB_ERR) ? "<timeout>" : answer;
    }
    int poll(Addr4882_t addr) {
        short status = -1;
        sim::CallStatus st;
        bench->ReadStatusByte(0, addr, &status, st);
        return (st.ibsta & GPIB_ERR) ? -1 : status;
    }
    bool srq() {
        short on = -1;
        sim::CallStatus st;
        bench->TestSRQ(0, &on, st);
        return on != 0;
    }

    std::unique_ptr<sim::Bench> bench;
};

}  // namespace simtest
