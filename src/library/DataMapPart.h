#pragma once
// The contract every data-map part keeps, in this order: -66 when no slot is
// left, -63 for a data ID without an entry in that direction, -65 for an
// index outside the entry's range, (sets) -67 for a value the entry does not
// accept, and (sets) -66 when the send queue refused the set's message (no
// room to send). A part that fails changes nothing: not the model, not the
// slot, not the two counters. On success one slot is filled or consumed,
// *value moves to the next slot, *size drops by one, and 0 is returned.
//
// Each map supplies its tables: bound(dataID) gives the number of valid
// indexes of an entry (negative: no entry); read(dataID, index, slot) the
// slot's new content; accepts(dataID, v) and apply(dataID, index, v) a set,
// apply returning false when its message was not queued (the model then as
// before: see writeAndSend).
#include <cstddef>
#include <cstdint>

#include "Dll.h"

namespace DataMapPart {

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

// Sets both device models carry alike. A secure command stores its code in
// the model's secure-command word and sends it (each one as a message of its
// own); active control is a 16-bit word.
template <class Model>
bool sendSecureCommand(Model* k, int32_t code) {
    return writeAndSend(
        k->secureCommand[0], [&] { k->secureCommand[0] = code; }, [&] { return k->secureCommandClient->send(0); });
}

template <class Model>
bool setActiveControl(Model* k, int v) {
    return writeAndSend(
        k->activControl, [&] { k->activControl = static_cast<uint16_t>(v); },
        [&] { return k->activControlClient->send(0, 0); });
}

template <class Bound, class Read>
int read(int dataID, int index, int** value, int* size, Bound bound, Read readValue) {
    if (*size <= 0) return ERROR_BUFFER_TOO_SMAL;
    const int count = bound(dataID);
    if (count < 0) return ERROR_DATATYPE_NOT_SUPPORTED;
    if (index < 0 || index >= count) return ERROR_INDEX_NOT_SUPPORTED;
    **value = readValue(dataID, index, **value);
    ++*value;
    --*size;
    return ERROR_NO;
}

template <class Bound, class Accepts, class Apply>
int set(int dataID, int index, int** value, int* size, Bound bound, Accepts accepts, Apply apply) {
    if (*size <= 0) return ERROR_BUFFER_TOO_SMAL;
    const int count = bound(dataID);
    if (count < 0) return ERROR_DATATYPE_NOT_SUPPORTED;
    if (index < 0 || index >= count) return ERROR_INDEX_NOT_SUPPORTED;
    const int v = **value;
    if (!accepts(dataID, v)) return ERROR_INVALID_VALUE;
    if (!apply(dataID, static_cast<uint8_t>(index), v)) return ERROR_BUFFER_TOO_SMAL;
    ++*value;
    --*size;
    return ERROR_NO;
}

}  // namespace DataMapPart
