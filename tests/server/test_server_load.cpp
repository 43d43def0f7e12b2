// orq-server under load, in one process with the library it serves, so that
// the link's receive latency can be taken as in the benchmarks: the test
// plays the devices on a pseudo-terminal (a flight board and a ground station
// reporting 200 times a second, and a marker board), writes a marker report
// and waits for getData to see it. First with the server idle, then while 32
// stream clients at 50 Hz and 200 requests/s (a quarter of them sets) run
// against it for 30 s (ORQ_LOAD_SECONDS). Every set must reach the device in
// order; the latencies are printed beside each other (speed is not asserted;
// see docs/performance.md).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <map>
#include <random>
#include <thread>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

#include <poll.h>
#include <unistd.h>

#include <mutex>

#include "Dll.h"
#include "Pty.h"
#include "Server.h"
#include "SimCodec.h"
#include "Vehicle.h"

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
namespace websocket = beast::websocket;
using Clock = std::chrono::steady_clock;

namespace {

const int ownID = 1;
const uint8_t board = 5, station = 6;
const uint8_t markerBoard = 7;   // reports only what the test writes
const int idAccX = 3, idType = 30, idPwm = 54;
const int streamClients = 32;
const int streamHz = 50;
const int requestsPerSecond = 200;
const int maxInFlight = 64;

std::chrono::seconds loadDuration() {
    const char* s = std::getenv("ORQ_LOAD_SECONDS");
    return std::chrono::seconds(s != nullptr ? std::max(1, std::atoi(s)) : 30);
}

template <typename F>
bool eventually(F condition, std::chrono::seconds limit = std::chrono::seconds(20)) {
    const auto end = Clock::now() + limit;
    while (!condition()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::vector<uint8_t> frame(uint8_t dataType, uint8_t sender, const std::vector<uint8_t>& payload) {
    ORQSim::SimMessage m;
    m.dataType = dataType;
    m.sender = sender;
    m.receiver = ownID;
    m.size = static_cast<uint8_t>(payload.size());
    std::copy(payload.begin(), payload.end(), m.payload);
    uint8_t out[ORQSim::SimCodec::maxFrame];
    const size_t n = ORQSim::SimCodec::encodeFrame(m, out, sizeof out);
    return std::vector<uint8_t>(out, out + n);
}

std::vector<uint8_t> accReport(uint8_t sender, int16_t x, int16_t y = 0) {
    const uint16_t u = static_cast<uint16_t>(x), w = static_cast<uint16_t>(y);
    return frame(6, sender,
                 {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8), static_cast<uint8_t>(w),
                  static_cast<uint8_t>(w >> 8), 0xE8, 0x03});
}

// The devices' end of the line: the boards' reports from a thread of its
// own, marker reports from the test's thread (one lock keeps frames whole),
// and every frame the library sends, decoded, with the PWM sets kept.
class Devices {
public:
    static const uint8_t pwmSetType = 59;

    Devices() : running(true), worker([this] { loop(); }) {}
    ~Devices() {
        running = false;
        worker.join();
    }
    const std::string& path() const { return pty.slavePath(); }

    void write(const std::vector<uint8_t>& bytes) {
        std::lock_guard<std::mutex> g(writeLock);
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(pty.masterFd(), bytes.data() + done, bytes.size() - done);
            if (n > 0) done += static_cast<size_t>(n);
        }
    }
    // PWM values the board received, per channel, in arrival order.
    std::map<int, std::vector<int>> pwmSets() const {
        std::lock_guard<std::mutex> g(setLock);
        return pwm;
    }

private:
    void loop() {
        ORQSim::SimCodec decoder;
        auto next = Clock::now();
        int16_t t = 0;
        while (running) {
            if (Clock::now() >= next) {
                ++t;
                write(accReport(board, static_cast<int16_t>(t % 500), static_cast<int16_t>(-t % 300)));
                write(accReport(station, static_cast<int16_t>(t % 200), static_cast<int16_t>(t % 100)));
                next += std::chrono::milliseconds(5);
            }
            pollfd p{pty.masterFd(), POLLIN, 0};
            if (poll(&p, 1, 1) <= 0) continue;
            uint8_t chunk[512];
            const ssize_t n = read(pty.masterFd(), chunk, sizeof chunk);
            for (ssize_t i = 0; i < n; ++i) {
                ORQSim::SimMessage m;
                if (decoder.push(chunk[i], m) && m.dataType == pwmSetType && m.receiver == board && m.size == 2) {
                    std::lock_guard<std::mutex> g(setLock);
                    pwm[m.channel].push_back(m.payload[0] | (m.payload[1] << 8));
                }
            }
        }
    }

    ORQ::test::Pty pty;
    std::mutex writeLock;
    mutable std::mutex setLock;
    std::map<int, std::vector<int>> pwm;
    std::atomic<bool> running;
    std::thread worker;
};

struct Latency {
    std::vector<double> us;
    int lost = 0;
    double percentile(double p) const {
        if (us.empty()) return 0;
        std::vector<double> s = us;
        std::sort(s.begin(), s.end());
        return s[std::min(s.size() - 1, static_cast<size_t>(p * static_cast<double>(s.size())))];
    }
};

// Marker reports of the marker board, one every few milliseconds until
// `until`: from the write to getData seeing the value.
Latency measureLatency(Devices& line, Clock::time_point until, int16_t& next) {
    Latency out;
    std::mt19937 rng(11);
    while (Clock::now() < until) {
        next = static_cast<int16_t>(next % 30000 + 1);
        const std::vector<uint8_t> f = accReport(markerBoard, next);
        const auto t0 = Clock::now();
        line.write(f);
        bool seen = false;
        while (!seen && Clock::now() - t0 < std::chrono::seconds(5)) {
            int v = 0;
            seen = getData(markerBoard, idAccX, &v, 0) == ERROR_NO && v == next;
        }
        if (seen) {
            out.us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        } else {
            ++out.lost;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(5000 + rng() % 5000));
    }
    return out;
}

// 32 stream clients and the request mix, on one I/O thread of the test's own.
class Load {
public:
    explicit Load(unsigned short p) : port(p), tick(io) {}

