#include "ComponentVKRClient.h"

#include <iterator>

#include "LogLine.h"

namespace ORQ {

// The 8-bit clients of hwState, cmd, gpsMode and gpsModeIs point at the first
// byte of their 32-bit word, which holds the low bits only on a little-endian
// host.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "low byte of a word is its first byte");

namespace {

int8_t* lowByte(void* word) { return static_cast<int8_t*>(word); }

unsigned rate(MessageHandler* h, uint16_t timeDiff) { return h != nullptr ? h->getDatarate(timeDiff) : 0; }

// Enters h under the one data type it takes; clears `unique` when another
// handler has that type already.
template <class Handler>
void putIndexed(MessageHandler** byType, Handler* h, bool& unique) {
    if (h == nullptr) return;
    if (byType[h->dataTypeSet] != nullptr) unique = false;
    byType[h->dataTypeSet] = h;
}

}  // namespace

ComponentVKRClient::ComponentVKRClient(uint8_t id) : ComponentVKR(id), handlerByType{} {
    using std::size;
    adxlClient = new MessageHandlerVector3Dint16Client(acc, &accSize, 6, 5, size(acc));
    gyroClient = new MessageHandlerVector3Dint16Client(gyro, &gyroSize, 8, 7, size(gyro));
    magClient = new MessageHandlerVector3Dint16Client(compass, &compassSize, 10, 9, size(compass));
    distClient = new MessageHandlerInt16Client(reinterpret_cast<int16_t*>(dist), &distSize, 12, 11, size(dist));
    pressureClient = new MessageHandlerInt32Client(pressure, &pressureSize, 14, 13, size(pressure));
    dcmClient = new MessageHandlerVector3Dint16Client(dcm, &dcmSize, 16, 15, size(dcm));
    motorOnClient = new MessageHandlerInt8Client(lowByte(&motorOn), &oneSize, 20, 19, 1);
    hwStateClient = new MessageHandlerInt8Client(lowByte(&hwState), &oneSize, 22, 21, 1);
    cmdClient = new MessageHandlerInt8Client(lowByte(&cmd), &oneSize, 24, 23, 1);
    HWVersionClient = new MessageHandlerInt16Client(reinterpret_cast<int16_t*>(&HWversion), &oneSize, 26, 25, 1);
    FWVersionClient = new MessageHandlerInt16Client(reinterpret_cast<int16_t*>(&FWversion), &oneSize, 28, 27, 1);
    temperatureClient = new MessageHandlerInt16Client(temperature, &temperatureSize, 30, 29, size(temperature));
    gpsModeClient = new MessageHandlerInt8Client(lowByte(&gpsMode), &oneSize, 32, 31, 1);
    rcReceiverClient =
        new MessageHandlerInt8Client(lowByte(rcReceiver), &rcReceiverSize, 34, 33, size(rcReceiver));
    gpsModeIsClient = new MessageHandlerInt8Client(lowByte(&gpsModeIs), &oneSize, 36, 35, 1);
    currentPositionClient = new MessageHandlerGPSPositionClient(currentPosition, &currentPositionSize, 38, 37,
                                                                size(currentPosition));
    debugDataClient = new MessageHandlerRawClient(lowByte(debugData), sizeof(debugData), 40, 39);
    waypointClient = new MessageHandlerGPSWaypointClient(waypoint, &waypointSize, 42, 41, size(waypoint));
    dcmAccZClient =
        new MessageHandler4Int16Client(&dcm[0].x, &dcm[0].y, &dcm[0].z, &acc[0].z, 0, 46, 45);
    // gyro has one element, so only channel 0 fits both arrays.
    gyrohcmClient = new MessageHandler2Vector3Dint16Client(gyro, compass, &oneSize, 48, 47, 1);
    debugTextClient = new MessageHandlerRawClient(debugText, sizeof(debugText), 50, 49);
    secureCommandClient =
        new MessageHandlerInt32Client(secureCommand, &secureCommandSize, 52, 51, size(secureCommand));
    // Each secure command is carried out once per message: two commands in a
    // row are two messages, never one merged into the other.
    if (secureCommandClient != nullptr) secureCommandClient->properties.action = 1;
    heartbeatClient = new MessageHandlerHeartbeatClient(54, 53);
    activControlClient =
        new MessageHandlerInt16Client(reinterpret_cast<int16_t*>(&activControl), &oneSize, 56, 55, 1);
    FCVersionClient = new MessageHandlerInt16Client(reinterpret_cast<int16_t*>(&FCversion), &oneSize, 58, 57, 1);
    pwmOutputClient = new MessageHandlerInt16Client(reinterpret_cast<int16_t*>(pwmOutput), &pwmOutputSize, 60,
                                                    59, size(pwmOutput));

    MessageHandler* const order[] = {
        pwmOutputClient,  activControlClient,    heartbeatClient, secureCommandClient, adxlClient,
        gyroClient,       magClient,             pressureClient,  dcmClient,           distClient,
        motorOnClient,    hwStateClient,         cmdClient,       HWVersionClient,     FWVersionClient,
        FCVersionClient,  temperatureClient,     gpsModeClient,   gpsModeIsClient,     rcReceiverClient,
        currentPositionClient, debugDataClient,  waypointClient,  dcmAccZClient,       gyrohcmClient,
        debugTextClient,
    };
    for (MessageHandler* h : order) {
        if (h != nullptr) addMessageHandler(h);
    }

    // Every client ignores all messages but those of its dataTypeSet.
    bool unique = true;
    putIndexed(handlerByType, adxlClient, unique);
    putIndexed(handlerByType, gyroClient, unique);
    putIndexed(handlerByType, dcmClient, unique);
    putIndexed(handlerByType, magClient, unique);
    putIndexed(handlerByType, pressureClient, unique);
    putIndexed(handlerByType, distClient, unique);
    putIndexed(handlerByType, motorOnClient, unique);
    putIndexed(handlerByType, hwStateClient, unique);
    putIndexed(handlerByType, cmdClient, unique);
    putIndexed(handlerByType, HWVersionClient, unique);
    putIndexed(handlerByType, FWVersionClient, unique);
    putIndexed(handlerByType, FCVersionClient, unique);
    putIndexed(handlerByType, temperatureClient, unique);
    putIndexed(handlerByType, gpsModeClient, unique);
    putIndexed(handlerByType, gpsModeIsClient, unique);
    putIndexed(handlerByType, rcReceiverClient, unique);
    putIndexed(handlerByType, currentPositionClient, unique);
    putIndexed(handlerByType, debugDataClient, unique);
    putIndexed(handlerByType, waypointClient, unique);
    putIndexed(handlerByType, dcmAccZClient, unique);
    putIndexed(handlerByType, gyrohcmClient, unique);
    putIndexed(handlerByType, debugTextClient, unique);
    putIndexed(handlerByType, secureCommandClient, unique);
    putIndexed(handlerByType, heartbeatClient, unique);
    putIndexed(handlerByType, activControlClient, unique);
    putIndexed(handlerByType, pwmOutputClient, unique);
    if (unique) indexHandlers(handlerByType);
}

ComponentVKRClient::~ComponentVKRClient() {
    mh = nullptr;  // the chain is made of the handlers destroyed here
    delete adxlClient;
    delete gyroClient;
    delete dcmClient;
    delete magClient;
    delete pressureClient;
    delete distClient;
    delete motorOnClient;
    delete hwStateClient;
    delete cmdClient;
    delete HWVersionClient;
    delete FWVersionClient;
    delete FCVersionClient;
    delete temperatureClient;
    delete gpsModeClient;
    delete gpsModeIsClient;
    delete rcReceiverClient;
    delete currentPositionClient;
    delete debugDataClient;
    delete waypointClient;
    delete dcmAccZClient;
    delete gyrohcmClient;
    delete debugTextClient;
    delete secureCommandClient;
    delete heartbeatClient;
    delete activControlClient;
    delete pwmOutputClient;
}

void ComponentVKRClient::printSpeed(uint16_t timeDiff) {
    logLine("[ComponentVKR] printSpeed ID ", unsigned(ID), " lupdate ", updateTime, " dcmAccZ ",
            rate(dcmAccZClient, timeDiff), " dcm ", rate(dcmClient, timeDiff), " acc ", rate(adxlClient, timeDiff),
            " gyro ", rate(gyroClient, timeDiff), " compass ", rate(magClient, timeDiff), " pressure ",
            rate(pressureClient, timeDiff), " dist ", rate(distClient, timeDiff));
}

}  // namespace ORQ
