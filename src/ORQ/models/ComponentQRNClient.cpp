#include "models/ComponentQRNClient.h"

#include "DataTypes.h"
#include "log/LogLine.h"

namespace ORQ {

namespace {

using Q = ComponentQRNClient;

// The model's handlers (see HandlerTable.h).
constexpr HandlerRow<Q> handlerRows[] = {
    row<&Q::activControlClient, &Q::activControl, &Q::oneSize>(DataType::activControl),
    row<&Q::heartbeatClient>(DataType::heartbeat),
    // Each secure command is carried out once per message: two commands in a
    // row are two messages, never one merged into the other.
    row<&Q::secureCommandClient, &Q::secureCommand, &Q::secureCommandSize>(DataType::secureCommand, notInSpeed,
                                                                            Sets::actions),
    row<&Q::dcmgyroClient, &Q::dcm, &Q::gyro, &Q::gyroSize>(DataType::dcmGyro, {1, "dcmgyro"}),
    row<&Q::adxlClient, &Q::acc, &Q::accSize>(DataType::acc, {3, "acc"}),
    row<&Q::gyroClient, &Q::gyro, &Q::gyroSize>(DataType::gyro, {4, "gyro"}),
    row<&Q::magClient, &Q::compass, &Q::compassSize>(DataType::compass, {5, "compass"}),
    row<&Q::pressureClient, &Q::pressure, &Q::pressureSize>(DataType::pressure, {6, "pressure"}),
    row<&Q::dcmClient, &Q::dcm, &Q::dcmSize>(DataType::dcm, {2, "dcm"}),
    row<&Q::rcSenderClient, &Q::rcSender, &Q::rcSenderSize>(DataType::rcSender, {7, "rcSender"}),
    row<&Q::rcReceiverClient, &Q::rcReceiver, &Q::rcReceiverSize>(DataType::rcReceiver),
    row<&Q::HWVersionClient, &Q::HWversion, &Q::oneSize>(DataType::hwVersion),
    row<&Q::FWVersionClient, &Q::FWversion, &Q::oneSize>(DataType::fwVersion),
    row<&Q::temperatureClient, &Q::temperature, &Q::temperatureSize>(DataType::temperature),
    row<&Q::debugDataClient, &Q::debugData>(DataType::debugData),
};
static_assert(distinctReportTypes(handlerRows), "one handler per report type");

}  // namespace

ComponentQRNClient::ComponentQRNClient(uint8_t id) : ComponentQRN(id), handlers(handlerRows) {
    handlers.build(*this);
}

ComponentQRNClient::~ComponentQRNClient() {
    mh = nullptr;  // the chain is made of the handlers destroyed with `handlers`
}

int ComponentQRNClient::deviceCode() const { return DeviceCode::groundStation; }

void ComponentQRNClient::sendRCSender() {
    if (rcSenderClient != nullptr) rcSenderClient->send(0);
}

void ComponentQRNClient::printSpeed(uint16_t timeDiff) { logLine(handlers.speedLine("[ComponentQRN]", *this, timeDiff)); }

}  // namespace ORQ
