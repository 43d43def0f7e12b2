// Every kind of link as a host uses it: liborq.so loaded by path and started
// with a connection string on a serial device (a pseudo-terminal), a TCP
// server, a TCP client, a UDP sender, a UDP listener or ser2net in front of a
// pseudo-terminal, with the simulated devices at the far end; the writers of
// one serial link, the link's classes on a pseudo-terminal; whom a UDP link
// answers and whom a listening TCP link serves, their classes with test
// sockets for the device and the others; texts written in other tools' ways.
#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "link/ConnectionString.h"
#include "DeviceFrames.h"
#include "host/Dll.h"
#include "HostLibrary.h"
#include "LoopbackAddress.h"
#include "LoopbackDatagrams.h"
#include "LoopbackPort.h"
#include "routing/MessageDebugger.h"
#include "routing/MessageManager.h"
#include "wire/MessageQueue.h"
#include "wire/MessageSystem.h"
#include "ProcessProbe.h"
#include "Pty.h"
#include "Ser2net.h"
#include "SerialPlug.h"
#include "Simulator.h"
#include "StdoutCapture.h"
#include "TestMessages.h"
#include "host/Pump.h"
#include "link/LinkFactory.h"
#include "link/UartSerial.h"
#include "WireFrames.h"

using namespace ORQ::test;
using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

namespace {

const std::chrono::milliseconds kDeadline(20000);
const int kOwnID = 1;
const int kBoard = 5;
const int kStation = 6;
const int kType = 30;
const int kGpsMode = 32;      // settable 0..2, reported back by the board
const int kGpsModeSet = 31;   // its data type on the line
const int kStaleDropped = 48;

enum class Kind { Serial, Tcp, Udp, TcpIn, UdpOut };

const char* nameOf(Kind kind) {
    switch (kind) {
    case Kind::Serial:
        return "Serial";
    case Kind::Tcp:
        return "Tcp";
    case Kind::Udp:
        return "Udp";
    case Kind::TcpIn:
        return "TcpIn";
    case Kind::UdpOut:
        return "UdpOut";
    }
    return "";
}

// The line the library writes when the far end of a link of this kind goes
// away; empty when it cannot tell (a UDP peer that no longer listens).
std::string farEndGoneLine(Kind kind) {
    switch (kind) {
    case Kind::Serial:
    case Kind::Tcp:
        return "[UartSerial] WARNING reopen()";
    case Kind::TcpIn:
        return "[UartSerial] WARNING client gone";
    case Kind::Udp:
    case Kind::UdpOut:
        break;
    }
    return "";
}

// A simulator with a flight board and a ground station, serving one kind of
// link; text is what the host passes to init. A network kind takes the port
// given (0: a free one), the port of the far end that was there before.
class Far {
public:
    explicit Far(Kind kind, double dropEvery = 0, uint16_t port = 0) : sim(options(dropEvery)) {
        switch (kind) {
        case Kind::Serial:
            ok = sim.openPty();
            text = "serial://" + sim.path() + ":57600";
            break;
        case Kind::Tcp:
            ok = sim.listenTcp(port);
            this->port = sim.port();
            text = "tcp://127.0.0.1:";
            break;
        case Kind::Udp:
            this->port = port ? port : freeLoopbackPort(SOCK_DGRAM);
            ok = sim.sendUdp(this->port);
            text = "udpin://127.0.0.1:";
            break;
        case Kind::TcpIn:
            ok = sim.connectTcp(port ? port : freeLoopbackPort(SOCK_STREAM));
            this->port = sim.port();
            text = "tcpin://127.0.0.1:";
            break;
        case Kind::UdpOut:
            ok = sim.listenUdp(port);
            this->port = sim.port();
            text = "udpout://127.0.0.1:";
            break;
        }
        if (kind != Kind::Serial) {
            text += std::to_string(this->port);
        }
        ok = ok && sim.addDevice(kBoard, ORQSim::SimDevice::FlightBoard) &&
             sim.addDevice(kStation, ORQSim::SimDevice::GroundStation) && sim.start();
    }

    static ORQSim::Simulator::Options options(double dropEvery) {
        ORQSim::Simulator::Options o;
        o.dropEvery = dropEvery;
        return o;
    }

    bool ok = false;
    std::string text;
    uint16_t port = 0;  // the one in text
    ORQSim::Simulator sim;
};

class LinkTest : public ::testing::Test {
protected:
    LinkTest() : lib(HostLibrary::load(ORQ_SHARED_LIBRARY)) {}
    void TearDown() override { lib.deinit(); }

    int read(int id, int dataID) {
        int value = -1;
        return lib.getData(id, dataID, &value, 0) == ERROR_NO ? value : -1;
    }
    bool bothTyped() {
        return eventually([&] { return read(kBoard, kType) == 1 && read(kStation, kType) == 0; }, kDeadline);
    }
    // A set goes out and the board reports the new mode back.
    void setRoundTrip(ORQSim::Simulator& sim, int mode) {
        ASSERT_EQ(ERROR_NO, lib.setData(kBoard, kGpsMode, mode, 0));
        EXPECT_TRUE(sim.waitForValue(kBoard, kGpsMode, 0, mode, kDeadline));
        EXPECT_TRUE(eventually([&] { return read(kBoard, kGpsMode) == mode; }, kDeadline));
    }
    // Starts on the line, waits until both devices are typed, pulls the plug
    // and waits until the library has seen the device go.
    template <class PluggedLine>
    void startThenUnplug(PluggedLine& line, StdoutCapture& out) {
        ASSERT_EQ(0, lib.callInit(kOwnID, 0, line.path().c_str()));
        ASSERT_TRUE(bothTyped());
        line.unplug();
        ASSERT_TRUE(out.waitForLine("[UartSerial] error while open", kDeadline));
    }

