#include "datamaps/ComponentQRNInterface.h"

#include <cstdint>

#include "models/ComponentQRNClient.h"
#include "datamaps/DataMapPart.h"
#include "datamaps/SharedDataRows.h"

namespace {

using Q = ORQ::ComponentQRNClient;
using namespace DataIds;
using Row = DataMapPart::Row<Q, GROUND_STATION>;
using DataMapPart::inUse;

// The ground station's own rows (the shared ones are in SharedDataRows.h):
// ID, bound, read, what a set accepts, what a set does.
template <class Name>
constexpr Id<GROUND_STATION> id = DataIds::id<GROUND_STATION, Name>;

constexpr Row rows[] = {
    {id<RC_RECEIVER>, [](const Q& q) { return inUse(q.rcReceiver, q.rcReceiverSize); },
     [](Q& q, int i, int) -> int { return q.rcReceiver[i]; }, nullptr, nullptr},
    {id<RC_SENDER>, [](const Q& q) { return inUse(q.rcSender, q.rcSenderSize); }, nullptr, nullptr,
     [](Q& q, uint8_t i, int v) {
         return DataMapPart::writeAndSend(q.rcSender[i], [&] { q.rcSender[i] = static_cast<unsigned char>(v); },
                                          [&] { return q.rcSenderClient->send(i); });
     }},
};
constexpr const auto& sharedRows = DataMapPart::sharedRows<Q, GROUND_STATION>;
static_assert(DataMapPart::distinctIds(rows, sharedRows), "one row per data ID");

const Row* rowOf(int dataID) { return DataMapPart::find(dataID, rows, sharedRows); }

}  // namespace

int ComponentQRNInterface::getDataKomplexPart(Q* q, int dataID, int index, int** value, int* size) {
    return DataMapPart::read(rowOf(dataID), *q, index, value, size);
}

int ComponentQRNInterface::setDataKomplexPart(Q* q, int dataID, int index, int** value, int* size) {
    return DataMapPart::set(rowOf(dataID), *q, index, value, size);
}
