#include "datamaps/ComponentDLLInterface.h"

#include "datamaps/DataIds.h"
#include "host/Dll.h"
#include "wire/MessageSystem.h"

namespace {

template <class Name>
constexpr int linkId = DataIds::id<DataIds::LINK, Name>.number;

}  // namespace

int ComponentDLLInterface::getDataKomplexPart(ORQ::MessageSystem* ms, int dataID, int index, int** value, int* size) {
    using namespace DataIds;
    (void)index;
    if (*size <= 0) return ERROR_BUFFER_TOO_SMAL;
    switch (dataID) {
    case linkId<RECEIVE_ERRORS>: **value = ms->statistics().receiveError; break;
    case linkId<RECEIVED_FRAMES>: **value = ms->statistics().receivedMessages; break;
    case linkId<RECEIVED_BYTES>: **value = static_cast<int>(ms->statistics().receivedBytes); break;
    case linkId<STALE_DROPPED>: **value = static_cast<int>(ms->statistics().staleDropped); break;
    case linkId<QUEUE_REFUSED>: **value = static_cast<int>(ms->getMessageQueue()->getRefusedCount()); break;
    case linkId<REPLAY_ENDED>: **value = ms->statistics().linkEnded; break;
    default: return ERROR_DATATYPE_NOT_SUPPORTED;
    }
    ++*value;
    --*size;
    return ERROR_NO;
}

int ComponentDLLInterface::setDataKomplexPart(ORQ::MessageSystem* ms, int dataID, int index, int** value, int* size) {
    (void)ms;
    (void)dataID;
    (void)index;
    (void)value;
    if (*size <= 0) return ERROR_BUFFER_TOO_SMAL;
    return ERROR_DATATYPE_NOT_SUPPORTED;
}
