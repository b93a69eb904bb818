#include "gateway/connection_policy.h"

#include <algorithm>

namespace gateway {

int ConnectionPolicy::shareOf(int table) {
    return std::min(table, std::max(4, table / 4));
}

Admission admit(const std::vector<Occupant>& occupants, const std::string& client,
                const TableLimits& limits, int64_t nowUs, int64_t graceUs) {
    std::map<std::string, int> held;
    for (const Occupant& o : occupants) ++held[o.client];
    const int own = held[client];
    // A share as large as the table is no limit of its own: the table is.
    const bool shareFull = own >= limits.share && limits.share < limits.table;
    if (!shareFull && int(occupants.size()) < limits.table)
        return {};
    // Only what the idle rule would close anyway makes room, and only once
    // it has been quiet a moment: a client that has just connected and not
    // yet sent its first call keeps its place.
    const Occupant* victim = nullptr;
    auto better = [&](const Occupant& a, const Occupant* b) {
        if (!b)
            return true;
        if (held[a.client] != held[b->client])
            return held[a.client] > held[b->client];
        return a.quietSinceUs < b->quietSinceUs;
    };
    for (const Occupant& o : occupants) {
        if (!o.expendable || nowUs - o.quietSinceUs < graceUs)
            continue;
        if (shareFull && o.client != client)
            continue;  // the others are within their shares
        if (better(o, victim))
            victim = &o;
    }
    Admission a;
    if (victim) {
        a.verdict = Admission::Verdict::MakeRoom;
        a.victim = victim->id;
        a.why = shareFull
                    ? "made room for another connection of " + client + " (its share, " +
                          limits.shareOption + ")"
                    : "made room for " + client + " (the table is full, " + limits.tableOption +
                          "; " + victim->client + " holds the most connections)";
        return a;
    }
    a.verdict = Admission::Verdict::Refuse;
    a.why = shareFull ? std::to_string(own) + " connections of " + client +
                            " already, its share (" + limits.shareOption + ")"
                      : std::to_string(occupants.size()) + " connections already (" +
                            limits.tableOption + ")";
    return a;
}

std::string secondsText(int64_t us) {
    std::string text = std::to_string(us / 1'000'000);
    if (const int64_t tenths = us % 1'000'000 / 100'000)
        text += "." + std::to_string(tenths);
    return text + " s";
}

bool DatagramBudget::take(const std::string& client, int64_t nowUs) {
    if (nowUs - m_secondStartUs >= 1'000'000) {
        m_secondStartUs = nowUs;
        m_used = 0;
        m_byClient.clear();
    }
    if (m_used >= m_inAll)
        return false;
    auto it = m_byClient.find(client);
    if (it == m_byClient.end()) {
        if (m_byClient.size() >= kMaxClients)
            return false;  // the table of one second stays small
        it = m_byClient.emplace(client, 0).first;
    }
    if (it->second >= m_perClient)
        return false;
    ++it->second;
    ++m_used;
    return true;
}

}  // namespace gateway
