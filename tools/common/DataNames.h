#pragma once
// The host's data IDs by device, number and name, made from DataIds.def (the
// one list of those names), so that every tool (the server's JSON, the
// monitor, orq-dump) names every value exactly as the other consumers of that
// list do. The table is built at compile time and never changes: any thread
// may use it. Units: DataUnit reads a row's unit column.
#include <string>
#include <vector>

class DataNames {
public:
    enum Device { FlightBoard, GroundStation, Link };

    struct Row {
        Device device;
        int id;
        const char* name;
        bool readable;
        bool settable;
        const char* unit;
        const char* text;
    };

    // The rows of one device, in ascending ID order.
    static const std::vector<const Row*>& rows(Device device);
    // The rows a node of this type code reports (1 flight board, 0 ground
    // station); none for an unknown type.
    static const std::vector<const Row*>& rowsOfType(int type);
    static const char* typeName(int type);
    // The row of a node of this type code by number or by name (exactly as
    // listed, "GPS_MODE"); null when the type has no such row.
    static const Row* find(int type, int id);
    static const Row* find(int type, const std::string& name);
};
