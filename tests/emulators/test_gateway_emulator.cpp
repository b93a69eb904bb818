// tm-gateway-emulator's side of the protocol, called directly over RPC: the
// link names it takes, the read reasons, the bus status and command bytes of
// the interface link, device_abort ending a waiting read, and its command line.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "gateway_process.h"
#include "vxi11/rpc_client.h"
#include "vxi11/vxi11_rpc.h"

namespace {

using vxi11::CallOutcome;
using vxi11::Clock;

template <typename F>
xdrproc_t xdr(F* f) {
    return reinterpret_cast<xdrproc_t>(f);
}

class Channel {
  public:
    Channel(int port, uint32_t program, uint32_t version) {
        std::string why;
        m_up = m_rpc.connect("127.0.0.1", port, program, version, soon(), why);
    }
    bool up() const { return m_up; }
    static Clock::time_point soon() { return Clock::now() + std::chrono::seconds(5); }

    template <typename In, typename Out>
    bool call(uint32_t procedure, bool_t (*in)(XDR*, In*), In args, bool_t (*out)(XDR*, Out*),
              Out& reply) {
        std::string why;
        return m_rpc.call(procedure, xdr(in), &args, xdr(out), &reply, soon(), why) ==
               CallOutcome::Done;
    }
    // The link's id, or minus the error create_link answered.
    int link(const char* name, Create_LinkResp* reply = nullptr) {
        Create_LinkResp r{};
        if (!call(create_link, xdr_Create_LinkParms, {1, FALSE, 0, const_cast<char*>(name)},
                  xdr_Create_LinkResp, r))
            return -1000;
        if (reply)
            *reply = r;
        return r.error ? -r.error : r.lid;
    }
    int write(int lid, std::string text) {
        Device_WriteResp r{};
        call(device_write, xdr_Device_WriteParms,
             {lid, 1000, 0, 8, {u_int(text.size()), text.data()}}, xdr_Device_WriteResp, r);
        return r.error;
    }
    // "reason:data", or "error N".
    std::string read(int lid, unsigned count, int termChar = -1, unsigned ioMs = 1000) {
        Device_ReadResp r{};
        Device_ReadParms p{lid, count, ioMs, 0, termChar >= 0 ? 0x80 : 0, char(termChar)};
        call(device_read, xdr_Device_ReadParms, p, xdr_Device_ReadResp, r);
        std::string text = r.error ? "error " + std::to_string(r.error)
                                   : std::to_string(r.reason) + ":" +
                                         std::string(r.data.data_val, r.data.data_len);
        xdr_free(xdr(xdr_Device_ReadResp), &r);
        return text;
    }
    // The error, and the two-byte answer in value.
    int docmd(int lid, int command, std::string data, int datasize, int* value = nullptr) {
        Device_DocmdResp r{};
        call(device_docmd, xdr_Device_DocmdParms,
             {lid, 0, 1000, 0, command, TRUE, datasize, {u_int(data.size()), data.data()}},
             xdr_Device_DocmdResp, r);
        if (value && r.data_out.data_out_len == 2)
            *value = uint8_t(r.data_out.data_out_val[0]) << 8 | uint8_t(r.data_out.data_out_val[1]);
        int error = r.error;
        xdr_free(xdr(xdr_Device_DocmdResp), &r);
        return error;
    }

