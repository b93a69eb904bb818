#pragma once
// A folder of the test process's own for the files a test writes: made once
// under the system's temporary folder, removed when the process ends. No
// test then overwrites a person's file of the same name (a boards.yaml in
// /tmp, say), and two suites running at once keep apart.

#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

namespace testscratch {

namespace detail {
// Plain storage, not a std::string: it must outlive every static
// destructor, since the folder goes after them.
inline char made[4096];
inline pid_t owner = 0;

inline void removeFolder() {
    // Only the process that made it removes it: a forked child that exits
    // must not take it away from its parent.
    if (owner == getpid()) {
        std::error_code ignored;
        std::filesystem::remove_all(made, ignored);
    }
}
}  // namespace detail

inline std::string folder() {
    if (!detail::made[0]) {
        std::string pattern = (std::filesystem::temp_directory_path() / "tm-test-XXXXXX").string();
        if (pattern.size() >= sizeof detail::made || !mkdtemp(pattern.data()))
            return std::filesystem::temp_directory_path().string();
        std::strcpy(detail::made, pattern.c_str());
        detail::owner = getpid();
        std::atexit(detail::removeFolder);
    }
    return detail::made;
}

inline std::string path(const std::string& name) {
    return folder() + "/" + name;
}

}  // namespace testscratch
