#include "OpenHint.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <glob.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include "link/ConnectionString.h"

std::string OpenHint::forConnection(const std::string& connection) {
    const ORQ::ConnectionString c = ORQ::ConnectionString::parse(connection.c_str());
    const std::vector<char> meant = c.suggestion();
    if (!meant.empty()) {
        return "did you mean `" + std::string(meant.data()) + "`?";
    }
    switch (c.kind()) {
    case ORQ::ConnectionString::Serial:
        return forSerial(c.target());
    case ORQ::ConnectionString::Tcp:
        return forTcp(c.target(), c.port());
    case ORQ::ConnectionString::TcpIn:
        return forListening(c);
    case ORQ::ConnectionString::UdpIn:
    case ORQ::ConnectionString::UdpOut:
    case ORQ::ConnectionString::Replay:
    case ORQ::ConnectionString::Invalid:
        break;
    }
    return "";
}

std::string OpenHint::forSerial(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == EACCES || error == EPERM) {
            struct stat st;
            if (::stat(path.c_str(), &st) != 0) return permissionDenied(path, 0660, "root", "dialout");
            const passwd* pw = ::getpwuid(st.st_uid);
            const group* g = ::getgrgid(st.st_gid);
            return permissionDenied(path, st.st_mode, pw ? pw->pw_name : std::to_string(st.st_uid),
                                    g ? g->gr_name : std::to_string(st.st_gid));
        }
        if (error == ENOENT || error == ENODEV || error == ENXIO) {
            return "no such device: " + path + "; serial devices present: " + serialDevices();
        }
        return "";
    }
    std::string hint;
    termios tio;
    if (::tcgetattr(fd, &tio) != 0 && errno == ENOTTY) {
        hint = path + " is not a terminal, so not a serial device; serial devices present: " + serialDevices();
    } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        hint = path + " is in use by another program (another monitor or host?)";
    }
    ::close(fd);
    return hint;
}

std::string OpenHint::permissionDenied(const std::string& path, unsigned mode, const std::string& owner,
                                       const std::string& group) {
    const bool groupMay = (mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    const bool ownerMay = (mode & (S_IRUSR | S_IWUSR)) == (S_IRUSR | S_IWUSR);
    if (groupMay) {
        return "permission denied: " + path + " belongs to group '" + group +
               "'; add your user to it (sudo usermod -aG " + group + " $USER) and log in again";
    }
    char bits[8];
    std::snprintf(bits, sizeof bits, "%04o", mode & 07777);
    const std::string toGroup = "give it a group with a udev rule (GROUP=\"dialout\", MODE=\"0660\") or with "
                                "sudo chgrp dialout " + path + " && sudo chmod 0660 " + path;
    if (ownerMay) {
        return "permission denied: " + path + " (mode " + bits + ") belongs to user '" + owner + "' and only " +
               owner + " may open it; run as " + owner + ", or " + toGroup;
    }
    return "permission denied: " + path + " (mode " + bits +
           ") may be opened for reading and writing by no one but root; run as root, or " + toGroup;
}

std::string OpenHint::forTcp(const std::string& host, unsigned port) {
    const ORQ::ConnectionString c = ORQ::ConnectionString::parse(("tcp://" + host + ":" + std::to_string(port)).c_str());
    std::vector<ORQ::ConnectionString::Address> addresses;
    if (c.resolve(false, false, addresses) != nullptr) {
        return "";
    }
    bool refused = !addresses.empty();
    for (const ORQ::ConnectionString::Address& a : addresses) {
        const int s = ::socket(a.address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const bool connected = s >= 0 && ::connect(s, reinterpret_cast<const sockaddr*>(&a.address), a.size) == 0;
        refused = refused && !connected && errno == ECONNREFUSED;
        if (s >= 0) ::close(s);
    }
    if (!refused) {
        return "";
    }
    return "connection refused: nothing listens on " + host + ":" + std::to_string(port) +
           " (is the bridge, modem or simulator running, and is the port right?)";
}

std::string OpenHint::forListening(const ORQ::ConnectionString& c) {
    std::vector<ORQ::ConnectionString::Address> addresses;
    if (c.resolve(false, true, addresses) != nullptr || addresses.empty()) {
        return "";
    }
    const ORQ::ConnectionString::Address& a = addresses[0];
    const int s = ::socket(a.address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    // As the library binds: a port left in TIME_WAIT is free.
    const bool bound = s >= 0 && ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0 &&
                       ::bind(s, reinterpret_cast<const sockaddr*>(&a.address), a.size) == 0;
    const int error = errno;
    if (s >= 0) ::close(s);
    const std::string where = std::string(c.target()) + ":" + std::to_string(c.port());
    if (bound || s < 0) {
        return "";
    }
    if (error == EADDRINUSE) {
        return "address in use: another program listens on " + where + " (another host or monitor?)";
    }
    if (error == EACCES) {
        return "permission denied: listening on " + where + " needs privileges (a port below 1024); choose one from 1024 up";
    }
    if (error == EADDRNOTAVAIL) {
        return "no interface of this machine has the address of " + where + " (0.0.0.0 listens on every one)";
    }
    return "";
}

std::string OpenHint::serialDevices() {
    std::string found;
    for (const char* pattern : {"/dev/serial/by-id/*", "/dev/ttyUSB*", "/dev/ttyACM*", "/dev/ttyAMA*"}) {
        glob_t g;
        if (::glob(pattern, 0, nullptr, &g) == 0) {
            for (std::size_t i = 0; i < g.gl_pathc; ++i) {
                found += (found.empty() ? "" : " ") + std::string(g.gl_pathv[i]);
            }
        }
        ::globfree(&g);
    }
    return found.empty() ? "none" : found;
}