  private:
    vxi11::RpcClient m_rpc;
    bool m_up = false;
};

constexpr int kSendCommand = 0x020000, kBusStatus = 0x020001, kRen = 0x020003;

std::string word(int v) {
    return {char(v >> 8), char(v)};
}

TEST(GatewayEmulatorTest, LinksReadsAndTheInterfaceAnswerAsAGatewayDoes) {
    GatewayProcess gateway(GATEWAY_EMULATOR, {"--instant", "--no-portmapper", "--inst0", "5,1"});
    ASSERT_TRUE(gateway.running()) << gateway.line();
    Channel core(gateway.corePort(), DEVICE_CORE, DEVICE_CORE_VERSION);
    ASSERT_TRUE(core.up());

    Create_LinkResp made{};
    const int dmm = core.link("GPIB0,9", &made);
    EXPECT_GT(dmm, 0);
    EXPECT_EQ(made.maxRecvSize, 262144u);
    EXPECT_GT(core.link("gpib0,7,2"), 0);
    EXPECT_EQ(core.link("gpib0,31"), -21);
    EXPECT_EQ(core.link("gpib0,9,x"), -21);
    // Gateways that call their interface hpib, or gpib without a number,
    // reach board 0; an interface the bench does not have reaches nothing.
    EXPECT_GT(core.link("hpib,9"), 0);
    EXPECT_GT(core.link("GPIB,9"), 0);
    EXPECT_EQ(core.link("gpib3,9"), -3);
    EXPECT_EQ(core.link("vxi0,9"), -3);
    const int inst0 = core.link("inst0");
    ASSERT_GT(inst0, 0);
    EXPECT_EQ(core.write(inst0, "*IDN?\n"), 0);
    EXPECT_EQ(core.read(inst0, 100), "4:SIMULATED BENCH,PSU-5,0002,1.0\n");

    // END alone; the count reached (REQCNT); the termination byte with EOI.
    EXPECT_EQ(core.write(dmm, "*IDN?\n"), 0);
    EXPECT_EQ(core.read(dmm, 9), "1:SIMULATED");
    EXPECT_EQ(core.read(dmm, 100, ','), "2: BENCH,");
    EXPECT_EQ(core.read(dmm, 100, '\n'), "6:DMM-9,0001,1.0\n");
    EXPECT_EQ(core.read(dmm, 100), "error 15");
    EXPECT_EQ(core.read(core.link("gpib0,20"), 100), "error 3");
    EXPECT_EQ(core.read(12345, 100), "error 4");

    const int bus = core.link("gpib0");
    int v = -1;
    EXPECT_EQ(core.docmd(bus, kRen, word(1), 2), 0);
    EXPECT_EQ(core.docmd(bus, kBusStatus, word(1), 2, &v), 0);
    EXPECT_EQ(v, 1);
    EXPECT_EQ(core.docmd(bus, kBusStatus, word(8), 2, &v), 0);
    EXPECT_EQ(v, 0);  // the bench's controller address
    // NDAC follows whoever is addressed to listen.
    const struct {
        std::string bytes;
        int ndac;
    } probes[] = {{"\x3F", 0},         {"\x3F\x29", 1},     {"\x3F\x25", 0},
                  {"\x3F\x25\x61", 1}, {"\x3F\x25\x62", 0}, {"\x3F\x27\x60\x61\x62", 1}};
    for (const auto& p : probes) {
        EXPECT_EQ(core.docmd(bus, kSendCommand, p.bytes, 1), 0);
        EXPECT_EQ(core.docmd(bus, kBusStatus, word(3), 2, &v), 0);
        EXPECT_EQ(v, p.ndac) << p.bytes.size();
    }
    EXPECT_EQ(core.docmd(bus, 0x020004, "", 0), 8);  // pass control
    EXPECT_EQ(core.docmd(dmm, kBusStatus, word(3), 2), 8);
    EXPECT_EQ(core.docmd(bus, kSendCommand, std::string(129, '\x3F'), 1), 5);
    gateway.stop();
    EXPECT_TRUE(gateway.endedCleanly()) << gateway.stop();
}

TEST(GatewayEmulatorTest, AbortEndsAReadThatWaitsForAnAnswer) {
    GatewayProcess gateway(GATEWAY_EMULATOR, {"--no-portmapper"});  // real bus time
    ASSERT_TRUE(gateway.running()) << gateway.line();
    Channel core(gateway.corePort(), DEVICE_CORE, DEVICE_CORE_VERSION);
    Create_LinkResp made{};
    const int dmm = core.link("gpib0,9", &made);
    ASSERT_GT(dmm, 0);
    Channel abort(made.abortPort, DEVICE_ASYNC, DEVICE_ASYNC_VERSION);
    ASSERT_TRUE(abort.up());
    std::thread aborter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        Device_Error r{};
        abort.call(device_abort, xdr_Device_Link, dmm, xdr_Device_Error, r);
    });
    const auto start = Clock::now();
    EXPECT_EQ(core.read(dmm, 100, -1, 4000), "error 23");
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    aborter.join();
    gateway.stop();
    EXPECT_TRUE(gateway.endedCleanly()) << gateway.stop();
}

TEST(GatewayEmulatorTest, ABadCommandLineIsRefusedWithTheReason) {
    const struct {
        const char* options;
        const char* says;
    } rows[] = {{"--fault error-code", "error-code N"},
                {"--port 70000", "--port: 70000 is not a number it takes"},
                {"--inst0 9,31", "--inst0: 9,31 is no address"},
                {"--bench /nonexistent.yaml", "/nonexistent.yaml"},
                {"--frobnicate", "unknown option --frobnicate"}};
    for (const auto& row : rows) {
        const std::string command =
            std::string(GATEWAY_EMULATOR) + " --no-portmapper " + row.options + " 2>&1 </dev/null";
        FILE* p = popen(command.c_str(), "r");
        ASSERT_NE(p, nullptr);
        std::string out;
        char buffer[256];
        while (fgets(buffer, sizeof buffer, p)) out += buffer;
        EXPECT_NE(pclose(p), 0) << row.options;
        EXPECT_NE(out.find(row.says), std::string::npos) << out;
    }
}

}  // namespace