    HostLibrary& lib;
};

// --- Connection strings --------------------------------------------------------

struct Parsed {
    const char* text;
    ORQ::ConnectionString::Kind kind;
    const char* target;
    unsigned port;
    unsigned baud;
};

TEST(ConnectionStringTest, EveryFormNamesItsLink) {
    using K = ORQ::ConnectionString;
    const Parsed table[] = {
        {"/dev/ttyUSB0", K::Serial, "/dev/ttyUSB0", 0, 57600},
        {"", K::Serial, "", 0, 57600},
        {"ttyS0:115200", K::Serial, "ttyS0:115200", 0, 57600},  // no scheme: the whole text is the path
        {"serial:///dev/ttyACM1", K::Serial, "/dev/ttyACM1", 0, 57600},
        {"serial:///dev/ttyACM1:9600", K::Serial, "/dev/ttyACM1", 0, 9600},
        {"serial:///dev/ttyACM1:921600", K::Serial, "/dev/ttyACM1", 0, 921600},
        {"tcp://192.168.4.1:2000", K::Tcp, "192.168.4.1", 2000, 0},
        {"tcp://localhost:65535", K::Tcp, "localhost", 65535, 0},
        {"tcp://[::1]:5760", K::Tcp, "::1", 5760, 0},
        {"udpin://0.0.0.0:14550", K::UdpIn, "0.0.0.0", 14550, 0},
        {"udpout://192.168.4.2:14550", K::UdpOut, "192.168.4.2", 14550, 0},
        {"udpout://[fe80::1]:1", K::UdpOut, "fe80::1", 1, 0},
        {"tcpin://0.0.0.0:5760", K::TcpIn, "0.0.0.0", 5760, 0},
        {"tcpin://[::]:65535", K::TcpIn, "::", 65535, 0},
        {"replay:///tmp/flight.orqcap", K::Replay, "/tmp/flight.orqcap", 0, 0},
        {"replay://flight.orqcap?speed=0", K::Replay, "flight.orqcap", 0, 0},
        {"replay://flight.orqcap?speed=2.5", K::Replay, "flight.orqcap", 0, 0},
    };
    for (const Parsed& p : table) {
        SCOPED_TRACE(p.text);
        const ORQ::ConnectionString c = ORQ::ConnectionString::parse(p.text);
        EXPECT_EQ(p.kind, c.kind());
        EXPECT_STREQ(p.target, c.target());
        EXPECT_EQ(p.port, c.port());
        EXPECT_EQ(p.baud, c.baud());
        EXPECT_STREQ(p.text, c.text());
        EXPECT_STREQ("", c.error());
    }
    EXPECT_EQ(K::Serial, ORQ::ConnectionString::parse(nullptr).kind());
    EXPECT_EQ(1.0, ORQ::ConnectionString::parse("replay://f").speed());
    EXPECT_EQ(0.0, ORQ::ConnectionString::parse("replay://f?speed=0").speed());
    EXPECT_EQ(2.5, ORQ::ConnectionString::parse("replay://f?speed=2.5").speed());
}

TEST(ConnectionStringTest, SerialRateIsOnlyALastColonFollowedByDigits) {
    // Device names under /dev/serial/by-path hold colons of their own.
    const struct {
        const char* text;
        const char* path;
        unsigned baud;
    } table[] = {
        {"serial:///dev/serial/by-path/pci-0000:00:14.0-usb-0:1:1.0-port0",
         "/dev/serial/by-path/pci-0000:00:14.0-usb-0:1:1.0-port0", 57600},
        {"serial:///dev/serial/by-path/pci-0000:00:14.0-usb-0:1:1.0-port0:115200",
         "/dev/serial/by-path/pci-0000:00:14.0-usb-0:1:1.0-port0", 115200},
        {"serial:///dev/serial/by-path/platform-3f980000.usb-usb-0:1.3:1.0",
         "/dev/serial/by-path/platform-3f980000.usb-usb-0:1.3:1.0", 57600},
        {"serial:///dev/ttyUSB0:fast", "/dev/ttyUSB0:fast", 57600},
        {"serial:///dev/ttyUSB0:", "/dev/ttyUSB0:", 57600},
        {"serial://a:b:9600", "a:b", 9600},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.text);
        const ORQ::ConnectionString c = ORQ::ConnectionString::parse(row.text);
        EXPECT_EQ(ORQ::ConnectionString::Serial, c.kind());
        EXPECT_STREQ("", c.error());
        EXPECT_STREQ(row.path, c.target());
        EXPECT_EQ(row.baud, c.baud());
    }
}

// "ADDRESS PORT" of a socket address, both numeric.
std::string numericTextOf(const ORQ::ConnectionString::Address& a) {
    char host[NI_MAXHOST];
    char service[NI_MAXSERV];
    if (::getnameinfo(reinterpret_cast<const sockaddr*>(&a.address), a.size, host, sizeof host, service,
                      sizeof service, NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
        return "?";
    }
    return std::string(host) + " " + service;
}

TEST(ConnectionStringTest, UdpPeerIsAnAddressAndAPort) {
    const struct {
        const char* text;
        const char* host;
        unsigned port;
        const char* peer;  // null: none given
    } table[] = {
        {"udpin://0.0.0.0:14550", "0.0.0.0", 14550, nullptr},
        {"udpin://0.0.0.0:14550?peer=192.168.4.2:14551", "0.0.0.0", 14550, "192.168.4.2 14551"},
        {"udpin://127.0.0.1:1?peer=127.0.0.1:65535", "127.0.0.1", 1, "127.0.0.1 65535"},
        {"udpin://[::]:14550?peer=[fe80::1]:5000", "::", 14550, "fe80::1 5000"},
        {"udpin://[::]:14550?peer=[::ffff:10.0.0.1]:5000", "::", 14550, "::ffff:10.0.0.1 5000"},
        {"udpin://localhost:14550?peer=10.0.0.1:14551", "localhost", 14550, "10.0.0.1 14551"},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.text);
        const ORQ::ConnectionString c = ORQ::ConnectionString::parse(row.text);
        EXPECT_EQ(ORQ::ConnectionString::UdpIn, c.kind());
        EXPECT_STREQ("", c.error());
        EXPECT_STREQ(row.host, c.target());
        EXPECT_EQ(row.port, c.port());
        EXPECT_STREQ(row.text, c.text());
        ASSERT_EQ(row.peer != nullptr, c.hasPeer());
        if (row.peer) {
            EXPECT_EQ(row.peer, numericTextOf(c.peer()));
        }
    }
}

TEST(ConnectionStringTest, TextsInOtherToolsWaysSuggestTheTextMeant) {
    // A file named like such a text is what the host means.
    char dir[] = "/tmp/orq-habitXXXXXX";
    ASSERT_NE(nullptr, ::mkdtemp(dir));
    const std::string existing = std::string(dir) + "/tty:57600";
    const int file = ::open(existing.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
    ASSERT_GE(file, 0);
    ::close(file);
    const struct {
        std::string text;
        const char* meant;  // "": no suggestion
    } table[] = {
        {"tcp:127.0.0.1:5760", "tcp://127.0.0.1:5760"},
        {"tcp:[::1]:5760", "tcp://[::1]:5760"},
        {"tcpin:0.0.0.0:5760", "tcpin://0.0.0.0:5760"},
        {"udp:0.0.0.0:14550", "udpin://0.0.0.0:14550"},
        {"udp://0.0.0.0:14550", "udpin://0.0.0.0:14550"},
        {"udpin:0.0.0.0:14550", "udpin://0.0.0.0:14550"},
        {"udpout:10.0.0.2:14550", "udpout://10.0.0.2:14550"},
        {"serial:/dev/ttyUSB0", "serial:///dev/ttyUSB0"},
        {"serial:/dev/ttyUSB0:115200", "serial:///dev/ttyUSB0:115200"},
        {"serial:/dev/ttyUSB0,115200", "serial:///dev/ttyUSB0:115200"},
        {"/nonexistent-orq/ttyUSB0:57600", "serial:///nonexistent-orq/ttyUSB0:57600"},
        {"/nonexistent-orq/ttyUSB0,921600", "serial:///nonexistent-orq/ttyUSB0:921600"},
        // The corrected text would name no link either.
        {"tcp:127.0.0.1", ""},
        {"tcp:127.0.0.1:65536", ""},
        {"udp:", ""},
        {"/nonexistent-orq/ttyUSB0:12345", ""},
        {"serial:/dev/ttyUSB0:12345", ""},
        // A link, a text with a scheme that lacks something, a path without a
        // rate, a relative path.
        {"tcp://127.0.0.1:5760", ""},
        {"serial:///dev/ttyUSB0:57600", ""},
        {"tcp://127.0.0.1", ""},
        {"ftp://host:21", ""},
        {"/nonexistent-orq/ttyUSB0", ""},
        {"ttyS0:115200", ""},
        {"", ""},
        // A file of that name exists.
        {existing, ""},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.text);
        const std::vector<char> meant = ORQ::ConnectionString::parse(row.text.c_str()).suggestion();
        EXPECT_EQ(row.meant, std::string(meant.empty() ? "" : meant.data()));
    }
    ::unlink(existing.c_str());
    ::rmdir(dir);
}

struct Bad {
    const char* text;
    const char* reason;
};

const char* const kBadPeer =
    "bad option (expected ?peer=ADDRESS:PORT, an IP address, IPv6 in brackets, and a port from 1 to 65535)";

