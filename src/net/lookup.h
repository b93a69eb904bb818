#pragma once
// A host's name or address as socket addresses, within a deadline: a name
// server that does not answer costs the caller its timeout and no more.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "net/address.h"

namespace net {

// What turns a name into addresses: getaddrinfo's status (0, or EAI_...)
// and the addresses found. The system's resolver unless a test puts another
// one in (one that never answers, say).
using Resolver = std::function<int(const std::string& host, int port, std::vector<Address>& found)>;

// Installs a resolver for names (nullptr: the system's); answers the one it replaces.
Resolver setResolver(Resolver resolver);

// The addresses of host (digits need no resolver); false with the reason
// when there are none, or none came before deadlineUs (monotonic).
bool lookUp(const std::string& host, int port, int64_t deadlineUs, std::vector<Address>& found,
            std::string& why);

}  // namespace net
