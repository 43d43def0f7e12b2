#pragma once
// A ground-station model with its handlers: one client per mirrored field or
// group of fields, each wired to the field with the data type the station
// reports it in and the odd type below it for set and request messages. No
// two handlers accept the same data type. The model owns its handlers; one
// table in the source lists them (HandlerTable.h), and construction, the
// chain's order, the index by data type, ownership and printSpeed all follow
// from it. A new mirrored value is one row there (and its named member here).
//
// Threads: as ComponentQRN. sendRCSender() and the handlers' send operations
// are called under the data lock; printSpeed() reads and resets the handlers'
// counters without it (diagnostics only).
#include <cstddef>
#include <cstdint>

#include "models/ComponentQRN.h"
#include "handlers/HandlerTable.h"

namespace ORQ {

class ComponentQRNClient : public ComponentQRN {
public:
    static constexpr std::size_t handlerCount = 15;

    // When the handlers' block cannot be allocated, the model has no
    // handlers and every named member below stays null.
    explicit ComponentQRNClient(uint8_t id);
    ~ComponentQRNClient() override;  // destroys the handlers, then the model
    int deviceCode() const override;  // DeviceCode::groundStation
    ComponentQRNClient(const ComponentQRNClient&) = delete;
    ComponentQRNClient& operator=(const ComponentQRNClient&) = delete;

    // Sets rcSender element 0 on the station (type 17, one byte).
    void sendRCSender();
    // "[ComponentQRN] printSpeed ID ..." with the message rates of the main
    // sensor handlers over timeDiff ms (resets their counters).
    void printSpeed(uint16_t timeDiff);

    // Each handler, named after the field it mirrors (report/set data type);
    // filled by the table's rows, not owning.
    MessageHandlerVector3Dint16Client* adxlClient = nullptr;      // acc, 6/5
    MessageHandlerVector3Dint16Client* gyroClient = nullptr;      // gyro, 8/7
    MessageHandlerVector3Dint16Client* dcmClient = nullptr;       // dcm, 16/15
    MessageHandlerVector3Dint16Client* magClient = nullptr;       // compass, 10/9
    MessageHandler2Vector3Dint16Client* dcmgyroClient = nullptr;  // dcm[0] + gyro[0], 44/43
    MessageHandlerInt32Client* pressureClient = nullptr;          // pressure, 14/13
    MessageHandlerInt8Client* rcSenderClient = nullptr;           // rcSender, 18/17
    MessageHandlerInt8Client* rcReceiverClient = nullptr;         // rcReceiver, 34/33
    MessageHandlerInt16Client* HWVersionClient = nullptr;         // HWversion, 26/25
    MessageHandlerInt16Client* FWVersionClient = nullptr;         // FWversion, 28/27
    MessageHandlerInt16Client* temperatureClient = nullptr;       // temperature, 30/29
    MessageHandlerRawClient* debugDataClient = nullptr;           // debugData bytes, 40/39
    MessageHandlerInt32Client* secureCommandClient = nullptr;     // secureCommand, 52/51
    MessageHandlerHeartbeatClient* heartbeatClient = nullptr;     // renews the age, 54/53
    MessageHandlerInt16Client* activControlClient = nullptr;      // activControl, 56/55

private:
    // The handlers, in the table's order; they form the chain, and the
    // component's index by data type takes a report to its own handler.
    HandlerSet<ComponentQRNClient, handlerCount> handlers;
};

}  // namespace ORQ
