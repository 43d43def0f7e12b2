/* A small C host of liborq: connects on the serial device given as its
 * argument, lists the nodes, reads the flight board's position and sets its
 * GPS mode to Home, then watches the board report the new mode. The position
 * is read once the board reports a fix.
 *
 *     make        (pkg-config finds orq: set PKG_CONFIG_PATH=P/lib/pkgconfig for a prefix P)
 *     ./orq_example /dev/ttyUSB0
 */
#define _POSIX_C_SOURCE 200809L
#include <orq/Dll.h>
#include <stdio.h>
#include <time.h>

/* Data IDs by name (FLIGHT_BOARD_GPS_MODE, ...), from the library's list. */
enum DataIds {
#define ORQ_DATA_ID(DEVICE, ID, NAME, ACCESS, UNIT, TEXT) DEVICE##_##NAME = ID,
#include <orq/DataIds.def>
#undef ORQ_DATA_ID
};

enum { OWN_ID = 1, TYPE_FLIGHT_BOARD = 1, GPS_MODE_HOME = 2, MAX_NODES = 255, WAIT_MS = 30000, STEP_MS = 50 };

static void pause_step(void) {
    struct timespec t = {0, STEP_MS * 1000000L};
    nanosleep(&t, NULL);
}

/* Waits for a typed flight board and prints every node; its ID, or -1. */
static int find_flight_board(void) {
    int waited;
    for (waited = 0; waited < WAIT_MS; waited += STEP_MS, pause_step()) {
        int ids[MAX_NODES], types[MAX_NODES], size = MAX_NODES, i, board = -1;
        if (getComponents(ids, types, &size) != ERROR_NO) continue;
        for (i = 0; i < size; ++i) {
            if (types[i] == TYPE_FLIGHT_BOARD) board = ids[i];
        }
        if (board < 0) continue;
        printf("nodes:");
        for (i = 0; i < size; ++i) printf(" %d (type %d)", ids[i], types[i]);
        printf("\n");
        return board;
    }
    return -1;
}

int main(int argc, char** argv) {
    int board, waited, result, mode = -1, fix = 0;
    int position_ids[3] = {FLIGHT_BOARD_LONGITUDE, FLIGHT_BOARD_LATITUDE, FLIGHT_BOARD_ALTITUDE};
    int indexes[3] = {0, 0, 0}, position[3], size = 3;

    if (argc != 2) {
        fprintf(stderr, "usage: %s DEVICE\n", argv[0]);
        return 2;
    }
    result = init(OWN_ID, 0, argv[1]);
    if (result != ERROR_NO) {
        fprintf(stderr, "init failed: %d\n", result);
        return 1;
    }
    board = find_flight_board();
    if (board < 0) {
        fprintf(stderr, "no flight board heard\n");
        deinit();
        return 1;
    }
    for (waited = 0; fix == 0 && waited < WAIT_MS; waited += STEP_MS, pause_step()) {
        if (getData(board, FLIGHT_BOARD_GPS_STATUS, &fix, 0) != ERROR_NO) fix = 0;
    }
    result = getDataKomplex(board, position_ids, indexes, 3, position, &size);
    if (result == ERROR_NO) {
        printf("flight board %d position: longitude %d latitude %d altitude %d\n", board, position[0], position[1],
               position[2]);
    }
    if (result == ERROR_NO) result = setData(board, FLIGHT_BOARD_GPS_MODE, GPS_MODE_HOME, 0);
    for (waited = 0; result == ERROR_NO && mode != GPS_MODE_HOME && waited < WAIT_MS; waited += STEP_MS) {
        pause_step();
        result = getData(board, FLIGHT_BOARD_GPS_MODE, &mode, 0);
    }
    printf("flight board %d GPS mode: %d\n", board, mode);
    deinit();
    return result == ERROR_NO && mode == GPS_MODE_HOME ? 0 : 1;
}
