#include "boards/gateway_interfaces.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>

#include "vxi11/read_reply.h"
#include "vxi11/rpc_client.h"
#include "vxi11/vxi11_rpc.h"

namespace boards {

namespace {

using vxi11::CallOutcome;
using vxi11::Clock;

constexpr size_t kMaxInterfaces = 16;
constexpr unsigned kMaxAnswer = 1024;
constexpr int kFlagEnd = 8, kFlagTermChar = 0x80;
// The longest a gateway is given for one query of inst0.
constexpr unsigned kQueryMs = 2000;
// create_link errors that still mean "there is such an interface".
constexpr int kLocked = 11;

template <typename F>
xdrproc_t xdr(F* f) {
    return reinterpret_cast<xdrproc_t>(f);
}

class Session {
  public:
    Session(int64_t deadlineUs)
        : m_deadline(Clock::time_point(std::chrono::microseconds(deadlineUs))),
          m_clientId(int(getpid() & 0x7FFFFFFF)) {}

    bool connect(const std::string& host, int port, std::string& why) {
        return m_rpc.connect(host, port, DEVICE_CORE, DEVICE_CORE_VERSION, m_deadline, why);
    }

    // create_link: the gateway's error code (0: linked), or -1 when the
    // connection failed (why says how).
    int link(const std::string& name, int& lid) {
        std::string device = name;
        Create_LinkParms parms{m_clientId, FALSE, 0, device.data()};
        Create_LinkResp reply{};
        if (!call(create_link, xdr(xdr_Create_LinkParms), &parms, xdr(xdr_Create_LinkResp), &reply))
            return -1;
        lid = reply.lid;
        return reply.error;
    }

    void unlink(int lid) {
        Device_Error reply{};
        call(destroy_link, xdr(xdr_Device_Link), &lid, xdr(xdr_Device_Error), &reply);
    }

    // Writes the query and reads its answer to a line end or END; "" when
    // the gateway refused either (error set).
    std::string query(int lid, const std::string& text, int& error) {
        std::string message = text + "\n";
        Device_WriteParms w{lid, ioMs(), 0, kFlagEnd, {u_int(message.size()), message.data()}};
        Device_WriteResp written{};
        if (!call(device_write, xdr(xdr_Device_WriteParms), &w, xdr(xdr_Device_WriteResp),
                  &written) ||
            (error = written.error) != 0)
            return "";
        std::string answer;
        char buffer[kMaxAnswer];
        while (answer.size() < kMaxAnswer) {
            Device_ReadParms r{lid, u_int(kMaxAnswer - answer.size()), ioMs(), 0, kFlagTermChar,
                               '\n'};
            vxi11::ReadReply reply;
            reply.data = buffer;
            reply.capacity = u_int(kMaxAnswer - answer.size());
            if (!call(device_read, xdr(xdr_Device_ReadParms), &r, xdr(vxi11::xdrReadReply), &reply))
                return "";
            if ((error = reply.error) != 0)
                return "";
            answer.append(buffer, reply.length);
            if (reply.reason & (2 | 4))  // the line end, or END
                break;
        }
        return answer;
    }

    const std::string& why() const { return m_why; }

  private:
    unsigned ioMs() const {
        auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(m_deadline - Clock::now());
        return unsigned(std::clamp<int64_t>(left.count(), 1, kQueryMs));
    }

    bool call(uint32_t procedure, xdrproc_t in, const void* args, xdrproc_t out, void* result) {
        if (!m_rpc.connected())
            return false;
        if (m_rpc.call(procedure, in, args, out, result, m_deadline, m_why) == CallOutcome::Done)
            return true;
        m_rpc.close();
        return false;
    }

    vxi11::RpcClient m_rpc;
    Clock::time_point m_deadline;
    int m_clientId;
    std::string m_why;
};

std::string trimmed(std::string_view s) {
    size_t a = s.find_first_not_of(" \t\r\n\"'");
    size_t b = s.find_last_not_of(" \t\r\n\"'");
    return a == std::string_view::npos ? "" : std::string(s.substr(a, b - a + 1));
}

bool interfaceName(const std::string& s) {
    if (s.size() < 4 || s.size() > 6 || (s.compare(0, 4, "gpib") != 0 && s.compare(0, 4, "hpib")))
        return false;
    return std::all_of(s.begin() + 4, s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The second field of an IEEE 488.2 identification: the model.
bool ourGateway(const std::string& identity) {
    size_t a = identity.find(',');
    if (a == std::string::npos)
        return false;
    size_t b = identity.find(',', a + 1);
    std::string model = trimmed(identity.substr(a + 1, b == std::string::npos ? b : b - a - 1));
    std::transform(model.begin(), model.end(), model.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return model == "tm-gateway";
}

}  // namespace

std::vector<std::string> interfaceList(std::string_view answer) {
    std::vector<std::string> names;
    std::string token;
    auto take = [&]() {
        std::string t = trimmed(token);
        token.clear();
        if (t.empty())
            return true;
        std::transform(t.begin(), t.end(), t.begin(),
                       [](unsigned char c) { return char(std::tolower(c)); });
        if (!interfaceName(t) || names.size() >= kMaxInterfaces)
            return false;
        if (std::find(names.begin(), names.end(), t) == names.end())
            names.push_back(t);
        return true;
    };
    for (char c : answer) {
        if (c == ',' || c == ';' || c == ' ' || c == '\n') {
            if (!take())
                return {};
        } else {
            token += c;
        }
    }
    if (!take())
        return {};
    return names;
}

GatewayInterfaces askInterfaces(const std::string& host, int corePort, int64_t deadlineUs) {
    GatewayInterfaces out;
    Session s(deadlineUs);
    std::string why;
    if (!s.connect(host, corePort, why)) {
        out.problem = "no connection to its core port " + std::to_string(corePort) + ": " + why;
        return out;
    }
    int lid = 0, error = 0;
    if (s.link("inst0", lid) == 0) {
        std::string identity = trimmed(s.query(lid, "*IDN?", error));
        if (ourGateway(identity)) {
            out.identity = identity;
            out.names = interfaceList(s.query(lid, "SYSTem:INTerface:LIST?", error));
        }
        s.unlink(lid);
        if (!out.names.empty()) {
            out.how = "as it lists them";
            return out;
        }
    }
    auto tryNames = [&](const std::vector<std::string>& names) {
        for (const std::string& name : names) {
            int code = s.link(name, lid);
            if (code < 0)
                return false;
            if (code == 0 || code == kLocked)
                out.names.push_back(name);
            if (code == 0)
                s.unlink(lid);
        }
        return true;
    };
    std::vector<std::string> usual;
    for (int i = 0; i < int(kMaxInterfaces); ++i) usual.push_back("gpib" + std::to_string(i));
    bool answered = tryNames(usual);
    if (answered && out.names.empty())
        answered = tryNames({"hpib", "gpib", "hpib0", "hpib1", "hpib2", "hpib3"});
    if (!answered && out.names.empty())
        out.problem = "it stopped answering (" + s.why() + ")";
    out.how = "by making links";
    return out;
}

}  // namespace boards