const Bad kBadStrings[] = {
    {"ftp://host:21", "unknown scheme (serial://, tcp://, tcpin://, udpin://, udpout:// or replay://, or a device "
                      "path without one)"},
    {"tcpin://0.0.0.0", "no port (expected HOST:PORT)"},
    {"tcpin://:5760", "no host (expected HOST:PORT)"},
    {"tcpin://0.0.0.0:0", "bad port (1 to 65535)"},
    {"tcpin://[::]5760", "expected [ADDRESS]:PORT"},
    {"udpout://127.0.0.1", "no port (expected HOST:PORT)"},
    {"udpout://:14550", "no host (expected HOST:PORT)"},
    {"udpout://127.0.0.1:65536", "bad port (1 to 65535)"},
    {"udpout://127.0.0.1:14550?peer=127.0.0.1:14551", "takes no option (expected HOST:PORT)"},
    {"tcpin://0.0.0.0:5760?x=1:2", "takes no option (expected HOST:PORT)"},
    {"replay://", "no capture file"},
    {"replay://?speed=1", "no capture file"},
    {"replay://f?speed=-1", "bad option (expected ?speed=N, N 0 or from 0.01 to 1000000)"},
    {"replay://f?speed=fast", "bad option (expected ?speed=N, N 0 or from 0.01 to 1000000)"},
    {"replay://f?pace=2", "bad option (expected ?speed=N, N 0 or from 0.01 to 1000000)"},
    {"serial://", "no device path"},
    {"serial://:57600", "no device path"},
    {"serial:///dev/ttyUSB0:12345", "unsupported rate (9600, 19200, 38400, 57600, 115200, 230400, 460800 or 921600)"},
    {"serial:///dev/serial/by-path/pci-0000:00:14.0-usb-0:1:1.0-port0:12345",
     "unsupported rate (9600, 19200, 38400, 57600, 115200, 230400, 460800 or 921600)"},
    {"tcp://127.0.0.1", "no port (expected HOST:PORT)"},
    {"tcp://:5000", "no host (expected HOST:PORT)"},
    {"tcp://127.0.0.1:0", "bad port (1 to 65535)"},
    {"tcp://127.0.0.1:65536", "bad port (1 to 65535)"},
    {"tcp://127.0.0.1:http", "bad port (1 to 65535)"},
    {"tcp://[::1:5000", "expected [ADDRESS]:PORT"},
    {"udpin://0.0.0.0:", "bad port (1 to 65535)"},
    {"udpin://0.0.0.0:14550?peer=", kBadPeer},
    {"udpin://0.0.0.0:14550?peer=10.0.0.1", kBadPeer},
    {"udpin://0.0.0.0:14550?peer=10.0.0.1:", kBadPeer},
    {"udpin://0.0.0.0:14550?peer=10.0.0.1:0", kBadPeer},
    {"udpin://0.0.0.0:14550?peer=10.0.0.1:65536", kBadPeer},
    {"udpin://0.0.0.0:14550?peer=10.0.0.1:14551x", kBadPeer},
    {"udpin://0.0.0.0:14550?peer=10.0.0.300:14551", kBadPeer},
    {"udpin://0.0.0.0:14550?peer=modem.local:14551", kBadPeer},
    {"udpin://0.0.0.0:14550?peer=::1:14551", kBadPeer},
    {"udpin://0.0.0.0:14550?peer=[10.0.0.1]:14551", kBadPeer},
    {"udpin://0.0.0.0:14550?peer=[::1:14551", kBadPeer},
    {"udpin://0.0.0.0:14550?from=10.0.0.1:14551", kBadPeer},
    {"udpin://0.0.0.0?peer=10.0.0.1:14551", "no port (expected HOST:PORT)"},
    {"udpin://0.0.0.0:14550?peer=10.0.0.1:14551?peer=10.0.0.2:14551", kBadPeer},
};

TEST_F(LinkTest, MalformedStringsFailWithOneLineAndStartNothing) {
    for (const Bad& b : kBadStrings) {
        SCOPED_TRACE(b.text);
        const std::size_t threads = threadCount();
        const std::size_t descriptors = openDescriptorCount();
        StdoutCapture out;
        EXPECT_EQ(-68, lib.callInit(kOwnID, 0, b.text));
        EXPECT_EQ((Lines{std::string("[UartSerial] bad connection string \"") + b.text + "\": " + b.reason}),
                  out.lines());
        EXPECT_EQ(threads, threadCount());
        // The capture holds two descriptors of its own.
        EXPECT_EQ(descriptors + 2, openDescriptorCount());
    }
}

TEST_F(LinkTest, GoodStringsOpenTheirLinkAndWriteTheOpenLine) {
    Far tcp(Kind::Tcp);
    Far udp(Kind::Udp);
    Far serial(Kind::Serial);
    Far tcpIn(Kind::TcpIn);
    Far udpOut(Kind::UdpOut);
    ASSERT_TRUE(tcp.ok && udp.ok && serial.ok && tcpIn.ok && udpOut.ok);
    const std::string strings[] = {serial.text, "serial://" + serial.sim.path(), tcp.text, udp.text, tcpIn.text,
                                   udpOut.text};
    for (const std::string& text : strings) {
        SCOPED_TRACE(text);
        StdoutCapture out;
        EXPECT_EQ(0, lib.callInit(kOwnID, 0, text.c_str()));
        // Lines of the devices heard may follow at once.
        const Lines lines = out.lines();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ("[UartSerial] open \"" + text + "\"", lines[0]);
        lib.deinit();
    }
}

TEST_F(LinkTest, RefusedConnectionFailsTheStartWithItsReason) {
    const std::string refused = "tcp://127.0.0.1:" + std::to_string(freeLoopbackPort(SOCK_STREAM));
    const std::size_t threads = threadCount();
    StdoutCapture out;
    EXPECT_EQ(-68, lib.callInit(kOwnID, 0, refused.c_str()));
    EXPECT_EQ((Lines{"[UartSerial] open \"" + refused + "\"", "[UartSerial] error while open",
                     "[UartSerial] reason: Connection refused", "[DLL] error init uart, shutdown!!!",
                     "[UartSerial] deinit()", "[UartSerial] deinit(): OK"}),
              out.lines());
    EXPECT_EQ(threads, threadCount());
}

// --- Every kind of link ----------------------------------------------------------

class LinkKindTest : public LinkTest, public ::testing::WithParamInterface<Kind> {};

TEST_P(LinkKindTest, CarriesBothDevicesReportsAndASetRoundTrip) {
    Far far(GetParam());
    ASSERT_TRUE(far.ok);
    StdoutCapture out;
    ASSERT_EQ(0, lib.callInit(kOwnID, 0, far.text.c_str()));
    ASSERT_TRUE(bothTyped());
    setRoundTrip(far.sim, 2);
    setRoundTrip(far.sim, 1);
}

TEST_P(LinkKindTest, StopDeliversASetMadeJustBefore) {
    Far far(GetParam());
    ASSERT_TRUE(far.ok);
    StdoutCapture out;
    ASSERT_EQ(0, lib.callInit(kOwnID, 0, far.text.c_str()));
    ASSERT_TRUE(bothTyped());
    ASSERT_EQ(ERROR_NO, lib.setData(kBoard, kGpsMode, 2, 0));
    lib.deinit();
    EXPECT_TRUE(far.sim.waitForValue(kBoard, kGpsMode, 0, 2, kDeadline));
}

enum class StopState { Idle, AfterTraffic, FarEndGone };

TEST_P(LinkKindTest, DeinitIsPromptInEveryStateAndLeavesNoThread) {
    for (StopState state : {StopState::Idle, StopState::AfterTraffic, StopState::FarEndGone}) {
        SCOPED_TRACE(static_cast<int>(state));
        std::unique_ptr<Far> far(new Far(GetParam()));
        ASSERT_TRUE(far->ok);
        const std::string text = far->text;
        const std::size_t threads = threadCount();
        StdoutCapture out;
        ASSERT_EQ(0, lib.callInit(kOwnID, 0, text.c_str()));
        if (state != StopState::Idle) {
            ASSERT_TRUE(bothTyped());
        }
        if (state == StopState::FarEndGone) {
            far.reset();
            // Sets wait for the link that is gone (serial, TCP), for the next
            // client (listening TCP), or go to a peer that no longer listens
            // (UDP).
            lib.setData(kBoard, kGpsMode, 1, 0);
            const std::string gone = farEndGoneLine(GetParam());
            if (!gone.empty()) {
                ASSERT_TRUE(out.waitForLine(gone, kDeadline));
            }
        }
        EXPECT_TRUE(finishesWithin([&] { lib.deinit(); }, kDeadline));
        // A simulator that went away took its own thread with it.
        const std::size_t expected = far ? threads : threads - 1;
        EXPECT_TRUE(eventually([&] { return threadCount() == expected; }, kDeadline));
    }
}

