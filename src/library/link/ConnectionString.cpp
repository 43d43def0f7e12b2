#include "link/ConnectionString.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <netdb.h>
#include <sys/stat.h>

#include <boost/asio/ip/address.hpp>
#include <boost/asio/ip/udp.hpp>

namespace ORQ {

namespace {

const unsigned standardRates[] = {9600, 19200, 38400, 57600, 115200, 230400, 460800, 921600};

std::vector<char> copyOf(const char* begin, const char* end) {
    std::vector<char> text(begin, end);
    text.push_back('\0');
    return text;
}

bool isSchemeChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' || c == '-' ||
           c == '.';
}

// A run of decimal digits in [begin, end) no greater than max; false for an
// empty run, any other character, or a larger value.
bool parseNumber(const char* begin, const char* end, unsigned long max, unsigned long& value) {
    if (begin == end) return false;
    value = 0;
    for (const char* p = begin; p != end; ++p) {
        if (*p < '0' || *p > '9') return false;
        value = value * 10 + static_cast<unsigned long>(*p - '0');
        if (value > max) return false;
    }
    return true;
}

// "speed=N" in [begin, end): N a decimal number (as the C locale writes
// it, whatever locale the host set), 0 or from minSpeed to maxSpeed. A
// slower pace would put a capture's times beyond any clock; nan and inf are
// no pace at all.
bool parseSpeed(const char* begin, const char* end, double& speed) {
    static const char name[] = "speed=";
    const std::size_t nameSize = sizeof name - 1;
    if (static_cast<std::size_t>(end - begin) <= nameSize || std::strncmp(begin, name, nameSize) != 0) return false;
    const std::from_chars_result r = std::from_chars(begin + nameSize, end, speed);
    if (r.ec != std::errc() || r.ptr != end) return false;
    return speed == 0 || (speed >= ConnectionString::minSpeed && speed <= ConnectionString::maxSpeed);
}

struct NetworkScheme {
    const char* name;
    ConnectionString::Kind kind;
};

// The kinds written HOST:PORT.
const NetworkScheme networkSchemes[] = {
    {"tcp", ConnectionString::Tcp},
    {"tcpin", ConnectionString::TcpIn},
    {"udpin", ConnectionString::UdpIn},
    {"udpout", ConnectionString::UdpOut},
};

bool allDigits(const char* begin, const char* end) {
    return begin != end && std::all_of(begin, end, [](char c) { return c >= '0' && c <= '9'; });
}

// [begin, end) is "peer=ADDRESS:PORT": an IP address (IPv6 in brackets, as a
// host is written) and a port from 1 to 65535. Its socket address goes to out.
bool parsePeer(const char* begin, const char* end, ConnectionString::Address& out) {
    static const char key[] = "peer=";
    const std::size_t keyLength = sizeof key - 1;
    if (static_cast<std::size_t>(end - begin) < keyLength || std::strncmp(begin, key, keyLength) != 0) {
        return false;
    }
    const char* addressBegin = begin + keyLength;
    const std::size_t valueLength = static_cast<std::size_t>(end - addressBegin);
    const char* colon = static_cast<const char*>(memrchr(addressBegin, ':', valueLength));
    if (!colon) return false;
    const char* addressEnd = colon;
    const bool bracketed = addressEnd - addressBegin >= 2 && *addressBegin == '[' && addressEnd[-1] == ']';
    if (bracketed) {
        ++addressBegin;
        --addressEnd;
    }
    char text[64];  // the longest IPv6 address with a scope
    const std::size_t length = static_cast<std::size_t>(addressEnd - addressBegin);
    if (length >= sizeof text) return false;
    std::memcpy(text, addressBegin, length);
    text[length] = '\0';
    boost::system::error_code ec;
    const boost::asio::ip::address address = boost::asio::ip::make_address(text, ec);
    unsigned long port = 0;
    if (ec || address.is_v6() != bracketed || !parseNumber(colon + 1, end, 65535, port) || port == 0) {
        return false;
    }
    const boost::asio::ip::udp::endpoint endpoint(address, static_cast<unsigned short>(port));
    std::memcpy(&out.address, endpoint.data(), endpoint.size());
    out.size = static_cast<socklen_t>(endpoint.size());
    return true;
}

// How other tools write a link, and the scheme that names it here (their
// `udp:` listens).
struct Habit {
    const char* prefix;
    const char* scheme;
};

const Habit habits[] = {
    {"tcp:", "tcp://"},       {"tcpin:", "tcpin://"},   {"udp:", "udpin://"},     {"udpin:", "udpin://"},
    {"udpout:", "udpout://"}, {"serial:", "serial://"}, {"udp://", "udpin://"},
};

// Appends the serial path [begin, end), a rate written ",BAUD" made ":BAUD".
void appendSerial(std::vector<char>& out, const char* begin, const char* end) {
    const char* comma = static_cast<const char*>(memrchr(begin, ',', static_cast<std::size_t>(end - begin)));
    const bool rated = comma && allDigits(comma + 1, end);
    out.insert(out.end(), begin, rated ? comma : end);
    if (rated) {
        out.push_back(':');
        out.insert(out.end(), comma + 1, end);
    }
}

}  // namespace

