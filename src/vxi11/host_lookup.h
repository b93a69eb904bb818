#pragma once
// A gateway's name or address as a socket address, looked up within a
// deadline: a name server that does not answer costs the caller no more
// than its timeout.

#include <sys/socket.h>

#include <chrono>
#include <string>

namespace vxi11 {

bool lookUpHost(const std::string& host, int port, std::chrono::steady_clock::time_point deadline,
                sockaddr_storage& address, socklen_t& length, std::string& reason);

}  // namespace vxi11
