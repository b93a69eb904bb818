#pragma once
// Who may hold tm-gateway's connections, and for how long. A lab shares one
// gateway among many people: no client may take every connection, and a
// connection that does nothing useful gives its place back.
//
// - A connection that holds no link and has sent nothing for the idle time
//   is closed; one that holds a link never is (instruments stay open for
//   hours between calls). An abort connection counts as holding a link
//   while its client's address holds one on the core channel: a VISA opens
//   it with its link and keeps it as long.
// - A record must arrive whole within the record time from its first byte.
// - Each client address holds at most its share of a channel's connections.
// - When the table or the client's share is full, the connection that has
//   been quiet longest among those the idle rule would close anyway (quiet
//   for a second at least, no call running) makes room: of the client's own
//   address when its share is full, else of the address with the most
//   connections. Only when there is none is the newcomer refused. Abort
//   connections of an address beyond its core connections may make room too.
// - The portmapper has a small table of its own; its datagrams are answered
//   within a budget per second, per address and in all.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace gateway {

struct ConnectionPolicy {
    int64_t idleUs = 20'000'000;
    int64_t recordUs = 10'000'000;
    int maxConnections = 64;  // core channel; the abort channel has as many
    int maxPerClient = 0;     // 0: shareOf(maxConnections)
    int portmapperConnections = 16;
    int64_t portmapperIdleUs = 5'000'000;
    // A connection must have been quiet this long before it may make room.
    int64_t graceUs = 1'000'000;
    // Portmapper datagrams answered a second, from one address and in all.
    int datagramsPerClient = 20;
    int datagramsInAll = 200;

    // A quarter of a table, at least 4, at most the table.
    static int shareOf(int table);
    int coreShare() const { return maxPerClient > 0 ? maxPerClient : shareOf(maxConnections); }
    int portmapperShare() const { return shareOf(portmapperConnections); }
};

// One connection of a channel's table as the admission judges it.
struct Occupant {
    int id = 0;
    std::string client;        // the address alone, no port
    bool expendable = false;   // the idle rule would close it; no call runs
    int64_t quietSinceUs = 0;  // its last byte, or the end of its last call
};

struct Admission {
    enum class Verdict { Admit, MakeRoom, Refuse };
    Verdict verdict = Verdict::Admit;
    int victim = 0;   // MakeRoom: the connection to close
    std::string why;  // MakeRoom and Refuse: for the log
};

// A channel's table: its size and each address's share, with the options
// that set them, for the log.
struct TableLimits {
    int table = 64, share = 16;
    const char* tableOption = "--max-connections";
    const char* shareOption = "--max-per-client";
};

// Whether a client of this address gets a place in the table.
Admission admit(const std::vector<Occupant>& occupants, const std::string& client,
                const TableLimits& limits, int64_t nowUs, int64_t graceUs);

// "20 s", "0.5 s": a policy time for the log and the help.
std::string secondsText(int64_t us);

// The portmapper's datagrams: a budget of answers each second.
class DatagramBudget {
  public:
    DatagramBudget(int perClient, int inAll) : m_perClient(perClient), m_inAll(inAll) {}
    // Whether a datagram from this address may be answered now.
    bool take(const std::string& client, int64_t nowUs);

  private:
    static constexpr size_t kMaxClients = 256;  // addresses counted in one second
    int m_perClient, m_inAll;
    int64_t m_secondStartUs = 0;
    int m_used = 0;
    std::map<std::string, int> m_byClient;
};

}  // namespace gateway
