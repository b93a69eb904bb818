#pragma once
// Running as root only as long as binding ports takes: then the process
// becomes an ordinary user, keeping the groups that open the boards' serial
// devices (dialout, as a rule).

#include <string>
#include <vector>

namespace gateway {

// When running as root: becomes user, with the user's own groups and the
// groups owning these devices (never root's). done says what happened; false
// with why when it could not be done (the program must not go on as root).
// Not root: nothing to do.
bool dropPrivileges(const std::string& user, const std::vector<std::string>& devices,
                    std::string& done, std::string& why);

}  // namespace gateway
