// orq-server against a hostile web page and hostile local processes: the
// Host and Origin a request may name, message framing that could smuggle a
// second request, repeated JSON keys, where the token may travel, and idle
// connections that would hold every slot.
#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>

#include <memory>
#include <thread>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>

#include "HttpClient.h"
#include "ProcessProbe.h"
#include "ServerRig.h"

using nlohmann::json;
using ORQ::test::HttpClient;
using ORQ::test::ServerRig;
using tcp = boost::asio::ip::tcp;

namespace {

const std::chrono::seconds deadline(20);
const std::string token = "test-token-0123456789abcdef";

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) text.replace(at, from.size(), to);
    return text;
}

struct HostCase {
    std::string host;     // "-": no Host field; PORT is the server's port
    std::string origin;   // empty: no Origin field
    int status;
};

// Every API route and the stream go through the same guard; a read shows
// its verdict, the set and the upgrade below show they share it.
TEST(ServerGuard, OnlyLoopbackHostsAndTheirOwnOriginReachTheApi) {
    ServerRig rig;
    const HttpClient c = rig.client();
    const HostCase table[] = {
        {"127.0.0.1:PORT", "", 200},
        {"127.0.0.1:PORT", "http://127.0.0.1:PORT", 200},
        {"127.254.3.9:PORT", "", 200},
        {"localhost:PORT", "http://localhost:PORT", 200},
        {"localhost", "http://localhost", 200},
        {"LOCALHOST:PORT", "", 200},
        {"LocalHost:PORT", "http://localhost:PORT", 200},
        {"[::1]:PORT", "http://[::1]:PORT", 200},
        {"[::1]", "", 200},
        {"127.0.0.1:1", "", 200},
        {"127.0.0.1:65535", "", 200},
        // Names a foreign site can point at 127.0.0.1 (DNS rebinding).
        {"127.0.0.1.nip.io:PORT", "http://127.0.0.1.nip.io:PORT", 403},
        {"127.0.0.1.nip.io", "", 403},
        {"localhost.evil.com:PORT", "", 403},
        {"127.0.0.1:80@evil", "", 403},
        {"[::1]evil:PORT", "", 403},
        {"evil.example", "", 403},
        // Addresses a lenient parser would take for 127.0.0.1.
        {"127.1:PORT", "", 403},
        {"127.0.0.1.:PORT", "", 403},
        {"0127.0.0.1:PORT", "", 403},
        {"127.0.0.01:PORT", "", 403},
        {"127.0.0.256:PORT", "", 403},
        {"0x7f.0.0.1:PORT", "", 403},
        {"10.0.0.1:PORT", "", 403},
        {"[::2]:PORT", "", 403},
        {"[0:0:0:0:0:0:0:1]:PORT", "", 403},
        {"::1", "", 403},
        // Ports: decimal, 1 to 65535, no sign, no leading zero.
        {"127.0.0.1:", "", 403},
        {"127.0.0.1:0", "", 403},
        {"127.0.0.1:65536", "", 403},
        {"127.0.0.1:+80", "", 403},
        {"127.0.0.1:080", "", 403},
        {"127.0.0.1:80:80", "", 403},
        {"", "", 403},
        {"-", "", 403},
        // Origin: absent, or http:// and the Host itself, nothing more.
        {"localhost:PORT", "https://localhost:PORT", 403},
        {"localhost:PORT", "null", 403},
        {"localhost:PORT", "", 200},
        {"localhost:PORT", "http://localhost:PORT/", 403},
        {"localhost:PORT", "http://localhost:PORT/api", 403},
        {"localhost:PORT", "http://127.0.0.1:PORT", 403},
        {"localhost:PORT", "http://localhost", 403},
        {"localhost:PORT", "http://localhost.evil.com:PORT", 403},
        {"127.0.0.1:PORT", "http://user@127.0.0.1:PORT", 403},
    };
    const std::string port = std::to_string(rig.port());
    for (const HostCase& h : table) {
        const std::string host = replaced(h.host, "PORT", port);
        const std::string origin = replaced(h.origin, "PORT", port);
        SCOPED_TRACE("Host: " + host + "  Origin: " + origin);
        std::string request = "GET /api/link HTTP/1.1\r\n";
        if (h.host != "-") request += "Host: " + host + "\r\n";
        if (!h.origin.empty()) request += "Origin: " + origin + "\r\n";
        const HttpClient::Reply r = c.raw(request + "Connection: close\r\n\r\n");
        EXPECT_EQ(h.status, r.status) << r.body;
    }

    const std::string rebound = "Host: 127.0.0.1.nip.io:" + port + "\r\nOrigin: http://127.0.0.1.nip.io:" + port + "\r\n";
    const std::string set = "{\"value\": 2}";
    EXPECT_EQ(403, c.raw("PUT /api/nodes/5/32 HTTP/1.1\r\n" + rebound + "Content-Length: " + std::to_string(set.size()) +
                         "\r\nConnection: close\r\n\r\n" + set)
                       .status);
    EXPECT_EQ(403, c.raw(replaced(c.upgradeRequest("/api/stream"), "Host: " + c.host() + "\r\n", rebound)).status);
    // A second Host field is not looked past.
    EXPECT_EQ(403, c.raw("GET /api/link HTTP/1.1\r\nHost: " + c.host() + "\r\nHost: evil.example\r\n\r\n").status);
}