TEST_P(LinkKindTest, RepeatedStartsAndStopsLeaveNoDescriptorOrThread) {
    Far far(GetParam());
    ASSERT_TRUE(far.ok);
    StdoutCapture out;
    const std::size_t descriptors = openDescriptorCount();
    const std::size_t threads = threadCount();
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(0, lib.callInit(kOwnID, 0, far.text.c_str())) << "start " << i;
        lib.deinit();
    }
    // The simulator in this process closes its end of the last TCP
    // connection when it notices the library has gone.
    EXPECT_TRUE(eventually([&] { return openDescriptorCount() == descriptors; }, kDeadline))
        << openDescriptorCount() << " descriptors, " << descriptors << " before";
    EXPECT_TRUE(eventually([&] { return threadCount() == threads; }, kDeadline));
}

INSTANTIATE_TEST_SUITE_P(Kinds, LinkKindTest,
                         ::testing::Values(Kind::Serial, Kind::Tcp, Kind::Udp, Kind::TcpIn, Kind::UdpOut),
                         [](const ::testing::TestParamInfo<Kind>& p) { return std::string(nameOf(p.param)); });

// --- TCP --------------------------------------------------------------------------

TEST_F(LinkTest, TcpThroughSer2netInFrontOfThePty) {
    if (!Ser2net::available()) {
        GTEST_SKIP() << "ser2net is not installed";
    }
    Far far(Kind::Serial);
    ASSERT_TRUE(far.ok);
    Ser2net bridge(far.sim.path());
    const std::string text = "tcp://127.0.0.1:" + std::to_string(bridge.port());
    StdoutCapture out;
    ASSERT_EQ(0, lib.callInit(kOwnID, 0, text.c_str()));
    ASSERT_TRUE(bothTyped());
    setRoundTrip(far.sim, 2);
}

// A far end that goes away and comes back on the same port, and the lines
// the library writes meanwhile.
struct Restart {
    Kind kind;
    std::vector<std::string> whileAway;
    std::string back;  // "": none
};

void PrintTo(const Restart& r, std::ostream* os) {
    *os << nameOf(r.kind);
}

class LinkRestartTest : public LinkTest, public ::testing::WithParamInterface<Restart> {};

TEST_P(LinkRestartTest, FarEndThatRestartsIsServedAgain) {
    std::unique_ptr<Far> far(new Far(GetParam().kind));
    ASSERT_TRUE(far->ok);
    const uint16_t port = far->port;
    StdoutCapture out;
    ASSERT_EQ(0, lib.callInit(kOwnID, 0, far->text.c_str()));
    ASSERT_TRUE(bothTyped());

    far.reset();
    for (const std::string& line : GetParam().whileAway) {
        ASSERT_TRUE(out.waitForLine(line, kDeadline)) << line;
    }
    Far restarted(GetParam().kind, 0, port);
    ASSERT_TRUE(restarted.ok);
    if (!GetParam().back.empty()) {
        ASSERT_TRUE(out.waitForLine(GetParam().back, kDeadline, GetParam().kind == Kind::TcpIn ? 2 : 1));
    }
    setRoundTrip(restarted.sim, 2);
    setRoundTrip(restarted.sim, 1);
}

INSTANTIATE_TEST_SUITE_P(
    FarEnd, LinkRestartTest,
    ::testing::Values(
        // Refused at least once while the server is away.
        Restart{Kind::Tcp,
                {"[UartSerial] WARNING reopen()", "[UartSerial] reason: Connection refused"},
                "[UartSerial] WARNING reopen() OK"},
        // The listener stays; the client that comes next is served.
        Restart{Kind::TcpIn, {"[UartSerial] WARNING client gone"}, "[UartSerial] client connected"},
        // Nothing to see: the link's hello reaches the new far end.
        Restart{Kind::UdpOut, {}, ""}),
    [](const ::testing::TestParamInfo<Restart>& p) { return std::string(nameOf(p.param.kind)); });

TEST_F(LinkTest, TcpRidesOutAFarEndThatDropsTheConnection) {
    const struct {
        Kind kind;
        std::string line;  // written on each connection, the first one too
    } table[] = {
        {Kind::Tcp, "[UartSerial] WARNING reopen() OK"},
        {Kind::TcpIn, "[UartSerial] client connected"},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(nameOf(row.kind));
        Far far(row.kind, 1.0);
        ASSERT_TRUE(far.ok);
        StdoutCapture out;
        ASSERT_EQ(0, lib.callInit(kOwnID, 0, far.text.c_str()));
        ASSERT_TRUE(bothTyped());
        ASSERT_TRUE(out.waitForLine(row.line, kDeadline, row.kind == Kind::Tcp ? 2 : 3));
        setRoundTrip(far.sim, 2);
        lib.deinit();
    }
}

// --- UDP --------------------------------------------------------------------------

TEST_F(LinkTest, UdpWithAFixedPeerCarriesBothDevicesAndASetRoundTrip) {
    Far far(Kind::Udp);
    ASSERT_TRUE(far.ok);
    const std::string text = far.text + "?peer=127.0.0.1:" + std::to_string(far.sim.port());
    StdoutCapture out;
    ASSERT_EQ(0, lib.callInit(kOwnID, 0, text.c_str()));
    ASSERT_TRUE(bothTyped());
    setRoundTrip(far.sim, 2);
}

// A network link on loopback, run by its classes, with test sockets playing
// the device and whatever else speaks to it. Commands are queued on the
// link's message system; which socket their frames reach is what these tests
// look at.
class LinkClassTest : public ::testing::Test {
protected:
    static constexpr uint8_t kCommandType = 40;

    void startOn(const std::string& text) {
        link = ORQ::LinkFactory::create(ORQ::ConnectionString::parse(text.c_str()));
        ASSERT_TRUE(link);
        pump.reset(new ORQ::Pump(*link, ms, mm, ORQ::Pump::Clock::none));
        pump->start();
        ASSERT_EQ(1, link->getIsOpen());
    }
    // Starts a listening UDP link on a free port; `query` follows the port in
    // its connection string.
    void start(const std::string& query = "") {
        port = freeLoopbackPort(SOCK_DGRAM);
        startOn("udpin://127.0.0.1:" + std::to_string(port) + query);
    }
    void TearDown() override {
        if (pump) pump->stop();
    }
    // Queues a command the queue never merges with another.
    void command(uint8_t seq) {
        ORQ::Message m = ORQ::test::makeMessage(kCommandType, static_cast<uint8_t>(kOwnID),
                                                static_cast<uint8_t>(kBoard), 0, {seq}, 0, 0, false);
        ASSERT_TRUE(ms.send(&m));
    }
    // The sequence number of the next command that reaches `at`; -1 when
    // none came within the timeout, -2 for a datagram that is no command.
    // senderPort (if not null): the port the command came from.
    static int nextCommand(LoopbackDatagrams& at, std::chrono::milliseconds timeout, uint16_t* senderPort = nullptr) {
        Bytes datagram;
        if (!at.receive(datagram, timeout, senderPort)) return -1;
        return commandIn(datagram);
    }
    // The sequence number of the command framed in bytes; -2 for anything else.
    static int commandIn(const Bytes& bytes) {
        Bytes layout;
        // Full layout (never merged): magic, type, sender, receiver, size,
        // priority, ttl, properties, channel, payload, check.
        if (!unframe(bytes, layout) || layout.size() != 11 || layout[1] != kCommandType) return -2;
        return layout[9];
    }
    uint32_t receivedBytes() const { return ms.statistics().receivedBytes; }

    // What the device says: a report of its type.
    const Bytes report = smalFrame(kType, kBoard, kOwnID, 0, {1});
    StdoutCapture out;
    ORQ::MessageSystem ms;
    ORQ::MessageManager mm;
    std::unique_ptr<ORQ::Link> link;
    std::unique_ptr<ORQ::Pump> pump;
    uint16_t port = 0;
};

