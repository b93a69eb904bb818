// What the gateway announces through DNS-SD, apart from the daemon: where
// (the interfaces the listen address reaches), under which name, and with
// which records. The announcements themselves, a daemon that goes and comes
// back and a name taken on the network are played in the namespace lab
// (test_discovery_lab.py).
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "gateway/announcer.h"

namespace {

using gateway::announceScope;

TEST(AnnouncerTest, ItAnnouncesWhereTheListenAddressIsReached) {
    const struct {
        const char* listen;
        bool announce;
        int family;
        const char* why;
    } rows[] = {
        {"0.0.0.0", true, AF_INET, ""},
        {"::", true, AF_UNSPEC, ""},  // an IPv6 socket of all addresses takes IPv4 too
        {"127.0.0.1", false, 0, "loopback alone"},
        {"127.3.2.1", false, 0, "loopback alone"},
        {"::1", false, 0, "loopback alone"},
        // TEST-NET-3: an address no interface here has.
        {"203.0.113.7", false, 0, "no interface has the address 203.0.113.7"},
        {"lab-pc", false, 0, "lab-pc is no address"},
    };
    for (const auto& row : rows) {
        const gateway::AnnounceScope s = announceScope(row.listen);
        EXPECT_EQ(s.announce, row.announce) << row.listen;
        EXPECT_NE(s.why.find(row.why), std::string::npos) << row.listen << ": " << s.why;
        if (row.announce) {
            EXPECT_EQ(s.family, row.family) << row.listen;
            EXPECT_EQ(s.interfaceIndex, -1) << row.listen;
        }
    }
}

TEST(AnnouncerTest, ItsNameAndRecordsAreAnInstrumentsOwn) {
    EXPECT_EQ(gateway::serviceName("lab-pc"), "tm-gateway on lab-pc");
    // DNS-SD takes 63 bytes; room is left for the " #2" a rename adds.
    const std::string longest = gateway::serviceName(std::string(100, 'h'));
    EXPECT_LE(longest.size() + 4, 63u);
    EXPECT_EQ(longest.substr(0, 16), "tm-gateway on hh");
    EXPECT_EQ(
        gateway::instrumentTxt("Tarvel Morrow", "tm-gateway", "lab-pc", "1.0.0"),
        (std::vector<std::string>{"txtvers=1", "Manufacturer=Tarvel Morrow", "Model=tm-gateway",
                                  "SerialNumber=lab-pc", "FirmwareVersion=1.0.0"}));
}

TEST(AnnouncerTest, WithoutADaemonItStartsAndEndsAtOnce) {
    // No system bus at this address: Avahi cannot be reached. Starting
    // returns at once, the state says why, and ending withdraws nothing.
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/tm-test-bus", 1);
    std::vector<std::string> lines;
    gateway::AnnounceSettings a;
    a.name = "tm-gateway on test";
    a.vxi11Port = 111;
    a.scope = announceScope("0.0.0.0");
    std::mutex logLock;
    a.log = [&](const std::string& line) {
        std::lock_guard<std::mutex> hold(logLock);
        lines.push_back(line);
    };
    {
        gateway::Announcer announcer(a);
        const auto began = std::chrono::steady_clock::now();
        ASSERT_TRUE(announcer.start());
        EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(500));
        for (int i = 0; i < 100 && announcer.state() == "not started"; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_NE(announcer.state().find("not announced: Avahi cannot be reached"),
                  std::string::npos)
            << announcer.state();
    }
    std::lock_guard<std::mutex> hold(logLock);
    ASSERT_EQ(lines.size(), 1u);  // said once, and no withdrawal
    EXPECT_NE(lines[0].find("trying again every 30 s"), std::string::npos) << lines[0];
    unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
}

}  // namespace