struct Framing {
    const char* name;
    std::string headers;   // between the Host field and the blank line
    int status;            // of the one answer
};

// A body whose length the server and a proxy in front of it could read
// differently must not be read at all: a second request could hide in it.
TEST(ServerGuard, AnythingButALoneChunkedTransferEncodingIsRefusedAndTheConnectionClosed) {
    ServerRig rig;
    const HttpClient c = rig.client();
    const std::string set = "{\"value\": 2}";
    const std::string chunked = "c\r\n" + set + "\r\n0\r\n\r\n";
    const std::string smuggled = "PUT /api/nodes/5/32 HTTP/1.1\r\nHost: " + c.host() + "\r\nContent-Length: " +
                                 std::to_string(set.size()) + "\r\n\r\n" + set;
    const std::string length = "Content-Length: " + std::to_string(chunked.size()) + "\r\n";
    const Framing table[] = {
        {"chunked, identity", "Transfer-Encoding: chunked, identity\r\n", 400},
        {"identity", "Transfer-Encoding: identity\r\n", 400},
        {"gzip, chunked", "Transfer-Encoding: gzip, chunked\r\n", 400},
        {"chunked twice in one field", "Transfer-Encoding: chunked, chunked\r\n", 400},
        {"chunked in two fields", "Transfer-Encoding: chunked\r\nTransfer-Encoding: chunked\r\n", 400},
        {"empty", "Transfer-Encoding: \r\n", 400},
        {"chunked and a length", "Transfer-Encoding: chunked\r\n" + length, 400},
        {"a length and chunked", length + "Transfer-Encoding: chunked\r\n", 400},
    };
    for (const Framing& f : table) {
        SCOPED_TRACE(f.name);
        const HttpClient::Transcript t = c.converse("PUT /api/nodes/5/32 HTTP/1.1\r\nHost: " + c.host() + "\r\n" +
                                                    f.headers + "\r\n" + chunked + smuggled);
        EXPECT_EQ(std::vector<int>{f.status}, t.statuses()) << t.received;
        EXPECT_TRUE(t.closed);
    }
    // A lone chunked, in any case and with spaces around it, is read as usual.
    for (const char* te : {"chunked", "Chunked", "  CHUNKED  "}) {
        SCOPED_TRACE(te);
        const HttpClient::Transcript t = c.converse("PUT /api/nodes/5/32 HTTP/1.1\r\nHost: " + c.host() +
                                                    "\r\nConnection: close\r\nTransfer-Encoding:" + std::string(te) + "\r\n\r\n" +
                                                    chunked);
        EXPECT_EQ(std::vector<int>{200}, t.statuses()) << t.received;
    }
}

struct BodyCase {
    std::string body;
    std::string error;
};