class UdpLinkTest : public LinkClassTest {};

enum class Reaches { Device, Sender };

struct UdpSender {
    const char* name;
    Bytes datagram;
    bool peerFixed;  // ?peer= names the device
    Reaches reaches;
};

// The link has a command queued and nobody heard yet when one datagram comes
// from another port, right before the device's first report. The command
// must reach whoever the rule makes the peer, and only it.
TEST_F(UdpLinkTest, OnlyAWholeFrameWithARightCheckByteMakesItsSenderThePeer) {
    Bytes wrongCheck = report;
    wrongCheck[wrongCheck.size() - 2] ^= 0x01;  // the check byte (none of the bytes here is escaped)
    const Bytes truncated(report.begin(), report.end() - 2);
    const UdpSender table[] = {
        {"empty datagram", {}, false, Reaches::Device},
        {"garbage", {0x47, 0x45, 0x54, 0xFC, 0x20, 0x2F}, false, Reaches::Device},
        {"frame with a wrong check byte", wrongCheck, false, Reaches::Device},
        {"truncated frame", truncated, false, Reaches::Device},
        {"valid frame, peer learned", report, false, Reaches::Sender},
        {"valid frame, peer fixed", report, true, Reaches::Device},
        {"garbage, peer fixed", {0x47, 0x45, 0x54, 0xFC}, true, Reaches::Device},
    };
    for (const UdpSender& row : table) {
        SCOPED_TRACE(row.name);
        LoopbackDatagrams device;
        LoopbackDatagrams other;
        ASSERT_NO_FATAL_FAILURE(start(row.peerFixed ? "?peer=127.0.0.1:" + std::to_string(device.port()) : ""));
        const uint32_t bytesBefore = receivedBytes();
        ASSERT_NO_FATAL_FAILURE(command(1));
        other.sendTo(port, row.datagram);
        device.sendTo(port, report);

        LoopbackDatagrams& peer = row.reaches == Reaches::Device ? device : other;
        LoopbackDatagrams& notPeer = row.reaches == Reaches::Device ? other : device;
        EXPECT_EQ(1, nextCommand(peer, kDeadline));
        // One frame, sent once, to one address: it is at the peer already.
        EXPECT_EQ(-1, nextCommand(notPeer, 0ms));
        // The datagrams of others still reach the receive path, unless the
        // peer is fixed.
        const std::size_t heard = report.size() + (row.peerFixed ? 0 : row.datagram.size());
        EXPECT_TRUE(eventually([&] { return receivedBytes() - bytesBefore == heard; }, kDeadline))
            << receivedBytes() - bytesBefore << " bytes heard";
        pump->stop();
        pump.reset();
        link.reset();
    }
    // Ignored datagrams are counted in a frequent line: written at once, or
    // summed up in its " (N more)" copy when it was written often just before.
    const std::string ignored = "[UartSerial] WARNING datagram ignored: not from the peer";
    EXPECT_TRUE(eventually([&] { return out.text().find(ignored) != std::string::npos; }, kDeadline));
}

TEST_F(UdpLinkTest, EveryCommandReachesTheDeviceWhileAnotherProcessFloodsGarbage) {
    ASSERT_NO_FATAL_FAILURE(start());
    LoopbackDatagrams device;
    LoopbackDatagrams hostile;
    std::atomic<bool> stop(false);
    std::thread flood([&] {
        const Bytes garbage{0x00, 0xFD, 0x13, 0x37, 0xFC};
        while (!stop) {
            hostile.sendTo(port, garbage);
            std::this_thread::sleep_for(1ms);
        }
    });
    std::thread talk([&] {
        while (!stop) {
            device.sendTo(port, report);
            std::this_thread::sleep_for(10ms);
        }
    });
    const int commands = 50;
    int arrived = 0;
    std::string fault;
    for (int seq = 0; seq < commands && fault.empty(); ++seq) {
        // Each command after more of the flood was read.
        const uint32_t heard = receivedBytes();
        if (!eventually([&] { return receivedBytes() > heard; }, kDeadline)) {
            fault = "nothing heard";
            break;
        }
        command(static_cast<uint8_t>(seq));
        const int got = nextCommand(device, kDeadline);
        if (got == seq) {
            ++arrived;
        } else {
            fault = "command " + std::to_string(seq) + ": " + std::to_string(got) + " arrived";
        }
    }
    stop = true;
    flood.join();
    talk.join();
    EXPECT_EQ("", fault);
    EXPECT_EQ(commands, arrived);
    EXPECT_EQ(-1, nextCommand(hostile, 0ms));
}

TEST_F(UdpLinkTest, AnswersThePeerHeardFromLast) {
    ASSERT_NO_FATAL_FAILURE(start());
    LoopbackDatagrams first;
    LoopbackDatagrams second;
    const struct {
        LoopbackDatagrams& speaker;
        LoopbackDatagrams& silent;
    } turns[] = {{first, second}, {second, first}, {first, second}};
    uint8_t seq = 0;
    uint32_t heard = receivedBytes();
    for (const auto& turn : turns) {
        SCOPED_TRACE(seq);
        // The link takes the peer from a datagram before it counts its bytes.
        turn.speaker.sendTo(port, report);
        heard += static_cast<uint32_t>(report.size());
        ASSERT_TRUE(eventually([&] { return receivedBytes() == heard; }, kDeadline));
        ASSERT_NO_FATAL_FAILURE(command(seq));
        EXPECT_EQ(seq, nextCommand(turn.speaker, kDeadline));
        EXPECT_EQ(-1, nextCommand(turn.silent, 0ms));
        ++seq;
    }
}

TEST_F(UdpLinkTest, CommandQueuedBeforeAnyPeerIsHeldThenDroppedAndCounted) {
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_NO_FATAL_FAILURE(command(1));
    // Nowhere to go: it waits for the hold time, then is dropped and counted.
    EXPECT_TRUE(eventually([&] { return ms.statistics().staleDropped == 1; }, kDeadline));
    EXPECT_EQ(0u, ms.getMessageQueue()->getElementCount());
    LoopbackDatagrams device;
    device.sendTo(port, report);
    ASSERT_NO_FATAL_FAILURE(command(2));
    EXPECT_EQ(2, nextCommand(device, kDeadline));
}

TEST_F(UdpLinkTest, ToAFixedAddressItSpeaksFirstAndHearsOnlyThatAddress) {
    LoopbackDatagrams device;
    LoopbackDatagrams other;
    ASSERT_NO_FATAL_FAILURE(startOn("udpout://127.0.0.1:" + std::to_string(device.port())));
    // It says hello first, with no byte in it, and again while the device
    // stays silent; commands go out at once.
    Bytes hello{0xFF};
    uint16_t linkPort = 0;
    ASSERT_TRUE(device.receive(hello, kDeadline, &linkPort));
    EXPECT_TRUE(hello.empty());
    auto nextCommandAfterHellos = [&](LoopbackDatagrams& at) {
        Bytes datagram;
        while (at.receive(datagram, kDeadline) && datagram.empty()) {
        }
        return commandIn(datagram);
    };
    ASSERT_NO_FATAL_FAILURE(command(1));
    EXPECT_EQ(1, nextCommandAfterHellos(device));

    // Another port's report comes first; only the device's is received.
    const uint32_t before = receivedBytes();
    other.sendTo(linkPort, report);
    device.sendTo(linkPort, report);
    ASSERT_TRUE(eventually([&] { return receivedBytes() - before >= report.size(); }, kDeadline));
    EXPECT_EQ(report.size(), receivedBytes() - before);
    const std::string ignored = "[UartSerial] WARNING datagram ignored: not from the peer";
    EXPECT_TRUE(eventually([&] { return out.text().find(ignored) != std::string::npos; }, kDeadline));
    // The other port never became the peer.
    ASSERT_NO_FATAL_FAILURE(command(2));
    EXPECT_EQ(2, nextCommandAfterHellos(device));
    EXPECT_EQ(-1, nextCommand(other, 0ms));
}

