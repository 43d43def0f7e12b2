#pragma once
// The vehicle as liborq.so mirrors it, read and set through the library's
// exported functions only (Dll.h): the nodes heard, every readable value of a
// node with its index range expanded, the link statistics, and sets.
//
// Holds nothing but the library's own ID; the library serialises the calls
// per component, so any thread may call any function. The server calls them
// from its one I/O thread.
#include <string>
#include <vector>

#include "Snapshot.h"

class Vehicle {
public:
    struct NodeRef {
        int id;
        int type;   // -1 while unknown
    };

    explicit Vehicle(int ownID);

    int ownID() const { return own; }
    // Every node the library knows, in ascending ID order.
    std::vector<NodeRef> listNodes() const;
    // alive (data ID 48) and age in ms (data ID 51) of a node; false when
    // the node cannot be read.
    bool aliveAndAge(int id, int& alive, int& age) const;
    // The type code of a typed node; -1 when the node is not known or not typed.
    int typeOf(int id) const;
    // One element of one data ID through getData: the library's code.
    int read(int component, int dataID, int index, int& value) const;
    // All readable values of one node; false when there is no such node.
    bool readNode(const NodeRef& ref, Snapshot::Node& out) const;
    // The link statistics (the rows of the library's own ID).
    std::vector<Snapshot::Value> readLink() const;
    Snapshot sample() const;
    // A set through setData: the library's code.
    int set(int component, int dataID, int index, int value) const;

    // Name of a return code of the host interface ("ERROR_INVALID_VALUE").
    static const char* codeName(int code);

private:
    // Reads index 0, 1, ... of one row until the node has no further element.
    std::vector<int> readIndexes(int component, int dataID) const;

    int own;
};