    void run(Clock::time_point until) {
        end = until;
        tick.expires_at(Clock::now());
        for (int i = 0; i < streamClients; ++i) openStream();
        schedule();
        io.run();
    }

    std::atomic<long> streamMessages{0}, streamSnapshots{0}, streamDeltas{0}, streamSets{0}, streamsOpen{0},
        streamFailures{0};
    std::atomic<long> requests{0}, answered{0}, failed{0}, skipped{0}, sets{0}, setsRefused{0};
    std::map<int, int> lastSet;   // PWM index -> value of the last set answered 200 (after run())

private:
    using Ws = websocket::stream<beast::tcp_stream>;

    net::ip::tcp::endpoint at() const { return {net::ip::address_v4::loopback(), port}; }

    void openStream() {
        auto ws = std::make_shared<Ws>(io);
        auto buffer = std::make_shared<beast::flat_buffer>();
        beast::get_lowest_layer(*ws).async_connect(at(), [this, ws, buffer](beast::error_code ec) {
            if (ec) return void(++streamFailures);
            ws->async_handshake("127.0.0.1:" + std::to_string(port), "/api/stream?hz=" + std::to_string(streamHz),
                                [this, ws, buffer](beast::error_code e) {
                                    if (e) return void(++streamFailures);
                                    ++streamsOpen;
                                    readStream(ws, buffer, true);
                                });
        });
    }