// A TCP client of a listening link, on loopback.
class StreamClient {
public:
    explicit StreamClient(uint16_t port) : fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        const sockaddr_in to = ORQSim::loopbackAddress(port);
        if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
            throw std::runtime_error("cannot connect");
        }
    }
    ~StreamClient() { close(); }
    void close() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
    void send(const Bytes& bytes) {
        if (::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(bytes.size())) {
            throw std::runtime_error("not sent");
        }
    }
    // What the next read returns within the timeout: bytes; empty for end of
    // file; false when nothing came.
    bool receive(Bytes& bytes, std::chrono::milliseconds timeout) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(timeout.count())) != 1) return false;
        uint8_t buffer[4096];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        bytes.assign(buffer, buffer + std::max<ssize_t>(n, 0));
        return n >= 0;
    }

private:
    int fd;
};

class TcpInLinkTest : public LinkClassTest {
protected:
    // The sequence number of the next command that reaches `at` (one frame
    // per read, as each is written alone); -1 when none came in time, -2 for
    // anything else.
    static int nextCommand(StreamClient& at, std::chrono::milliseconds timeout) {
        Bytes bytes;
        if (!at.receive(bytes, timeout)) return -1;
        return commandIn(bytes);
    }
};

TEST_F(TcpInLinkTest, ServesOneClientAtATimeAndTheNextWhenItGoes) {
    port = freeLoopbackPort(SOCK_STREAM);
    ASSERT_NO_FATAL_FAILURE(startOn("tcpin://127.0.0.1:" + std::to_string(port)));
    // No client: held for the hold time, then dropped and counted.
    ASSERT_NO_FATAL_FAILURE(command(1));
    EXPECT_TRUE(eventually([&] { return ms.statistics().staleDropped == 1; }, kDeadline));

    StreamClient first(port);
    ASSERT_TRUE(out.waitForLine("[UartSerial] client connected", kDeadline));
    const uint32_t before = receivedBytes();
    first.send(report);
    EXPECT_TRUE(eventually([&] { return receivedBytes() - before == report.size(); }, kDeadline));

    // A second client is closed at once, and the first one still served.
    StreamClient second(port);
    Bytes bytes{0xFF};
    EXPECT_TRUE(second.receive(bytes, kDeadline));
    EXPECT_TRUE(bytes.empty()) << "end of file for the second client";
    const std::string refused = "[UartSerial] WARNING client refused: another one is served";
    EXPECT_TRUE(eventually([&] { return out.text().find(refused) != std::string::npos; }, kDeadline));
    ASSERT_NO_FATAL_FAILURE(command(2));
    EXPECT_EQ(2, nextCommand(first, kDeadline));

    // The first goes: a command waits for the next client, which gets it.
    first.close();
    ASSERT_TRUE(out.waitForLine("[UartSerial] WARNING client gone", kDeadline));
    ASSERT_NO_FATAL_FAILURE(command(3));
    StreamClient third(port);
    EXPECT_EQ(3, nextCommand(third, kDeadline));
    EXPECT_EQ(1u, ms.statistics().staleDropped);
}

// --- A serial device that goes away -------------------------------------------------

// A simulator behind a fixed device path that can be unplugged and plugged in
// again (a new simulator each time, like a radio modem power-cycled).
class PluggedSim {
public:
    PluggedSim() { plug(); }
    ~PluggedSim() { unplug(); }
    void plug() {
        sim.reset(new ORQSim::Simulator());
        if (!sim->openPty() || !sim->addDevice(kBoard, ORQSim::SimDevice::FlightBoard) ||
            !sim->addDevice(kStation, ORQSim::SimDevice::GroundStation) || !sim->start() ||
            ::symlink(sim->path().c_str(), path().c_str()) != 0) {
            throw std::runtime_error("cannot plug the simulator in");
        }
    }
    void unplug() {
        ::unlink(path().c_str());
        sim.reset();
    }
    const std::string& path() const { return plugPoint.path(); }
    ORQSim::Simulator& device() { return *sim; }

private:
    SerialPlug plugPoint;  // only its private directory and path are used
    std::unique_ptr<ORQSim::Simulator> sim;
};

TEST_F(LinkTest, SetDuringABriefUnplugArrivesAfterTheReopen) {
    PluggedSim line;
    StdoutCapture out;
    ASSERT_NO_FATAL_FAILURE(startThenUnplug(line, out));
    ASSERT_EQ(ERROR_NO, lib.setData(kBoard, kGpsMode, 2, 0));
    std::this_thread::sleep_for(1s);  // the unplug lasts about a second
    line.plug();
    EXPECT_TRUE(line.device().waitForValue(kBoard, kGpsMode, 0, 2, kDeadline));
    EXPECT_EQ(0, read(kOwnID, kStaleDropped));
}

TEST_F(LinkTest, SetOlderThanTheHoldTimeNeverArrivesAndIsCounted) {
    PluggedSim line;
    StdoutCapture out;
    ASSERT_NO_FATAL_FAILURE(startThenUnplug(line, out));
    ASSERT_EQ(ERROR_NO, lib.setData(kBoard, kGpsMode, 1, 0));
    ASSERT_TRUE(eventually([&] { return read(kOwnID, kStaleDropped) >= 1; }, kDeadline));
    line.plug();
    ASSERT_TRUE(out.waitForLine("[UartSerial] WARNING reopen() OK", kDeadline));
    // A set made now arrives; the old one, queued before it, must not have.
    setRoundTrip(line.device(), 2);
    EXPECT_EQ(1u, line.device().setsReceived(kGpsModeSet));
}

TEST_F(LinkTest, ReopenWaitsDoubleUpToTwoSeconds) {
    SerialPlug plug;
    plug.plug();
    StdoutCapture out;
    ASSERT_EQ(0, lib.callInit(kOwnID, 0, plug.path().c_str()));
    plug.unplug();

    // When each failed attempt was seen; the polling adds a few ms at most,
    // and a busy machine only makes the gaps longer.
    std::vector<std::chrono::steady_clock::time_point> attempts;
    const std::size_t wanted = 9;
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (attempts.size() < wanted && std::chrono::steady_clock::now() < deadline) {
        if (out.count("[UartSerial] error while open") > attempts.size()) {
            attempts.push_back(std::chrono::steady_clock::now());
        }
        std::this_thread::sleep_for(2ms);
    }
    ASSERT_EQ(wanted, attempts.size());
    std::vector<long> gaps;
    for (std::size_t i = 1; i < attempts.size(); ++i) {
        gaps.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(attempts[i] - attempts[i - 1]).count());
    }
    // Each gap is a 100 ms settle plus the wait: 100, 200, 400, 800, 1600, then
    // 2000 ms. Waits that never grew would leave every gap near 200 ms; waits
    // that doubled past 2 s would make the last gaps 3300 and 6500 ms.
    EXPECT_GE(gaps[3], 850) << "the fourth wait is 800 ms";
    EXPECT_GE(gaps[4], 1650) << "the fifth wait is 1600 ms";
    EXPECT_GE(gaps[6], 2050) << "later waits are 2000 ms";
    EXPECT_LT(gaps[7], 3000) << "waits stop growing at 2000 ms";
}

// --- The monitor, a host of its own ---------------------------------------------------

// Runs orq-monitor for at most a second on the connection; its exit status
// goes to *status, its output is returned.
std::string runMonitor(const std::string& connection, int* status) {
    const std::string command = std::string(ORQ_BINARY_DIR) + "/tools/orq-monitor --duration 1 '" + connection + "'";
    FILE* monitor = ::popen(command.c_str(), "r");
    if (monitor == nullptr) {
        *status = -1;
        return "";
    }
    std::string text;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, monitor)) text += buffer;
    *status = ::pclose(monitor);
    return text;
}