ConnectionString::ConnectionString()
    : linkKind(Invalid),
      whole(1, '\0'),
      place(1, '\0'),
      portNumber(0),
      baudRate(0),
      replaySpeed(1),
      peerGiven(false),
      fixedPeer(),
      problem("") {}

ConnectionString ConnectionString::serialPath(const char* path) {
    ConnectionString c;
    const char* s = path ? path : "";
    c.linkKind = Serial;
    c.whole = copyOf(s, s + std::strlen(s));
    c.place = c.whole;
    c.baudRate = defaultBaud;
    return c;
}

ConnectionString ConnectionString::parse(const char* text) {
    ConnectionString c;
    const char* s = text ? text : "";
    const char* end = s + std::strlen(s);
    c.whole = copyOf(s, end);

    // A scheme is a letter, then letters, digits, '+', '-' or '.', then "://".
    const char* scheme = s;
    while (scheme != end && isSchemeChar(*scheme)) ++scheme;
    const bool hasScheme = scheme != s && ((*s >= 'a' && *s <= 'z') || (*s >= 'A' && *s <= 'Z')) &&
                           end - scheme >= 3 && std::strncmp(scheme, "://", 3) == 0;
    if (!hasScheme) {
        return serialPath(s);
    }
    const std::size_t schemeLength = static_cast<std::size_t>(scheme - s);
    const char* rest = scheme + 3;
    auto is = [&](const char* name) {
        return std::strlen(name) == schemeLength && std::strncmp(s, name, schemeLength) == 0;
    };

    if (is("serial")) {
        // The rate is what follows the last ':' when only digits do; otherwise
        // the whole rest is the path (device names hold colons too).
        const char* colon = std::strrchr(rest, ':');
        const bool rated = colon && allDigits(colon + 1, end);
        const char* pathEnd = rated ? colon : end;
        unsigned long rate = defaultBaud;
        if (pathEnd == rest) {
            c.problem = "no device path";
            return c;
        }
        if (rated) {
            const bool number = parseNumber(colon + 1, end, 10000000, rate);
            bool known = false;
            for (unsigned r : standardRates) known = known || (number && r == rate);
            if (!known) {
                c.problem = "unsupported rate (9600, 19200, 38400, 57600, 115200, 230400, 460800 or 921600)";
                return c;
            }
        }
        c.linkKind = Serial;
        c.place = copyOf(rest, pathEnd);
        c.baudRate = static_cast<unsigned>(rate);
        return c;
    }
    Kind network = Invalid;
    for (const NetworkScheme& n : networkSchemes) {
        if (is(n.name)) network = n.kind;
    }
    if (network != Invalid) {
        // Only a listening UDP link takes an option; tcpin and udpout refuse
        // one rather than take it for part of the host.
        const char* query = network == UdpIn ? std::strchr(rest, '?') : nullptr;
        if ((network == TcpIn || network == UdpOut) && std::strchr(rest, '?')) {
            c.problem = "takes no option (expected HOST:PORT)";
            return c;
        }
        const char* addressEnd = query ? query : end;
        const char* hostBegin = rest;
        const char* hostEnd = nullptr;
        const char* colon = nullptr;
        if (*rest == '[') {
            // [IPv6]:PORT
            const std::size_t length = static_cast<std::size_t>(addressEnd - rest);
            const char* close = static_cast<const char*>(std::memchr(rest, ']', length));
            if (!close || close[1] != ':') {
                c.problem = "expected [ADDRESS]:PORT";
                return c;
            }
            hostBegin = rest + 1;
            hostEnd = close;
            colon = close + 1;
        } else {
            colon = static_cast<const char*>(memrchr(rest, ':', static_cast<std::size_t>(addressEnd - rest)));
            hostEnd = colon;
        }
        if (!colon) {
            c.problem = "no port (expected HOST:PORT)";
            return c;
        }
        if (hostEnd == hostBegin) {
            c.problem = "no host (expected HOST:PORT)";
            return c;
        }
        unsigned long port = 0;
        if (!parseNumber(colon + 1, addressEnd, 65535, port) || port == 0) {
            c.problem = "bad port (1 to 65535)";
            return c;
        }
        if (query) {
            if (!parsePeer(query + 1, end, c.fixedPeer)) {
                c.problem = "bad option (expected ?peer=ADDRESS:PORT, an IP address, IPv6 in brackets, and a port from "
                            "1 to 65535)";
                return c;
            }
            c.peerGiven = true;
        }
        c.linkKind = network;
        c.place = copyOf(hostBegin, hostEnd);
        c.portNumber = static_cast<uint16_t>(port);
        return c;
    }
    if (is("replay")) {
        const char* query = std::strchr(rest, '?');
        const char* pathEnd = query ? query : end;
        if (pathEnd == rest) {
            c.problem = "no capture file";
            return c;
        }
        if (query) {
            double speed = -1;
            if (!parseSpeed(query + 1, end, speed)) {
                c.problem = "bad option (expected ?speed=N, N 0 or from 0.01 to 1000000)";
                return c;
            }
            c.replaySpeed = speed;
        }
        c.linkKind = Replay;
        c.place = copyOf(rest, pathEnd);
        return c;
    }
    c.problem = "unknown scheme (serial://, tcp://, tcpin://, udpin://, udpout:// or replay://, or a device path "
                "without one)";
    return c;
}

