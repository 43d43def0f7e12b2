#pragma once
// What a Link tells the one that uses its bytes (the library's Pump): what
// it read, when it can write, where its clock stands, that it is stopping.
// A link knows nothing else of its client.
//
// Threads: every call comes on the link's I/O thread, but linkStopping(),
// which comes on the thread that stops the link while the I/O thread still
// runs. No call comes after Link::deinit() returned.
#include <cstddef>
#include <cstdint>

namespace ORQ {

class LinkClient {
public:
    virtual ~LinkClient() {}

    // One read: n bytes (n > 0), valid for the call only.
    virtual void linkRead(const uint8_t* bytes, std::size_t n) = 0;
    // The link opened again after it was down: bytes read before are of no
    // use any more. Frames may go out (Link::canSend()).
    virtual void linkReopened() = 0;
    // Whether frames may go out may have changed (the I/O thread started, the
    // link went down, the far end became known), or a wait asked for with
    // Link::pollAfter() ended.
    virtual void linkChanged() = 0;
    // A link with a clock of its own (a replay) reached `micros` on it: the
    // client's time goes on to there. Returns how many milliseconds the
    // client has nothing to do (Component::nothingDue: nothing at all).
    virtual uint32_t linkTime(uint64_t micros) = 0;
    // The link is down for good (a replay reached its end).
    virtual void linkEnded() = 0;
    // Link::deinit() began on a running link: the last frames may still be
    // written; after this returns, the I/O thread stops.
    virtual void linkStopping() = 0;
};

}  // namespace ORQ
