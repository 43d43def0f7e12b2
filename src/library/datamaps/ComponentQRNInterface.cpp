#include "datamaps/ComponentQRNInterface.h"

#include <cstdint>

#include "models/ComponentQRNClient.h"
#include "datamaps/DataMapPart.h"
#include "datamaps/SharedDataRows.h"

namespace {

using Q = ORQ::ComponentQRNClient;
using DataMapPart::inUse;
using DataMapPart::Row;

// The ground station's own rows (the shared ones are in SharedDataRows.h):
// ID, bound, read, what a set accepts, what a set does.
constexpr Row<Q> rows[] = {
    {29, [](const Q& q) { return inUse(q.rcReceiver, q.rcReceiverSize); },
     [](Q& q, int i, int) -> int { return q.rcReceiver[i]; }, nullptr, nullptr},
    {37, [](const Q& q) { return inUse(q.rcSender, q.rcSenderSize); }, nullptr, nullptr,
     [](Q& q, uint8_t i, int v) {
         return DataMapPart::writeAndSend(q.rcSender[i], [&] { q.rcSender[i] = static_cast<unsigned char>(v); },
                                          [&] { return q.rcSenderClient->send(i); });
     }},
};
static_assert(DataMapPart::distinctIds(rows, DataMapPart::sharedRows<Q>), "one row per data ID");

const Row<Q>* rowOf(int dataID) { return DataMapPart::find(dataID, rows, DataMapPart::sharedRows<Q>); }

}  // namespace

ComponentQRNInterface::~ComponentQRNInterface() {}

int ComponentQRNInterface::getDataKomplexPart(Q* q, int dataID, int index, int** value, int* size) {
    return DataMapPart::read(rowOf(dataID), *q, index, value, size);
}

int ComponentQRNInterface::setDataKomplexPart(Q* q, int dataID, int index, int** value, int* size) {
    return DataMapPart::set(rowOf(dataID), *q, index, value, size);
}
