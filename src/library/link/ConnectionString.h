#pragma once
// What the host names when it starts the library: one text for every kind of
// link. Without a scheme the whole text is a serial device at 57600 baud;
// otherwise `serial://PATH[:BAUD]` (BAUD: the digits after the last ':', if
// only digits follow it; device names may hold colons of their own),
// `tcp://HOST:PORT` (client), `tcpin://HOST:PORT` (listens; serves one
// client at a time), `udpin://HOST:PORT[?peer=ADDRESS:PORT]` (listens;
// answers the peer heard from last, or only the one given),
// `udpout://HOST:PORT` (sends to that address and hears only it) or
// `replay://PATH[?speed=N]` (a capture file played back, N times the recorded
// pace, 0 as fast as possible; default 1; N is 0 or from 0.01 to 1000000).
//
// Other tools write links as `tcp:HOST:PORT`, `udp:HOST:PORT`,
// `serial:PATH`, `PATH:BAUD` or `PATH,BAUD`. Those texts have no scheme here,
// so they name serial devices (a device name may hold ':'): they are not
// taken as links, but suggestion() gives the text meant.
//
// A plain value, made once by parse() and only read afterwards; any thread.
// Its texts are kept in vectors rather than std::string: the library's own
// allocation operators must free what they allocated (see Allocation.cpp).
#include <cstdint>
#include <sys/socket.h>
#include <vector>

namespace ORQ {

class ConnectionString {
public:
    enum Kind { Invalid, Serial, Tcp, UdpIn, Replay, UdpOut, TcpIn };

    static const unsigned defaultBaud = 57600;
    // The replay paces that are not 0.
    static constexpr double minSpeed = 0.01;
    static constexpr double maxSpeed = 1000000;

    // Never fails: a text that names no link gives kind Invalid and error().
    // A null text is the empty serial path (which never opens).
    static ConnectionString parse(const char* text);
    // The serial device at path (null: ""), 57600 baud, whatever the text.
    static ConnectionString serialPath(const char* path);

    Kind kind() const { return linkKind; }
    // The whole text as given (NUL-terminated); what log lines name.
    const char* text() const { return whole.data(); }
    // Serial: the device path; Tcp, TcpIn, UdpIn, UdpOut: the host (brackets
    // of an IPv6 address removed); Replay: the capture file.
    const char* target() const { return place.data(); }
    uint16_t port() const { return portNumber; }
    unsigned baud() const { return baudRate; }
    // Replay: the pace, a multiple of the recorded one (0: as fast as possible).
    double speed() const { return replaySpeed; }
    struct Address {
        sockaddr_storage address;
        socklen_t size;
    };
    // The addresses of host and port (Tcp, TcpIn, UdpIn, UdpOut), for a
    // stream or a datagram socket, to connect to or (passive) to bind; null
    // on success, else the resolver's text. Blocks while a name is looked up.
    const char* resolve(bool datagram, bool passive, std::vector<Address>& out) const;
    // UdpIn: whether `?peer=` names the only peer, and its address.
    bool hasPeer() const { return peerGiven; }
    const Address& peer() const { return fixedPeer; }

    // Why an Invalid text names no link; empty otherwise.
    const char* error() const { return problem; }

    // For a text written in the habit of another tool (see above) that is
    // Invalid, or a serial path without a scheme that names no file: the
    // NUL-terminated text that names the link meant (`tcp:127.0.0.1:5760`
    // gives `tcp://127.0.0.1:5760`, `/dev/ttyUSB0:57600` gives
    // `serial:///dev/ttyUSB0:57600`); empty when there is none, or when the
    // corrected text would name no link either. Looks at the file system.
    std::vector<char> suggestion() const;

private:
    ConnectionString();

    Kind linkKind;
    std::vector<char> whole;
    std::vector<char> place;
    uint16_t portNumber;
    unsigned baudRate;
    double replaySpeed;
    bool peerGiven;
    Address fixedPeer;
    const char* problem;  // a string literal
};

}  // namespace ORQ
