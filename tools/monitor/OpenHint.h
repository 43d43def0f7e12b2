#pragma once
// Why a link may not open, told the way a user can act on it. When the
// library does not start, the monitor looks at the connection string itself
// (opens the device or connects once more) and names the common causes:
// a serial device the user's groups may not open, a path that is not a
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

private:
    static std::string forSerial(const std::string& path);
    static std::string forTcp(const std::string& host, unsigned port);
    // Why the library may not listen on the connection's address.
    static std::string forListening(const ORQ::ConnectionString& c);
    // The serial devices present, space-separated, or "none".
    static std::string serialDevices();
};
