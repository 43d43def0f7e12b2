#pragma once
// The simulator and orq-server as separate programs from the build tree, as
// `make demo-web` starts them: a flight board (5) and a ground station (6) on
// a pseudo-terminal in a folder of the rig's own, the server on a free
// loopback port. Ready once the server has mirrored both nodes. Used from the
// test's thread only.
#include <memory>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "HttpClient.h"

namespace ORQ {
namespace test {

class ServerRig {
public:
    // serverArgs come before the connection (e.g. {"--token", T}).
    explicit ServerRig(const std::vector<std::string>& serverArgs = {});
    ~ServerRig();
    ServerRig(const ServerRig&) = delete;
    ServerRig& operator=(const ServerRig&) = delete;

    unsigned short port() const { return serverPort; }
    HttpClient client() const { return HttpClient(serverPort); }
    const std::string& line() const { return linePath; }
    // RECEIVED_FRAMES of /api/link (-1 when unreadable).
    long receivedFrames(const std::map<std::string, std::string>& headers = {}) const;
    // The library kept mirroring: received frames grow past `before` and both
    // nodes are alive.
    bool mirroring(long before, const std::map<std::string, std::string>& headers = {}) const;

private:
    std::string folder;
    std::string linePath;
    std::unique_ptr<ChildProcess> sim;
    std::unique_ptr<ChildProcess> server;
    unsigned short serverPort = 0;
};

}  // namespace test
}  // namespace ORQ
