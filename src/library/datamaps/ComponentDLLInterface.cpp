#include "datamaps/ComponentDLLInterface.h"

#include "host/Dll.h"
#include "wire/MessageSystem.h"

ComponentDLLInterface::~ComponentDLLInterface() {}

int ComponentDLLInterface::getDataKomplexPart(ORQ::MessageSystem* ms, int dataID, int index, int** value, int* size) {
    (void)index;
    if (*size <= 0) return ERROR_BUFFER_TOO_SMAL;
    switch (dataID) {
    case 45: **value = ms->statistics().receiveError; break;
    case 46: **value = ms->statistics().receivedMessages; break;
    case 47: **value = static_cast<int>(ms->statistics().receivedBytes); break;
    case 48: **value = static_cast<int>(ms->statistics().staleDropped); break;
    case 49: **value = static_cast<int>(ms->getMessageQueue()->getRefusedCount()); break;
    case 50: **value = ms->statistics().linkEnded; break;
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