std::vector<char> ConnectionString::suggestion() const {
    const char* s = whole.data();
    const char* end = s + std::strlen(s);
    // A serial path given without a scheme is the whole text.
    const bool schemeless = linkKind == Serial && std::strcmp(s, place.data()) == 0;
    struct stat st;
    if (linkKind != Invalid && !(schemeless && ::lstat(s, &st) != 0)) {
        return {};
    }
    std::vector<char> meant;
    for (const Habit& h : habits) {
        const std::size_t n = std::strlen(h.prefix);
        const char* rest = std::strncmp(s, h.prefix, n) == 0 ? s + n : nullptr;
        // "tcp://..." already has its scheme; what it lacks is no habit.
        if (meant.empty() && rest && std::strncmp(rest, "//", 2) != 0) {
            meant.assign(h.scheme, h.scheme + std::strlen(h.scheme));
            if (std::strcmp(h.scheme, "serial://") == 0) {
                appendSerial(meant, rest, end);
            } else {
                meant.insert(meant.end(), rest, end);
            }
        }
    }
    // A device path with a rate after it.
    const char* separator = std::find_if(std::make_reverse_iterator(end), std::make_reverse_iterator(s),
                                         [](char c) { return c == ':' || c == ','; })
                                .base();
    if (meant.empty() && schemeless && *s == '/' && separator != s && allDigits(separator, end)) {
        static const char scheme[] = "serial://";
        meant.assign(scheme, scheme + sizeof scheme - 1);
        appendSerial(meant, s, end);
    }
    meant.push_back('\0');
    if (meant.size() == 1 || parse(meant.data()).kind() == Invalid) {
        return {};
    }
    return meant;
}

const char* ConnectionString::resolve(bool datagram, bool passive, std::vector<Address>& out) const {
    out.clear();
    char service[8];
    std::snprintf(service, sizeof service, "%u", static_cast<unsigned>(portNumber));
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = datagram ? SOCK_DGRAM : SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | (passive ? AI_PASSIVE : 0);
    addrinfo* found = nullptr;
    const int error = ::getaddrinfo(place.data(), service, &hints, &found);
    if (error != 0) {
        return ::gai_strerror(error);
    }
    for (const addrinfo* a = found; a; a = a->ai_next) {
        Address address;
        std::memset(&address, 0, sizeof address);
        if (a->ai_addrlen > sizeof address.address) continue;
        std::memcpy(&address.address, a->ai_addr, a->ai_addrlen);
        address.size = a->ai_addrlen;
        out.push_back(address);
    }
    ::freeaddrinfo(found);
    return nullptr;
}

}  // namespace ORQ