    void readStream(std::shared_ptr<Ws> ws, std::shared_ptr<beast::flat_buffer> buffer, bool first) {
        ws->async_read(*buffer, [this, ws, buffer, first](beast::error_code ec, std::size_t) {
            if (ec) return;
            ++streamMessages;
            const std::string text = beast::buffers_to_string(buffer->data());
            if (!first && text.compare(0, 20, "{\"kind\":\"snapshot\"") == 0) ++streamSnapshots;
            if (text.rfind("{\"kind\":\"delta\"", 0) == 0) ++streamDeltas;
            if (text.rfind("{\"kind\":\"sets\"", 0) == 0) ++streamSets;
            buffer->consume(buffer->size());
            if (Clock::now() >= end) {
                ws->async_close(websocket::close_code::normal, [ws](beast::error_code) {});
                return;
            }
            readStream(ws, buffer, false);
        });
    }

    void schedule() {
        // From the last due time, so that a late tick does not lower the rate.
        tick.expires_at(tick.expiry() + std::chrono::microseconds(1000000 / requestsPerSecond));
        tick.async_wait([this](beast::error_code ec) {
            if (ec || Clock::now() >= end) return;
            request();
            schedule();
        });
    }

    void request() {
        if (inFlight >= maxInFlight) return void(++skipped);
        const long n = requests++;
        // A quarter are sets, one at a time so that their order is known.
        const bool set = n % 4 == 3 && !setInFlight;
        static const char* reads[] = {"/api/nodes", "/api/nodes/5", "/api/link"};
        auto req = std::make_shared<http::request<http::string_body>>(set ? http::verb::put : http::verb::get,
                                                                        set ? "" : reads[n % 3], 11);
        int index = 0, value = 0;
        if (set) {
            index = static_cast<int>(n / 4 % 4);
            value = 1000 + static_cast<int>(n % 60000);
            req->target("/api/nodes/5/" + std::to_string(idPwm) + "/" + std::to_string(index));
            req->body() = "{\"value\": " + std::to_string(value) + "}";
            setInFlight = true;
            ++sets;
        }
        req->set(http::field::host, "127.0.0.1:" + std::to_string(port));
        req->keep_alive(false);
        req->prepare_payload();
        ++inFlight;
        // One request's state, held by every handler of its chain.
        struct Exchange {
            explicit Exchange(net::io_context& io) : stream(io) {}
            beast::tcp_stream stream;
            beast::flat_buffer buffer;
            std::shared_ptr<http::request<http::string_body>> request;
            http::response<http::string_body> response;
        };
        auto x = std::make_shared<Exchange>(io);
        x->request = req;
        x->stream.expires_after(std::chrono::seconds(10));
        auto done = [this, set, index, value](bool ok, int status) {
            --inFlight;
            if (set) setInFlight = false;
            if (!ok) return void(++failed);
            ++answered;
            if (set && status == 200) lastSet[index] = value;
            if (set && status != 200) ++setsRefused;
        };
        x->stream.async_connect(at(), [x, done](beast::error_code ec) {
            if (ec) return done(false, 0);
            http::async_write(x->stream, *x->request, [x, done](beast::error_code e, std::size_t) {
                if (e) return done(false, 0);
                http::async_read(x->stream, x->buffer, x->response, [x, done](beast::error_code r, std::size_t) {
                    done(!r, static_cast<int>(x->response.result_int()));
                });
            });
        });
    }