TEST(ServerGuard, ARepeatedKeyAnywhereInTheBodyIsRefused) {
    ServerRig rig;
    const HttpClient c = rig.client();
    const std::string repeated = "the body repeats a key";
    const std::string notInteger = "value must be an integer of 32 bits";
    const BodyCase table[] = {
        {R"({"value": 9, "value": 2})", repeated},
        {R"({"value":2,"value" :2})", repeated},
        {R"({"value": 2, "\u0076alue": 2})", repeated},
        {R"({"value": [{"a": 1, "b": {"c": 1, "c": 1}}]})", repeated},
        // The same key in two objects is no repetition.
        {R"({"value": [{"a": 1}, {"a": 1}]})", notInteger},
    };
    for (const BodyCase& b : table) {
        SCOPED_TRACE(b.body);
        const HttpClient::Reply r = c.put("/api/nodes/5/32", b.body);
        EXPECT_EQ(400, r.status);
        EXPECT_EQ(b.error, r.json().value("error", "")) << r.body;
    }
}

TEST(ServerGuard, TheTokenTravelsAsASubprotocolOnlyOnAnUpgradeWhichThenNamesIt) {
    ServerRig rig({"--token", token});
    const HttpClient c = rig.client();
    const std::string offer = "bearer." + token;
    EXPECT_EQ(401, c.put("/api/nodes/5/32", R"({"value": 1})", {{"Sec-WebSocket-Protocol", offer}}).status);

    HttpClient::Reply alone = c.raw(c.upgradeRequest("/api/stream", "Sec-WebSocket-Protocol: " + offer + "\r\n"));
    EXPECT_EQ(101, alone.status);
    EXPECT_EQ(offer, alone.headers["Sec-WebSocket-Protocol"]);
    HttpClient::Reply header =
        c.raw(c.upgradeRequest("/api/stream", "Authorization: Bearer " + token + "\r\n"));
    EXPECT_EQ(101, header.status);
    EXPECT_EQ(0u, header.headers.count("Sec-WebSocket-Protocol"));
    EXPECT_EQ(401, c.raw(c.upgradeRequest("/api/stream", "Sec-WebSocket-Protocol: bearer.wrong-0123456789abcdef\r\n"))
                       .status);
}

// The status of the answer the server sends on s; 0 when none came in time.
int statusOn(tcp::socket& s, std::chrono::milliseconds timeout) {
    std::string got;
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (got.size() < 12 && std::chrono::steady_clock::now() < end) {
        pollfd p{s.native_handle(), POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) continue;
        char buf[256];
        const ssize_t n = recv(s.native_handle(), buf, sizeof buf, 0);
        if (n <= 0) break;
        got.append(buf, static_cast<size_t>(n));
    }
    return got.size() >= 12 && got.compare(0, 9, "HTTP/1.1 ") == 0 ? std::atoi(got.c_str() + 9) : 0;
}

bool closedByServer(tcp::socket& s) {
    char buf[256];
    const ssize_t n = recv(s.native_handle(), buf, sizeof buf, MSG_DONTWAIT);
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
}

// 64 connections: the older half trickle a request in, the younger half
// send nothing. Once those have been silent for 2 s, a new client finds
// room; the trickling ones keep theirs.
TEST(ServerGuard, AtTheConnectionLimitAConnectionSilentFor2sMakesRoomAndAnActiveOneDoesNot) {
    ServerRig rig({"--timeout", "30"});   // idle connections outlive the wait
    const std::string host = rig.client().host();
    boost::asio::io_context io;
    std::vector<std::unique_ptr<tcp::socket>> active, idle;
    for (int i = 0; i < 64; ++i) {
        auto& group = i < 32 ? active : idle;
        group.emplace_back(new tcp::socket(io));
        group.back()->connect({boost::asio::ip::address_v4::loopback(), rig.port()});
    }
    const auto trickle = [&](const std::string& bytes) {
        for (auto& s : active) boost::asio::write(*s, boost::asio::buffer(bytes));
    };
    trickle("GET /api/link HTTP/1.1\r\nHost: " + host + "\r\nX-Pad: ");
    // Nobody has been silent for long: the limit holds.
    EXPECT_EQ(503, rig.client().get("/api/nodes").status);

    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(2500)) {
        trickle("a");
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    trickle("a");
    EXPECT_EQ(200, rig.client().get("/api/nodes").status);
    EXPECT_TRUE(ORQ::test::eventually(
        [&] {
            int closed = 0;
            for (auto& s : idle) closed += closedByServer(*s);
            return closed >= 1;
        },
        deadline));
    trickle("\r\n\r\n");
    for (auto& s : active) EXPECT_EQ(200, statusOn(*s, deadline));
}

}  // namespace
