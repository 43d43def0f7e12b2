#pragma once
// A fixed device path (a symlink in a private temp directory) that a test
// plugs a fresh pseudo-terminal into and unplugs again, like a USB serial
// adapter coming and going under the same name.
#include <memory>
#include <string>

#include "Pty.h"

namespace ORQ {
namespace test {

class SerialPlug {
public:
    SerialPlug();   // creates the directory; nothing plugged in yet
    ~SerialPlug();  // unplugs and removes the directory

    const std::string& path() const;
    // A new raw pty with the link pointed at its slave.
    Pty& plug();
    // Removes the link and closes the master.
    void unplug();
    // The plugged device; only valid between plug() and unplug().
    Pty& device();

private:
    std::string dir;
    std::string link;
    std::unique_ptr<Pty> pty;
};

}  // namespace test
}  // namespace ORQ