    net::io_context io;
    unsigned short port;
    net::steady_timer tick;
    Clock::time_point end;
    int inFlight = 0;
    bool setInFlight = false;
};

TEST(ServerLoad, StreamsAndRequestsLeaveTheLinkAndEverySetIntact) {
    Devices line;
    ASSERT_EQ(0, init(ownID, 0, line.path().c_str()));
    int16_t marker = 0;
    {
        Vehicle vehicle(ownID);
        Server::Options options;
        options.listen = net::ip::tcp::endpoint(net::ip::address_v4::loopback(), 0);
        options.api.connection = line.path();
        Server server(vehicle, options);
        std::thread serverThread([&] { server.run(); });

        // Each board's first report creates it, its type reply types it.
        for (uint8_t id : {board, station, markerBoard}) {
            line.write(accReport(id, 1));
            line.write(frame(4, id, {static_cast<uint8_t>(id == station ? 0 : 1)}));
        }
        int v = 0;
        ASSERT_TRUE(eventually([&] {
            return getData(board, idType, &v, 0) == 0 && getData(station, idType, &v, 0) == 0 &&
                   getData(markerBoard, idAccX, &v, 0) == 0;
        }));

        const Latency idle = measureLatency(line, Clock::now() + std::chrono::seconds(10), marker);

        Load load(server.endpoint().port());
        const auto loadStart = Clock::now();
        const auto loadEnd = loadStart + loadDuration();
        std::thread loadThread([&] { load.run(loadEnd); });
        const Latency loaded = measureLatency(line, loadEnd, marker);
        loadThread.join();
        const double seconds = std::chrono::duration<double>(Clock::now() - loadStart).count();

        server.stop();
        serverThread.join();

        // Every set answered 200 reached the board, in order: on each PWM
        // channel the values arrive rising (a newer set may replace one still
        // queued) and end with the last value set.
        ASSERT_EQ(4u, load.lastSet.size());
        for (const auto& last : load.lastSet) {
            EXPECT_TRUE(eventually([&] {
                const std::vector<int> got = line.pwmSets()[last.first];
                return !got.empty() && got.back() == last.second;
            })) << "PWM " << last.first << " should end at " << last.second;
            const std::vector<int> got = line.pwmSets()[last.first];
            EXPECT_TRUE(std::is_sorted(got.begin(), got.end())) << "PWM " << last.first;
        }
        EXPECT_EQ(streamClients, load.streamsOpen.load());
        EXPECT_EQ(0, load.streamFailures.load());
        EXPECT_EQ(0, load.failed.load());
        EXPECT_EQ(0, load.setsRefused.load());
        EXPECT_GT(load.sets.load(), 0);
        // Sets made as often as the stream ticks neither starve the pictures
        // nor are left untold: the two take turns.
        EXPECT_GT(load.streamSets.load(), load.streamMessages.load() / 4);
        EXPECT_GT(load.streamDeltas.load(), load.streamMessages.load() / 4);
        EXPECT_EQ(0, idle.lost);
        EXPECT_EQ(0, loaded.lost);

        long received = 0;
        for (const auto& channel : line.pwmSets()) received += static_cast<long>(channel.second.size());
        std::printf("[load] %.1f s: %ld requests answered (%.0f/s), %ld sets answered 200, %ld set frames on the line, "
                    "%ld skipped at the in-flight limit\n",
                    seconds, load.answered.load(), load.answered.load() / seconds, load.sets.load(), received,
                    load.skipped.load());
        std::printf("[load] %d stream clients at %d Hz: %ld messages (%.0f/s: %ld deltas, %ld of sets), %ld catch-up "
                    "snapshots\n",
                    streamClients, streamHz, load.streamMessages.load(), load.streamMessages.load() / seconds,
                    load.streamDeltas.load(), load.streamSets.load(), load.streamSnapshots.load());
        std::printf("[load] receive latency idle:   p50 %.0f us  p90 %.0f us  p99 %.0f us  (%zu samples)\n",
                    idle.percentile(0.5), idle.percentile(0.9), idle.percentile(0.99), idle.us.size());
        std::printf("[load] receive latency loaded: p50 %.0f us  p90 %.0f us  p99 %.0f us  (%zu samples)\n",
                    loaded.percentile(0.5), loaded.percentile(0.9), loaded.percentile(0.99), loaded.us.size());
        const double ratio = idle.percentile(0.5) > 0 ? loaded.percentile(0.5) / idle.percentile(0.5) : 0;
        std::printf("[load] p50 loaded / idle: %.2f (goal <= 1.5: %s)\n", ratio, ratio <= 1.5 ? "PASS" : "MISS");
    }
    deinit();
}

}  // namespace
