#pragma once
// The contract every data-map part keeps, in this order: -66 when no slot is
// left, -63 for a data ID without an entry in that direction, -65 for an
// index outside the entry's range, (sets) -67 for a value the entry does not
// accept, and (sets) -66 when the send queue refused the set's message (no
// room to send). A part that fails changes nothing: not the model, not the
// slot, not the two counters. On success one slot is filled or consumed,
// *value moves to the next slot, *size drops by one, and 0 is returned.
//
// A device map is a table of rows, one per data ID, holding everything about
// that ID; the rows both device maps carry alike are in SharedDataRows.h.
// A row names its ID from the host's list (DataIds.h), as an ID of the map's
// device: an ID the list does not hold for that device does not compile, and
// a map whose tables give one ID two rows does not either (distinctIds).
// A map finds the row of an ID in its own table and the shared one, and
// hands it to read() or set() below, which keep the contract.
//
// No state: the rows are constant and their functions work on the model the
// caller passes, under the component's data lock the caller holds.
#include <cstddef>
#include <cstdint>

#include "datamaps/DataIds.h"
#include "host/Dll.h"

namespace DataMapPart {

template <class Model, class Device>
struct Row {
    DataIds::Id<Device> id;
    // Number of valid indexes (1 for a single value), in both directions.
    int (*bound)(const Model& k);
    // The slot's new content at a valid index; `slot` is what the host passed
    // in. Null: the ID cannot be read.
    int (*read)(Model& k, int index, int slot);
    // Whether a set takes v. Null: every value.
    bool (*accepts)(int v);
    // Stores the set into the model and queues its message; false (model as
    // before, see writeAndSend) when the message was not queued. Null: the
    // ID cannot be set.
    bool (*apply)(Model& k, uint8_t index, int v);
};

// Bound of an ID that names one value.
template <class Model>
int single(const Model&) {
    return 1;
}

// Indexes a host may use on an array field: those below the model's size
// byte, and never past the array's real end.
template <class T, std::size_t N>
int inUse(const T (&)[N], uint8_t sizeByte) {
    return sizeByte < N ? sizeByte : static_cast<int>(N);
}

// A set's two steps: write() stores the new value into `object` (the whole
// object it touches: a flag word, a waypoint record), send() queues the
// message built from it. When the queue refuses the message, `object` gets
// its old content back, so a read never shows a value that was never sent.
// The caller holds the component's data lock, so no report lands in between.
template <class T, class Write, class Send>
bool writeAndSend(T& object, Write write, Send send) {
    const T old = object;
    write();
    if (send()) return true;
    object = old;
    return false;
}

// True when no ID has two rows across a map's own and shared tables: checked
// when a map is compiled. (Only the IDs: a function's address is not a
// constant the sanitizer builds can compare.)
template <class R, std::size_t N, std::size_t S>
constexpr bool distinctIds(const R (&own)[N], const R (&shared)[S]) {
    for (std::size_t i = 0; i < N + S; ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            if ((j < N ? own[j] : shared[j - N]).id.number == (i < N ? own[i] : shared[i - N]).id.number) return false;
        }
    }
    return true;
}

// The row of dataID in a map's own table or the shared one; null if none.
template <class R, std::size_t N, std::size_t S>
const R* find(int dataID, const R (&own)[N], const R (&shared)[S]) {
    for (const R& r : own) {
        if (r.id.number == dataID) return &r;
    }
    for (const R& r : shared) {
        if (r.id.number == dataID) return &r;
    }
    return nullptr;
}

// The checks a read and a set begin with: a slot left, an entry in this
// direction (`hasEntry`), an index within the entry's bound.
template <class Model, class Device>
int admit(const Row<Model, Device>* row, bool hasEntry, const Model& k, int index, const int* size) {
    if (*size <= 0) return ERROR_BUFFER_TOO_SMAL;
    if (!hasEntry) return ERROR_DATATYPE_NOT_SUPPORTED;
    if (index < 0 || index >= row->bound(k)) return ERROR_INDEX_NOT_SUPPORTED;
    return ERROR_NO;
}

template <class Model, class Device>
int read(const Row<Model, Device>* row, Model& k, int index, int** value, int* size) {
    const int admitted = admit(row, row != nullptr && row->read != nullptr, k, index, size);
    if (admitted != ERROR_NO) return admitted;
    **value = row->read(k, index, **value);
    ++*value;
    --*size;
    return ERROR_NO;
}

template <class Model, class Device>
int set(const Row<Model, Device>* row, Model& k, int index, int** value, int* size) {
    const int admitted = admit(row, row != nullptr && row->apply != nullptr, k, index, size);
    if (admitted != ERROR_NO) return admitted;
    const int v = **value;
    if (row->accepts != nullptr && !row->accepts(v)) return ERROR_INVALID_VALUE;
    if (!row->apply(k, static_cast<uint8_t>(index), v)) return ERROR_BUFFER_TOO_SMAL;
    ++*value;
    --*size;
    return ERROR_NO;
}

}  // namespace DataMapPart