TEST_F(LinkTest, MonitorHintsAtWhyTheLinkDidNotOpen) {
    const std::string refused = "tcp://127.0.0.1:" + std::to_string(freeLoopbackPort(SOCK_STREAM));
    ORQSim::Simulator server;
    ASSERT_TRUE(server.listenTcp(0));
    const std::string taken = "127.0.0.1:" + std::to_string(server.port());
    const struct {
        std::string connection;
        std::string hint;
    } table[] = {
        {"/nonexistent/orq/ttyUSB0", "orq-monitor: no such device: /nonexistent/orq/ttyUSB0; serial devices present: "},
        {"/dev/null", "orq-monitor: /dev/null is not a terminal, so not a serial device"},
        {refused, "orq-monitor: connection refused: nothing listens on 127.0.0.1:" + refused.substr(16)},
        {"tcp:" + refused.substr(6), "orq-monitor: did you mean `" + refused + "`?"},
        {"/nonexistent/orq/ttyUSB0,115200", "orq-monitor: did you mean `serial:///nonexistent/orq/ttyUSB0:115200`?"},
        {"tcpin://" + taken, "orq-monitor: address in use: another program listens on " + taken},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.connection);
        int status = 0;
        const std::string text = runMonitor(row.connection, &status);
        EXPECT_NE(0, status);
        EXPECT_NE(std::string::npos, text.find(row.hint)) << text;
    }
}

TEST_F(LinkTest, TextInAnotherToolsWayFailsWithOneMoreLineNamingTheTextMeant) {
    // The lines of the same failure on a path that suggests nothing, with
    // that path replaced by the text.
    auto failureLines = [&](const std::string& text, const std::string& plain) {
        StdoutCapture out;
        EXPECT_EQ(-68, lib.callInit(kOwnID, 0, plain.c_str()));
        Lines lines = out.lines();
        for (std::string& line : lines) {
            const std::size_t at = line.find(plain);
            if (at != std::string::npos) line.replace(at, plain.size(), text);
        }
        return lines;
    };
    const struct {
        std::string text;
        std::string plain;
        std::string meant;
    } table[] = {
        {"tcp:127.0.0.1:5760", "/nonexistent-orq/tcp", "tcp://127.0.0.1:5760"},
        {"/nonexistent-orq/ttyUSB0:57600", "/nonexistent-orq/ttyUSB0", "serial:///nonexistent-orq/ttyUSB0:57600"},
        {"udp://0.0.0.0:14550", "ftp://0.0.0.0:14550", "udpin://0.0.0.0:14550"},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.text);
        Lines expected = failureLines(row.text, row.plain);
        expected.push_back("[DLL] did you mean `" + row.meant + "`?");
        StdoutCapture out;
        EXPECT_EQ(-68, lib.callInit(kOwnID, 0, row.text.c_str()));
        EXPECT_EQ(expected, out.lines());
    }
}

TEST_F(LinkTest, DeviceWhoseNameLooksLikeAnotherToolsTextStillOpens) {
    Far far(Kind::Serial);
    ASSERT_TRUE(far.ok);
    char dir[] = "/tmp/orq-habitXXXXXX";
    ASSERT_NE(nullptr, ::mkdtemp(dir));
    const std::string path = std::string(dir) + "/tcp:127.0.0.1:57600";
    ASSERT_EQ(0, ::symlink(far.sim.path().c_str(), path.c_str()));
    StdoutCapture out;
    EXPECT_EQ(0, lib.callInit(kOwnID, 0, path.c_str()));
    EXPECT_TRUE(bothTyped());
    EXPECT_EQ(std::string::npos, out.text().find("did you mean"));
    lib.deinit();
    ::unlink(path.c_str());
    ::rmdir(dir);
}

TEST_F(LinkTest, SecondHostOnTheSameSerialDeviceIsRefused) {
    Far far(Kind::Serial);
    ASSERT_TRUE(far.ok);
    StdoutCapture out;
    ASSERT_EQ(0, lib.callInit(kOwnID, 0, far.sim.path().c_str()));
    int status = 0;
    const std::string text = runMonitor(far.sim.path(), &status);
    EXPECT_NE(0, status);
    EXPECT_NE(std::string::npos, text.find("[UartSerial] reason: the device is in use by another program")) << text;
    EXPECT_NE(std::string::npos, text.find("orq-monitor: " + far.sim.path() + " is in use by another program")) << text;
    // The first host still has the device.
    ASSERT_TRUE(bothTyped());
    setRoundTrip(far.sim, 2);
}

// --- Writers of one serial link ---------------------------------------------

// Several threads queue commands on one serial link while the far end reads
// in small bites with pauses, so the line keeps filling: the queuing threads
// write frames themselves while the line takes them, the I/O thread writes
// what it does not take at once, and the queue refuses while it is full.
// Every frame must arrive whole, and each thread's in the order it queued them.
TEST(LinkWriters, FramesOfSeveralQueuingThreadsArriveWholeAndInEachThreadsOrder) {
    const int threads = 4;
    const int each = 1500;
    StdoutCapture out;
    Pty device;
    ORQ::MessageSystem ms;
    ORQ::MessageManager mm;
    ORQ::UartSerial link(device.slavePath().c_str());
    ORQ::Pump pump(link, ms, mm, ORQ::Pump::Clock::none);
    pump.start();
    ASSERT_EQ(1, link.getIsOpen());

    const auto deadline = std::chrono::steady_clock::now() + kDeadline;
    std::vector<std::thread> setters;
    for (int t = 0; t < threads; ++t) {
        setters.emplace_back([&ms, t, deadline] {
            for (int seq = 0; seq < each; ++seq) {
                // Never merged with another: every one must arrive.
                ORQ::Message m = ORQ::test::makeMessage(40, 1, 2, static_cast<uint8_t>(t),
                                                        {static_cast<uint8_t>(t), static_cast<uint8_t>(seq),
                                                         static_cast<uint8_t>(seq >> 8)},
                                                        0, 0, false);
                while (!ms.send(&m)) {
                    if (std::chrono::steady_clock::now() > deadline) return;  // the far end says what is missing
                    std::this_thread::sleep_for(std::chrono::microseconds(200));  // queue full
                }
            }
        });
    }

    // The far end: frames cut at their end bytes as they arrive.
    std::vector<int> next(threads, 0);
    int frames = 0;
    std::string fault;
    Bytes pending;
    while (frames < threads * each && fault.empty() && std::chrono::steady_clock::now() < deadline) {
        pollfd p{device.masterFd(), POLLIN, 0};
        ::poll(&p, 1, 50);
        uint8_t bite[300];
        const ssize_t n = ::read(device.masterFd(), bite, sizeof bite);
        for (ssize_t i = 0; i < n; ++i) {
            pending.push_back(bite[i]);
            if (bite[i] != 0xFC) continue;
            Bytes layout;
            // magic, type, sender, receiver, size, priority, ttl, unique, channel, payload (3), check
            if (!unframe(pending, layout) || layout.size() != 13 || layout[9] >= threads) {
                fault = "frame " + std::to_string(frames) + " is not one whole frame of a setter";
                break;
            }
            const int t = layout[9];
            const int seq = layout[10] | layout[11] << 8;
            if (seq != next[t]) {
                fault = "setter " + std::to_string(t) + ": " + std::to_string(seq) + " arrived where " +
                        std::to_string(next[t]) + " was due";
                break;
            }
            ++next[t];
            ++frames;
            pending.clear();
        }
        std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
    for (std::thread& s : setters) s.join();
    pump.stop();
    EXPECT_EQ("", fault);
    EXPECT_EQ(threads * each, frames);
    EXPECT_EQ(0u, out.count("[UartSerial] ERROR in workerSend()"));
}

// --- Time limits of one serial link ---------------------------------------------

// The link's classes on a pseudo-terminal behind a device path that can be
// unplugged: the time limits of the link bounded from both sides. Lower
// bounds hold on any machine (a timer never fires early); upper bounds leave
// room for a loaded machine and sanitizers, yet stay below what a stretched
// limit gives.
class LinkTiming : public ::testing::Test {
protected:
    using Clock = std::chrono::steady_clock;

    LinkTiming() : link(plug.path().c_str()), pump(link, ms, mm, ORQ::Pump::Clock::none) {}

    void start() {
        plug.plug();
        pump.start();
        ASSERT_EQ(1, link.getIsOpen());
    }
    // Unplugs the device and waits until the link has seen it go.
    void unplugAndWaitForTheReopen() {
        const std::size_t reopens = out.count("[UartSerial] WARNING reopen()");
        plug.unplug();
        ASSERT_TRUE(out.waitForLine("[UartSerial] WARNING reopen()", kDeadline, reopens + 1));
        ASSERT_EQ(0, link.getIsOpen());
    }
    // A set no other set merges with: every one goes out.
    static ORQ::Message set(uint8_t type, uint8_t channel, std::size_t payloadSize = 1) {
        return makeMessage(type, kOwnID, kBoard, channel, Bytes(payloadSize, channel), 0, 0, false);
    }
    // When a line is first seen more than `seen` times, polled every 2 ms.
    Clock::time_point whenLineCountPasses(const std::string& line, std::size_t seen) {
        const auto deadline = Clock::now() + kDeadline;
        while (out.count(line) <= seen && Clock::now() < deadline) std::this_thread::sleep_for(2ms);
        return Clock::now();
    }
    static long msBetween(Clock::time_point from, Clock::time_point to) {
        return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count());
    }

    StdoutCapture out;
    SerialPlug plug;
    ORQ::MessageSystem ms;
    ORQ::MessageManager mm;
    ORQ::UartSerial link;
    ORQ::Pump pump;
};

