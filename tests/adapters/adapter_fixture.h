#pragma once
// An adapter board of each flavour on each transport, against the emulated
// adapter serving the tests' bench (tests/adapters/benches/adapter_bench.yaml).

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "adapters/adapter_board.h"
#include "adapters/emulator_process.h"

struct Route {
    const char* name;
    adapters::Flavour flavour;
    bool tcp;
};

inline const Route kRoutes[] = {{"PrologixPty", adapters::Flavour::Prologix, false},
                                {"PrologixTcp", adapters::Flavour::Prologix, true},
                                {"Ar488Pty", adapters::Flavour::Ar488, false},
                                {"Ar488Tcp", adapters::Flavour::Ar488, true}};

inline std::string routeName(const testing::TestParamInfo<Route>& info) {
    return info.param.name;
}

constexpr gpibdrv::Timeout kOneSecond{11};
constexpr gpibdrv::Timeout kThreeSeconds{12};

// The suite runs again against the adapter's firmware behaviours: CTest sets
// TM_ADAPTER_EMULATOR_OPTIONS (e.g. "--jitter 20 --seed 3") for every
// emulator a test starts, and TM_ADAPTER_READS (fast, safe) forces the way
// every board reads.
inline std::vector<std::string> variantOptions() {
    std::vector<std::string> words;
    const char* text = std::getenv("TM_ADAPTER_EMULATOR_OPTIONS");
    std::istringstream in(text ? text : "");
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}
// How late the variant's adapter may answer a query (its --jitter and its
// --ver-delay), for the tests that time what they do.
inline int variantDelayMs() {
    const std::vector<std::string> w = variantOptions();
    int ms = 0;
    for (size_t i = 0; i + 1 < w.size(); ++i)
        if (w[i] == "--jitter" || w[i] == "--ver-delay")
            ms += std::atoi(w[i + 1].c_str());
    return ms;
}
inline adapters::ReadWay variantReads() {
    const char* reads = std::getenv("TM_ADAPTER_READS");
    const std::string way = reads ? reads : "";
    return way == "fast"   ? adapters::ReadWay::Fast
           : way == "safe" ? adapters::ReadWay::Safe
                           : adapters::ReadWay::Probe;
}

// The emulator and the board for the route a test runs on.
class AdapterFixture : public testing::Test {
  protected:
    virtual const Route& route() const = 0;
    bool ar488() const { return route().flavour == adapters::Flavour::Ar488; }

    // Starts the emulator with these extra options and makes the board;
    // instant: bus time and the adapter's timeouts cost nothing.
    void start(std::vector<std::string> extra = {}, bool instant = true) {
        std::vector<std::string> args{"--flavour", ar488() ? "ar488" : "prologix", "--bench",
                                      bench};
        if (instant)
            args.push_back("--instant");
        if (route().tcp)
            args.insert(args.end(), {"--tcp", "0"});
        else
            args.insert(args.end(), {"--link", scratchPath(std::string(route().name) + ".tty")});
        args.insert(args.end(), extra.begin(), extra.end());
        const std::vector<std::string> variant = variantOptions();
        args.insert(args.end(), variant.begin(), variant.end());
        emulator = std::make_unique<EmulatorProcess>(args);
        ASSERT_TRUE(emulator->started());
        options.flavour = route().flavour;
        if (route().tcp) {
            options.host = "127.0.0.1";
            options.tcpPort = std::stoi(emulator->where());
        } else {
            options.port = emulator->where();
        }
        options.secondaries = {{5, 1}};
        options.openTimeoutMs = 1500 + 8 * variantDelayMs();
        options.reads = variantReads();
        board = adapters::makeAdapterBoard(options);
    }
    int open() {
        std::string reason;
        return board->open(reason);
    }

    // A query: the message with EOI, then a read of up to count bytes.
    std::string query(gpibdrv::BusAddress at, const std::string& message, long count = 200,
                      int eos = -1, bool* end = nullptr) {
        long n = 0;
        EXPECT_EQ(board->send(at, message.data(), long(message.size()), gpibdrv::EndMode::EoiOnLast,
                              kThreeSeconds, n),
                  gpibdrv::kDone);
        return read(at, count, eos, end);
    }
    std::string read(gpibdrv::BusAddress at, long count = 200, int eos = -1, bool* end = nullptr,
                     int* result = nullptr, gpibdrv::Timeout t = kThreeSeconds) {
        std::string got(size_t(count), '\0');
        long n = 0;
        int ended = 0;
        int r = board->receive(at, got.data(), count, eos, t, n, ended);
        if (result)
            *result = r;
        else
            EXPECT_EQ(r, gpibdrv::kDone);
        // END as a board shows it: the termination byte or EOI.
        if (end)
            *end = (ended & (gpibdrv::kEndChar | gpibdrv::kEndEoi)) != 0;
        got.resize(size_t(n));
        return got;
    }

    std::string bench = ADAPTER_BENCH;
    adapters::AdapterOptions options;
    std::unique_ptr<EmulatorProcess> emulator;
    std::unique_ptr<gpibdrv::Board> board;
};

class AdapterTest : public AdapterFixture, public testing::WithParamInterface<Route> {
  protected:
    const Route& route() const override { return GetParam(); }
};

// Milliseconds since start.
inline long msSince(std::chrono::steady_clock::time_point start) {
    return long(std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::steady_clock::now() - start)
                    .count());
}
