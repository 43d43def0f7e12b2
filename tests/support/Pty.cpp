#include "Pty.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace ORQ {
namespace test {

Pty::Pty() : master(-1) {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        throw std::runtime_error("cannot open a pseudo-terminal");
    }
    const char* name = ptsname(master);
    if (name == nullptr) {
        throw std::runtime_error("pseudo-terminal without a slave name");
    }
    slave = name;
    // Raw before any byte is written, so nothing is echoed or translated.
    termios tio;
    if (tcgetattr(master, &tio) != 0) {
        throw std::runtime_error("tcgetattr on the pseudo-terminal failed");
    }
    cfmakeraw(&tio);
    if (tcsetattr(master, TCSANOW, &tio) != 0) {
        throw std::runtime_error("tcsetattr on the pseudo-terminal failed");
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
}

Pty::~Pty() {
    close();
}

const std::string& Pty::slavePath() const {
    return slave;
}

int Pty::masterFd() const {
    return master;
}

void Pty::write(const Bytes& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            throw std::runtime_error("write to the pseudo-terminal master failed");
        } else {
            pollfd p{master, POLLOUT, 0};
            poll(&p, 1, 10);
        }
    }
}

bool Pty::readSome(std::chrono::milliseconds slice) {
    pollfd p{master, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(slice.count())) <= 0) {
        return false;
    }
    uint8_t buffer[4096];
    const ssize_t n = ::read(master, buffer, sizeof buffer);
    if (n <= 0) {
        // EIO while no one holds the slave open: nothing to read yet.
        std::this_thread::sleep_for(slice);
        return false;
    }
    data.insert(data.end(), buffer, buffer + n);
    return true;
}

bool Pty::waitForSequence(const Bytes& sequence, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (std::search(data.begin(), data.end(), sequence.begin(), sequence.end()) != data.end()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        readSome(std::chrono::milliseconds(20));
    }
}

const Pty::Bytes& Pty::received() const {
    return data;
}

void Pty::clearReceived() {
    data.clear();
}

std::size_t Pty::unreadBytes() const {
    int n = 0;
    if (master < 0 || ioctl(master, FIONREAD, &n) != 0) {
        return 0;
    }
    return static_cast<std::size_t>(n);
}

void Pty::close() {
    if (master >= 0) {
        ::close(master);
        master = -1;
    }
}

}  // namespace test
}  // namespace ORQ
