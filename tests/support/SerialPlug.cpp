#include "SerialPlug.h"

#include <stdexcept>
#include <stdlib.h>
#include <unistd.h>

namespace ORQ {
namespace test {

SerialPlug::SerialPlug() {
    char pattern[] = "/tmp/orq-plug-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        throw std::runtime_error("cannot create a temp directory");
    }
    dir = pattern;
    link = dir + "/ttyORQ";
}

SerialPlug::~SerialPlug() {
    unplug();
    ::rmdir(dir.c_str());
}

const std::string& SerialPlug::path() const {
    return link;
}

Pty& SerialPlug::plug() {
    unplug();
    pty.reset(new Pty());
    if (::symlink(pty->slavePath().c_str(), link.c_str()) != 0) {
        throw std::runtime_error("cannot link the device path");
    }
    return *pty;
}

void SerialPlug::unplug() {
    ::unlink(link.c_str());
    pty.reset();
}

Pty& SerialPlug::device() {
    if (!pty) {
        throw std::logic_error("no device plugged in");
    }
    return *pty;
}

}  // namespace test
}  // namespace ORQ
