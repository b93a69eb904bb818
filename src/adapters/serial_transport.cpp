// A serial device: raw 8N1, no flow control of any kind, at the port's baud.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "adapters/transport.h"

#if __has_include(<linux/serial.h>)
#include <linux/serial.h>
#define TM_HAS_LOW_LATENCY 1
#endif

namespace adapters {

namespace {

speed_t speedOf(int baud) {
    switch (baud) {
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        case 230400:
            return B230400;
#ifdef B460800
        case 460800:
            return B460800;
        case 500000:
            return B500000;
        case 921600:
            return B921600;
        case 1000000:
            return B1000000;
        case 2000000:
            return B2000000;
#endif
        default:
            return B0;
    }
}

class SerialTransport final : public Transport {
  public:
    SerialTransport(std::string device, int baud) : m_device(std::move(device)), m_baud(baud) {}

    std::string where() const override { return m_device; }

    bool open(int64_t, std::string& why) override {
        close();
        speed_t speed = speedOf(m_baud);
        if (speed == B0) {
            why = "cannot open " + m_device + ": " + std::to_string(m_baud) +
                  " is not a baud rate this driver sets";
            return false;
        }
        // O_NONBLOCK: opening must not wait for a carrier that an adapter
        // never raises, and every wait afterwards has its own deadline.
        int fd = ::open(m_device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            why = "cannot open " + m_device + ": " + std::strerror(errno);
            return false;
        }
        termios tio{};
        if (::tcgetattr(fd, &tio) != 0) {
            why =
                "cannot open " + m_device + ": not a serial device (" + std::strerror(errno) + ")";
            ::close(fd);
            return false;
        }
        ::cfmakeraw(&tio);
        tio.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS | CSIZE);
        // No hang-up on close: dropping DTR resets an Arduino, and the next
        // open would then talk to its boot loader.
        tio.c_cflag |= CS8 | CREAD | CLOCAL;
        tio.c_cflag &= ~HUPCL;
        tio.c_iflag &= ~(IXON | IXOFF | IXANY);
        // VMIN 1: a read without data says EAGAIN, and 0 only at a hang-up
        // (with VMIN 0 a raw terminal answers 0 for "nothing yet").
        tio.c_cc[VMIN] = 1;
        tio.c_cc[VTIME] = 0;
        ::cfsetispeed(&tio, speed);
        ::cfsetospeed(&tio, speed);
        if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
            why = "cannot set up " + m_device + ": " + std::strerror(errno);
            ::close(fd);
            return false;
        }
        lowLatency(fd);
        ::tcflush(fd, TCIOFLUSH);
        m_fd = fd;
        m_lost.clear();
        return true;
    }

  private:
    // USB serial drivers hold received bytes back for a few milliseconds
    // unless asked not to; every answer would wait that long. Devices
    // without the setting (a pseudo-terminal) simply refuse it.
    static void lowLatency(int fd) {
#ifdef TM_HAS_LOW_LATENCY
        serial_struct s{};
        if (::ioctl(fd, TIOCGSERIAL, &s) == 0) {
            s.flags |= ASYNC_LOW_LATENCY;
            (void)::ioctl(fd, TIOCSSERIAL, &s);
        }
#else
        (void)fd;
#endif
    }

    std::string m_device;
    int m_baud;
};

}  // namespace

std::unique_ptr<Transport> makeSerialTransport(const std::string& device, int baud) {
    return std::make_unique<SerialTransport>(device, baud);
}

}  // namespace adapters
