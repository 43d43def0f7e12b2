#pragma once
// The test's side of orq-server's HTTP: one request per connection on the
// loopback address, every operation within a deadline, the answer parsed by
// Beast. raw() sends bytes exactly as given, for requests no well-behaved
// client would send; converse() keeps every byte the server sends back until
// it closes, to count the answers to one connection. Used from one thread at
// a time.
#include <chrono>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace ORQ {
namespace test {

class HttpClient {
public:
    struct Reply {
        int status = 0;   // 0: no answer (connection closed or deadline passed)
        std::string body;
        std::map<std::string, std::string> headers;
        nlohmann::json json() const { return nlohmann::json::parse(body, nullptr, false); }
    };
    struct Transcript {
        std::string received;   // every byte the server sent
        bool closed = false;    // the server closed before the deadline
        // The status codes of the answers in received, in order.
        std::vector<int> statuses() const;
    };

    explicit HttpClient(unsigned short port);

    Reply get(const std::string& target, const std::map<std::string, std::string>& headers = {}) const;
    Reply put(const std::string& target, const std::string& body,
              const std::map<std::string, std::string>& headers = {}) const;
    Reply raw(const std::string& bytes, std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
    Transcript converse(const std::string& bytes, std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
    // A WebSocket upgrade request for target, as raw bytes.
    std::string upgradeRequest(const std::string& target, const std::string& extraHeaders = "") const;
    std::string host() const;

private:
    Reply request(const std::string& method, const std::string& target, const std::string& body,
                  const std::map<std::string, std::string>& headers) const;

    unsigned short port;
};

}  // namespace test
}  // namespace ORQ
