#include "ComponentQRNClient.h"

#include <iterator>

#include "LogLine.h"

namespace ORQ {

namespace {

unsigned rate(MessageHandler* h, uint16_t timeDiff) { return h != nullptr ? h->getDatarate(timeDiff) : 0; }

}  // namespace

ComponentQRNClient::ComponentQRNClient(uint8_t id) : ComponentQRN(id) {
    using std::size;
    adxlClient = new MessageHandlerVector3Dint16Client(acc, &accSize, 6, 5, size(acc));
    gyroClient = new MessageHandlerVector3Dint16Client(gyro, &gyroSize, 8, 7, size(gyro));
    magClient = new MessageHandlerVector3Dint16Client(compass, &compassSize, 10, 9, size(compass));
    pressureClient = new MessageHandlerInt32Client(pressure, &pressureSize, 14, 13, size(pressure));
    dcmClient = new MessageHandlerVector3Dint16Client(dcm, &dcmSize, 16, 15, size(dcm));
    rcSenderClient = new MessageHandlerInt8Client(reinterpret_cast<int8_t*>(rcSender), &rcSenderSize, 18, 17,
                                                  size(rcSender));
    HWVersionClient = new MessageHandlerInt16Client(reinterpret_cast<int16_t*>(&HWversion), &oneSize, 26, 25, 1);
    FWVersionClient = new MessageHandlerInt16Client(reinterpret_cast<int16_t*>(&FWversion), &oneSize, 28, 27, 1);
    temperatureClient = new MessageHandlerInt16Client(temperature, &temperatureSize, 30, 29, size(temperature));
    rcReceiverClient = new MessageHandlerInt8Client(reinterpret_cast<int8_t*>(rcReceiver), &rcReceiverSize, 34,
                                                    33, size(rcReceiver));
    debugDataClient =
        new MessageHandlerRawClient(reinterpret_cast<int8_t*>(debugData), sizeof(debugData), 40, 39);
    dcmgyroClient = new MessageHandler2Vector3Dint16Client(dcm, gyro, &gyroSize, 44, 43, 1);
    secureCommandClient =
        new MessageHandlerInt32Client(secureCommand, &secureCommandSize, 52, 51, size(secureCommand));
    // Each secure command is carried out once per message: two commands in a
    // row are two messages, never one merged into the other.
    if (secureCommandClient != nullptr) secureCommandClient->properties.action = 1;
    heartbeatClient = new MessageHandlerHeartbeatClient(54, 53);
    activControlClient =
        new MessageHandlerInt16Client(reinterpret_cast<int16_t*>(&activControl), &oneSize, 56, 55, 1);

    MessageHandler* const order[] = {
        activControlClient, heartbeatClient, secureCommandClient, dcmgyroClient,   adxlClient,
        gyroClient,         magClient,       pressureClient,      dcmClient,       rcSenderClient,
        rcReceiverClient,   HWVersionClient, FWVersionClient,     temperatureClient, debugDataClient,
    };
    for (MessageHandler* h : order) {
        if (h != nullptr) addMessageHandler(h);
    }
}

ComponentQRNClient::~ComponentQRNClient() {
    mh = nullptr;  // the chain is made of the handlers destroyed here
    delete adxlClient;
    delete gyroClient;
    delete dcmClient;
    delete magClient;
    delete dcmgyroClient;
    delete pressureClient;
    delete rcSenderClient;
    delete rcReceiverClient;
    delete HWVersionClient;
    delete FWVersionClient;
    delete temperatureClient;
    delete debugDataClient;
    delete secureCommandClient;
    delete heartbeatClient;
    delete activControlClient;
}

void ComponentQRNClient::sendRCSender() {
    if (rcSenderClient != nullptr) rcSenderClient->send(0);
}

void ComponentQRNClient::printSpeed(uint16_t timeDiff) {
    logLine("[ComponentQRN] printSpeed ID ", unsigned(ID), " lupdate ", updateTime, " dcmgyro ",
            rate(dcmgyroClient, timeDiff), " dcm ", rate(dcmClient, timeDiff), " acc ", rate(adxlClient, timeDiff),
            " gyro ", rate(gyroClient, timeDiff), " compass ", rate(magClient, timeDiff), " pressure ",
            rate(pressureClient, timeDiff), " rcSender ", rate(rcSenderClient, timeDiff));
}

}  // namespace ORQ
