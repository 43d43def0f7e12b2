#pragma once
// Why a link may not open, told the way a user can act on it. When the
// library does not start, the monitor looks at the connection string itself
// (opens the device or connects once more) and names the common causes:
// a serial device the user may not open (told by its mode bits: one the
// group may open, one only its owner may open, one only root may open), a
// path that is not a
// terminal, a device that is not there (listing the serial devices that are),
// a device another program holds, a TCP server that refuses, an address to
// listen on that is taken or not this machine's, a link written the way
// another tool writes it (the text meant instead).
// Stateless; any thread.
#include <string>

#include "link/ConnectionString.h"

class OpenHint {
public:
    // One line of advice for the connection, or "" when none of the common
    // causes is found.
    static std::string forConnection(const std::string& connection);
    // The advice for a device this process was refused, from its mode bits
    // and the names of its owner and group: join the group when the group may
    // read and write it; else, when only the owner may, run as the owner or
    // let a group open it; else only root can open it.
    static std::string permissionDenied(const std::string& path, unsigned mode, const std::string& owner,
                                        const std::string& group);

private:
    static std::string forSerial(const std::string& path);
    static std::string forTcp(const std::string& host, unsigned port);
    // Why the library may not listen on the connection's address.
    static std::string forListening(const ORQ::ConnectionString& c);
    // The serial devices present, space-separated, or "none".
    static std::string serialDevices();
};
