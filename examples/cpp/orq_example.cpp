// A small C++ host of liborq: connects on the serial device given as its
// argument, lists the nodes, reads the flight board's position and sets its
// GPS mode to Home, then watches the board report the new mode. The position
// is read once the board reports a fix.
#include <orq/Dll.h>

#include <chrono>
#include <iostream>
#include <thread>
#include <vector>

namespace {

// Data IDs by name (FLIGHT_BOARD_GPS_MODE, ...), from the library's list.
enum DataId {
#define ORQ_DATA_ID(DEVICE, ID, NAME, ACCESS, UNIT, TEXT) DEVICE##_##NAME = ID,
#include <orq/DataIds.def>
#undef ORQ_DATA_ID
};

struct Node {
    int id;
    int type;  // 1 flight board, 0 ground station, -1 not yet known
};

std::vector<Node> nodes() {
    std::vector<int> ids(16), types(16);
    for (;;) {
        int size = static_cast<int>(ids.size());
        const int result = getComponents(ids.data(), types.data(), &size);
        if (result == ERROR_BUFFER_TOO_SMAL) {  // size is the count needed
            ids.resize(size);
            types.resize(size);
            continue;
        }
        std::vector<Node> list;
        for (int i = 0; result == ERROR_NO && i < size; ++i) list.push_back({ids[i], types[i]});
        return list;
    }
}

// Polls `condition` for up to 30 s.
template <class F>
bool waitFor(F condition) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: " << argv[0] << " DEVICE\n";
        return 2;
    }
    if (const int result = init(1, 0, argv[1]); result != ERROR_NO) {
        std::cerr << "init failed: " << result << "\n";
        return 1;
    }
    int board = -1;
    std::vector<Node> list;
    waitFor([&] {
        list = nodes();
        for (const Node& n : list)
            if (n.type == 1) board = n.id;
        return board > 0;
    });
    std::cout << "nodes:";
    for (const Node& n : list) std::cout << " " << n.id << " (type " << n.type << ")";
    std::cout << "\n";
    if (board < 0) {
        deinit();
        return 1;
    }

    waitFor([&] {
        int fix = 0;
        return getData(board, FLIGHT_BOARD_GPS_STATUS, &fix, 0) == ERROR_NO && fix != 0;
    });
    int ids[] = {FLIGHT_BOARD_LONGITUDE, FLIGHT_BOARD_LATITUDE, FLIGHT_BOARD_ALTITUDE};
    int indexes[] = {0, 0, 0};
    int position[3] = {};
    int size = 3;
    int result = getDataKomplex(board, ids, indexes, 3, position, &size);
    std::cout << "flight board " << board << " position: longitude " << position[0] << " latitude " << position[1]
              << " altitude " << position[2] << "\n";

    int mode = -1;
    if (result == ERROR_NO) result = setData(board, FLIGHT_BOARD_GPS_MODE, 2, 0);
    const bool home = result == ERROR_NO &&
                      waitFor([&] { return getData(board, FLIGHT_BOARD_GPS_MODE, &mode, 0) == ERROR_NO && mode == 2; });
    std::cout << "flight board " << board << " GPS mode: " << mode << "\n";
    deinit();
    return home ? 0 : 1;
}