TEST_F(LinkTiming, ASetQueuedWhileTheLinkIsDownIsDroppedAtTheHoldTimeAndNotBefore) {
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_NO_FATAL_FAILURE(unplugAndWaitForTheReopen());
    ORQ::Message m = set(kGpsModeSet, 0);
    const auto before = Clock::now();
    ASSERT_TRUE(ms.send(&m));
    const auto queued = Clock::now();
    const auto deadline = queued + kDeadline;
    while (ms.statistics().staleDropped == 0 && Clock::now() < deadline) std::this_thread::sleep_for(2ms);
    const auto dropped = Clock::now();
    ASSERT_EQ(1u, ms.statistics().staleDropped);
    EXPECT_EQ(0, ms.getMessageQueue()->getElementCount());
    // Held 2000 ms, looked at every 50 ms.
    EXPECT_GE(msBetween(before, dropped), 1800) << "dropped before the hold time";
    EXPECT_LE(msBetween(queued, dropped), 2300) << "held beyond the hold time";
}

TEST_F(LinkTiming, ASecondOutageIsRetriedAtTheFirstWaitsAgain) {
    const std::string failed = "[UartSerial] error while open";
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_NO_FATAL_FAILURE(unplugAndWaitForTheReopen());
    // Five failed attempts: the wait has grown to 1600 ms, the next to 2000.
    ASSERT_TRUE(out.waitForLine(failed, kDeadline, 5));
    plug.plug();
    ASSERT_TRUE(out.waitForLine("[UartSerial] WARNING reopen() OK", kDeadline));

    const std::size_t before = out.count(failed);
    const auto unplugged = Clock::now();
    plug.unplug();
    const auto second = whenLineCountPasses(failed, before + 1);
    const auto third = whenLineCountPasses(failed, before + 2);
    // Settle 100 ms, fail, wait 100, settle 100, fail, wait 200, settle 100,
    // fail: 300 and 600 ms. Waits carried over from the first outage would
    // put the second attempt 2100 ms after the first.
    EXPECT_GE(msBetween(unplugged, second), 300);
    EXPECT_LE(msBetween(unplugged, second), 1500) << "the wait was not reset by the reconnect";
    EXPECT_GE(msBetween(unplugged, third), 600);
    EXPECT_LE(msBetween(unplugged, third), 1800) << "the wait was not reset by the reconnect";
}

// Stops the link with sets queued behind frames the far end has not read
// yet: a far end that reads on gets every one, a far end that reads nothing
// holds deinit for the delivery limit (200 ms) and no longer.
class LinkTimingStop : public LinkTiming, public ::testing::WithParamInterface<bool> {};

TEST_P(LinkTimingStop, DeliversQueuedSetsToAReaderAndWaitsNoLongerThanItsLimit) {
    const bool reads = GetParam();
    ASSERT_NO_FATAL_FAILURE(start());
    Pty& device = plug.device();
    // Long frames until the line takes no more: the queue then stops
    // shrinking (a line with room empties it within microseconds).
    ORQ::MessageQueue& queue = *ms.getMessageQueue();
    const auto deadline = Clock::now() + kDeadline;
    uint8_t filled = 0;
    do {
        while (queue.getElementCount() < 10 && Clock::now() < deadline) {
            ORQ::Message filler = set(40, filled++, 50);
            ASSERT_TRUE(ms.send(&filler));
        }
        std::this_thread::sleep_for(200ms);
    } while (queue.getElementCount() < 10 && Clock::now() < deadline);
    ASSERT_GE(queue.getElementCount(), 10);
    std::vector<Bytes> sets;
    for (uint8_t channel = 0; channel < 30; ++channel) {
        ORQ::Message m = set(41, channel);
        sets.push_back(frameLayout(layoutOf(m)));
        ASSERT_TRUE(ms.send(&m));
    }
    std::thread reader;
    if (reads) reader = std::thread([&] { device.waitForSequence(sets.back(), kDeadline); });
    const auto stopping = Clock::now();
    pump.stop();
    const long took = msBetween(stopping, Clock::now());
    if (reads) {
        reader.join();
        // Every set, in the order queued.
        const Bytes& received = device.received();
        auto at = received.begin();
        for (std::size_t i = 0; i < sets.size(); ++i) {
            at = std::search(at, received.end(), sets[i].begin(), sets[i].end());
            ASSERT_TRUE(at != received.end()) << "set " << i << " never arrived";
        }
    } else {
        EXPECT_GE(took, 190) << "deinit did not wait for the far end";
    }
    EXPECT_LE(took, 600) << "deinit waited beyond its delivery limit";
}

INSTANTIATE_TEST_SUITE_P(FarEnd, LinkTimingStop, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& p) { return p.param ? "Reads" : "Stalled"; });

// A manager observer that holds the I/O thread in its routing until released.
class BusyRouting : public ORQ::MessageDebugger {
public:
    void procMessage(ORQ::Message*, ORQ::MessageSystem*) override {
        std::unique_lock<std::mutex> lock(mutex);
        entered = true;
        changed.notify_all();
        changed.wait_for(lock, kDeadline, [this] { return released; });
    }
    bool waitUntilEntered() {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, kDeadline, [this] { return entered; });
    }
    void release() {
        std::lock_guard<std::mutex> lock(mutex);
        released = true;
        changed.notify_all();
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    bool entered = false;
    bool released = false;
};

TEST_F(LinkTiming, TheQueuingThreadWritesItsFrameWhileTheIOThreadIsBusy) {
    BusyRouting routing;
    mm.setMessageDebugger(&routing);
    ASSERT_NO_FATAL_FAILURE(start());
    // A report from the device keeps the I/O thread in its routing.
    ORQ::Message report = makeMessage(kType, kBoard, kOwnID, 0, {1});
    plug.device().write(frameLayout(layoutOf(report)));
    const bool busy = routing.waitUntilEntered();

    ORQ::Message m = set(kGpsModeSet, 0);
    const Bytes frame = frameLayout(layoutOf(m));
    const bool queued = ms.send(&m);
    const bool written = plug.device().waitForSequence(frame, 5s);
    // The observer must outlive the I/O thread, whatever failed.
    routing.release();
    pump.stop();
    mm.setMessageDebugger(nullptr);
    ASSERT_TRUE(busy);
    ASSERT_TRUE(queued);
    EXPECT_TRUE(written) << "the frame waited for the I/O thread";
}

}  // namespace
