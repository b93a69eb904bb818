#include "gateway/privileges.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace gateway {

bool dropPrivileges(const std::string& user, const std::vector<std::string>& devices,
                    std::string& done, std::string& why) {
    if (geteuid() != 0) {
        done = "running as uid " + std::to_string(geteuid()) + " (nothing to drop)";
        return true;
    }
    std::vector<char> buffer(16384);
    passwd entry{}, *found = nullptr;
    if (getpwnam_r(user.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found) {
        why = "no user \"" + user + "\" to run as (--user names one)";
        return false;
    }
    if (found->pw_uid == 0) {
        done = "running as root: --user " + user + " asked for it";
        return true;
    }
    const uid_t uid = found->pw_uid;
    const gid_t gid = found->pw_gid;
    int count = 64;
    std::vector<gid_t> groups(static_cast<size_t>(count));
    if (getgrouplist(user.c_str(), gid, groups.data(), &count) < 0) {
        groups.resize(size_t(count));
        getgrouplist(user.c_str(), gid, groups.data(), &count);
    }
    groups.resize(size_t(std::max(count, 0)));
    for (const std::string& device : devices) {
        struct stat st {};
        if (::stat(device.c_str(), &st) == 0 && st.st_gid != 0 &&
            std::find(groups.begin(), groups.end(), st.st_gid) == groups.end())
            groups.push_back(st.st_gid);
    }
    std::erase(groups, gid_t(0));
    if (setgroups(groups.size(), groups.data()) != 0 || setgid(gid) != 0 || setuid(uid) != 0) {
        why = std::string("cannot become ") + user + ": " + std::strerror(errno);
        return false;
    }
    if (setuid(0) == 0) {  // a way back would be no drop at all
        why = "became " + user + " but could become root again";
        return false;
    }
    done = "running as " + user + " (uid " + std::to_string(uid) + ", " +
           std::to_string(groups.size()) + " supplementary groups)";
    return true;
}

}  // namespace gateway
