#include "ServerRig.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <regex>
#include <stdexcept>
#include <thread>

namespace ORQ {
namespace test {

namespace {

const std::chrono::seconds deadline(20);

template <typename F>
bool eventually(F condition) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

bool bothAlive(const HttpClient& c, const std::map<std::string, std::string>& headers) {
    const nlohmann::json j = c.get("/api/nodes", headers).json();
    if (!j.is_object() || !j.contains("nodes") || !j["nodes"].is_array()) return false;
    int alive = 0;
    for (const auto& n : j["nodes"]) {
        if ((n["id"] == 5 || n["id"] == 6) && n["alive"] == 1) ++alive;
    }
    return alive == 2;
}

}  // namespace

ServerRig::ServerRig(const std::vector<std::string>& serverArgs) {
    char pattern[] = "/tmp/orq-server-test-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    folder = pattern;
    linePath = folder + "/line";
    const std::string tools = std::string(ORQ_BINARY_DIR) + "/tools/";
    sim.reset(new ChildProcess(tools + "orq-sim", {"--fb", "5", "--gs", "6", "--link", linePath}, folder + "/sim.log"));
    struct stat st;
    if (!eventually([&] { return lstat(linePath.c_str(), &st) == 0; })) throw std::runtime_error("no simulator line");

    std::vector<std::string> args{"--listen", "127.0.0.1:0", "--timeout", "1"};
    args.insert(args.end(), serverArgs.begin(), serverArgs.end());
    args.push_back(linePath);
    server.reset(new ChildProcess(tools + "orq-server", args, folder + "/server.log"));
    const std::regex listening("listening on http://127\\.0\\.0\\.1:([0-9]+)/");
    std::smatch m;
    if (!eventually([&] {
            const std::string out = server->output();
            if (!std::regex_search(out, m, listening)) return false;
            serverPort = static_cast<unsigned short>(std::stoi(m[1]));
            return true;
        })) {
        throw std::runtime_error("server did not start: " + server->output());
    }
    const HttpClient c(serverPort);
    if (!eventually([&] { return bothAlive(c, {}); })) throw std::runtime_error("nodes not mirrored");
}

ServerRig::~ServerRig() {
    server.reset();
    sim.reset();
    for (const char* f : {"/line", "/sim.log", "/server.log"}) unlink((folder + f).c_str());
    rmdir(folder.c_str());
}

long ServerRig::receivedFrames(const std::map<std::string, std::string>& headers) const {
    const nlohmann::json j = client().get("/api/link", headers).json();
    if (!j.is_object() || !j.contains("statistics") || !j["statistics"].contains("RECEIVED_FRAMES")) return -1;
    return j["statistics"]["RECEIVED_FRAMES"].get<long>();
}

bool ServerRig::mirroring(long before, const std::map<std::string, std::string>& headers) const {
    return eventually([&] { return receivedFrames(headers) > before && bothAlive(client(), headers); });
}

}  // namespace test
}  // namespace ORQ
