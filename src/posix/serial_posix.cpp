// The serial seam on POSIX systems: a terminal device (in tests, a pseudo-terminal)
// found as "<directory>/COM<n>".
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <mutex>

#include "engine/serial_driver.h"

namespace vorda {

struct SerialPort {
    int fd = -1;
    int wakeRead = -1;  // a pipe whose read end turns readable when the port is woken
    int wakeWrite = -1;
};

namespace {

std::mutex directoryMutex;
std::string portDirectory = "/dev/vorda";

bool speedOf(uint32_t baud, speed_t* speed) {
    switch (baud) {
        case 110:
            *speed = B110;
            return true;
        case 300:
            *speed = B300;
            return true;
        case 600:
            *speed = B600;
            return true;
        case 1200:
            *speed = B1200;
            return true;
        case 2400:
            *speed = B2400;
            return true;
        case 4800:
            *speed = B4800;
            return true;
        case 9600:
            *speed = B9600;
            return true;
        case 19200:
            *speed = B19200;
            return true;
        case 38400:
            *speed = B38400;
            return true;
        case 57600:
            *speed = B57600;
            return true;
        case 115200:
            *speed = B115200;
            return true;
        default:
            return false;
    }
}

SerialPort* posixOpen(void*, const std::string& comName, int number, OpenError* error,
                      uint32_t* systemError) {
    std::string path;
    {
        std::lock_guard<std::mutex> lock(directoryMutex);
        path = portDirectory + "/" + comName + std::to_string(number);
    }
    // Not inherited by a program this process starts.
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *systemError = static_cast<uint32_t>(errno);
        *error = errno == ENOENT                     ? OpenError::NotFound
                 : errno == EACCES || errno == EBUSY ? OpenError::AccessDenied
                                                     : OpenError::Other;
        return nullptr;
    }
    // Not shared: a second opener is refused, as a COM port refuses it.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        *systemError = static_cast<uint32_t>(errno);
        *error = OpenError::AccessDenied;
        ::close(fd);
        return nullptr;
    }
    int wake[2];
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        *systemError = static_cast<uint32_t>(errno);
        *error = OpenError::Other;
        ::close(fd);
        return nullptr;
    }
    *error = OpenError::None;
    return new SerialPort{fd, wake[0], wake[1]};
}

void posixSetupQueues(SerialPort*, uint32_t, uint32_t) {}

bool posixConfigure(SerialPort* port, const SerialSettings& s) {
    termios t{};
    if (tcgetattr(port->fd, &t) != 0) {
        return false;
    }
    speed_t speed;
    if (!speedOf(s.baudRate, &speed) || s.dataBits < 5 || s.dataBits > 8 || s.parity > 4 ||
        s.stopBits > 2) {
        return false;
    }
    cfmakeraw(&t);
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= s.dataBits == 5 ? CS5 : s.dataBits == 6 ? CS6 : s.dataBits == 7 ? CS7 : CS8;
    switch (s.parity) {
        case 1:
            t.c_cflag |= PARENB | PARODD;
            break;
        case 2:
            t.c_cflag |= PARENB;
            break;
        case 3:
            t.c_cflag |= PARENB | PARODD | CMSPAR;
            break;
        case 4:
            t.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            break;
    }
    if (s.stopBits != 0) {
        t.c_cflag |= CSTOPB;
    }
    // No parity checking on receive and no flow control.
    t.c_iflag &= ~(INPCK | IXON | IXOFF | IXANY);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    return tcsetattr(port->fd, TCSANOW, &t) == 0;
}

bool posixQueryErrors(SerialPort* port, uint32_t* errorFlags, uint32_t* queued,
                      uint32_t* systemError) {
    int n = 0;
    if (ioctl(port->fd, FIONREAD, &n) != 0) {
        *systemError = static_cast<uint32_t>(errno);
        return false;
    }
    *errorFlags = 0;  // a terminal device does not report framing or overrun errors here
    *queued = static_cast<uint32_t>(n);
    return true;
}

bool posixRead(SerialPort* port, uint8_t* buffer, uint32_t max, uint32_t* got,
               uint32_t* systemError) {
    const ssize_t n = ::read(port->fd, buffer, max);
    if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            *got = 0;
            return true;
        }
        *systemError = static_cast<uint32_t>(errno);
        return false;
    }
    *got = static_cast<uint32_t>(n);
    return true;
}

bool posixWrite(SerialPort* port, const uint8_t* bytes, uint32_t count, uint32_t* systemError) {
    uint32_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(port->fd, bytes + done, count - done);
        if (n > 0) {
            done += static_cast<uint32_t>(n);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{port->fd, POLLOUT, 0};
            if (poll(&p, 1, 1000) > 0) {
                continue;
            }
            *systemError = static_cast<uint32_t>(ETIMEDOUT);
            return false;
        }
        *systemError = static_cast<uint32_t>(n < 0 ? errno : EIO);
        return false;
    }
    return true;
}

bool posixWaitForInput(SerialPort* port, uint32_t* systemError) {
    for (;;) {
        pollfd p[2] = {{port->fd, POLLIN, 0}, {port->wakeRead, POLLIN, 0}};
        if (poll(p, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            *systemError = static_cast<uint32_t>(errno);
            return false;
        }
        if (p[1].revents != 0) {
            *systemError = 0;
            return false;
        }
        const short events = p[0].revents;
        if (events & POLLNVAL) {
            *systemError = EBADF;
            return false;
        }
        int queued = 0;
        if ((events & POLLIN) && ioctl(port->fd, FIONREAD, &queued) == 0 && queued > 0) {
            return true;  // what came before a hang-up is read first
        }
        if (events & (POLLHUP | POLLERR)) {
            // Hung up: the device went away, or the other side of a pseudo-terminal closed.
            *systemError = EIO;
            return false;
        }
        if (events & POLLIN) {
            return true;  // the query or the read tells what it is
        }
    }
}

void posixDiscardInput(SerialPort* port) {
    tcflush(port->fd, TCIFLUSH);
}

void posixWake(SerialPort* port) {
    const char byte = 1;
    if (::write(port->wakeWrite, &byte, 1) < 0) {
        // The pipe is full: it is readable already.
    }
}

bool posixDeviceGone(uint32_t systemError) {
    return systemError == EIO || systemError == ENXIO || systemError == ENODEV ||
           systemError == EBADF;
}

bool posixIsSerialPort(SerialPort* port) {
    termios t{};
    return tcgetattr(port->fd, &t) == 0;
}

void posixClearDtr(SerialPort* port) {
    int bits = TIOCM_DTR;
    ioctl(port->fd, TIOCMBIC, &bits);  // a pseudo-terminal has no DTR: ignored
}

void posixClose(SerialPort* port) {
    ::close(port->fd);
    ::close(port->wakeRead);
    ::close(port->wakeWrite);
    delete port;
}

}  // namespace

SerialDriver platformSerialDriver() {
    SerialDriver d;
    d.open = posixOpen;
    d.setupQueues = posixSetupQueues;
    d.configure = posixConfigure;
    d.queryErrors = posixQueryErrors;
    d.read = posixRead;
    d.write = posixWrite;
    d.waitForInput = posixWaitForInput;
    d.discardInput = posixDiscardInput;
    d.wake = posixWake;
    d.deviceGone = posixDeviceGone;
    d.isSerialPort = posixIsSerialPort;
    d.clearDtr = posixClearDtr;
    d.close = posixClose;
    return d;
}

void setSerialPortDirectory(const std::string& directory) {
    std::lock_guard<std::mutex> lock(directoryMutex);
    portDirectory = directory;
}

}  // namespace vorda
