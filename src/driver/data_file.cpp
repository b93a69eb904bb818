#include "driver/data_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace gpibdrv {

namespace {

int notRegular(mode_t mode) {
    return S_ISDIR(mode) ? EISDIR : EINVAL;
}

// Opens without waiting, then waits again as a file normally does: the
// transfer that follows is bounded by the bus timeout, not by O_NONBLOCK.
int openNow(const char* path, int flags) {
    int fd = ::open(path, flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd >= 0)
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

}  // namespace

bool DataFile::openToSend(const char* path, int& error) {
    struct stat before {};
    if (::stat(path, &before) != 0) {
        error = errno;
        return false;
    }
    if (!S_ISREG(before.st_mode)) {
        error = notRegular(before.st_mode);
        return false;
    }
    int fd = openNow(path, O_RDONLY);
    if (fd < 0) {
        error = errno;
        return false;
    }
    // The path may name something else by now: what was opened decides.
    struct stat now {};
    if (::fstat(fd, &now) != 0 || !S_ISREG(now.st_mode)) {
        error = notRegular(now.st_mode);
        ::close(fd);
        return false;
    }
    m_file.reset(::fdopen(fd, "rb"));
    if (!m_file) {
        error = errno;
        ::close(fd);
        return false;
    }
    m_size = long(now.st_size);
    return true;
}

bool DataFile::openToAppend(const char* path, int& error) {
    int fd = openNow(path, O_WRONLY | O_APPEND | O_CREAT);
    if (fd < 0) {
        error = errno;
        return false;
    }
    m_file.reset(::fdopen(fd, "ab"));
    if (!m_file) {
        error = errno;
        ::close(fd);
        return false;
    }
    return true;
}

}  // namespace gpibdrv
