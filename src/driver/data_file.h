#pragma once
// The file behind ibwrtf and ibrdf. Neither may hang a program or send
// without end, whatever the path names: a device such as /dev/zero never
// ends, a FIFO without a writer keeps open() waiting for ever, a file that
// grows while it is sent would be sent for as long as it grows.

#include <cstdio>
#include <memory>

namespace gpibdrv {

class DataFile {
  public:
    // ibwrtf's file: a regular file alone, and its size now, which is all that
    // is sent. Anything else is refused before it is even opened (opening a
    // device may do something of its own): false, with an errno value in
    // error (EISDIR for a directory, EINVAL for a device, FIFO or socket).
    bool openToSend(const char* path, int& error);
    // ibrdf's file, appended to and created where it is missing. A FIFO is
    // opened without waiting: without a reader it fails (ENXIO).
    bool openToAppend(const char* path, int& error);

    std::FILE* get() const { return m_file.get(); }
    long size() const { return m_size; }

  private:
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> m_file;
    long m_size = 0;
};

}  // namespace gpibdrv
