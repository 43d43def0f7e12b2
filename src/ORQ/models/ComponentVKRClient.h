#pragma once
// A flight-board model with its handlers: one client per mirrored field or
// group of fields, each wired to the field with the data type the board
// reports it in and the odd type below it for set and request messages. No
// two handlers accept the same data type. The model owns its handlers; one
// table in the source lists them (HandlerTable.h), and construction, the
// chain's order, the index by data type, ownership and printSpeed all follow
// from it. A new mirrored value is one row there (and its named member here).
//
// Threads: as ComponentVKR. The handlers' send operations are called by the
// data map under the data lock; printSpeed() reads and resets the handlers'
// counters without it (diagnostics only).
#include <cstddef>
#include <cstdint>

#include "models/ComponentVKR.h"
#include "handlers/HandlerTable.h"

namespace ORQ {

class ComponentVKRClient : public ComponentVKR {
public:
    static constexpr std::size_t handlerCount = 26;

    // When the handlers' block cannot be allocated, the model has no
    // handlers and every named member below stays null.
    explicit ComponentVKRClient(uint8_t id);
    ~ComponentVKRClient() override;  // destroys the handlers, then the model
    int deviceCode() const override;  // DeviceCode::flightBoard
    ComponentVKRClient(const ComponentVKRClient&) = delete;
    ComponentVKRClient& operator=(const ComponentVKRClient&) = delete;

    // "[ComponentVKR] printSpeed ID ..." with the message rates of the main
    // sensor handlers over timeDiff ms (resets their counters).
    void printSpeed(uint16_t timeDiff);

    // Each handler, named after the field it mirrors (report/set data type);
    // filled by the table's rows, not owning.
    MessageHandlerVector3Dint16Client* adxlClient = nullptr;       // acc
    MessageHandlerVector3Dint16Client* gyroClient = nullptr;       // gyro
    MessageHandlerVector3Dint16Client* dcmClient = nullptr;        // dcm
    MessageHandlerVector3Dint16Client* magClient = nullptr;        // compass
    MessageHandlerInt32Client* pressureClient = nullptr;           // pressure
    MessageHandlerInt16Client* distClient = nullptr;               // dist
    MessageHandlerInt8Client* motorOnClient = nullptr;             // motorOn
    MessageHandlerInt8Client* hwStateClient = nullptr;             // hwState low byte
    MessageHandlerInt8Client* cmdClient = nullptr;                 // cmd low byte
    MessageHandlerInt16Client* HWVersionClient = nullptr;          // HWversion
    MessageHandlerInt16Client* FWVersionClient = nullptr;          // FWversion
    MessageHandlerInt16Client* FCVersionClient = nullptr;          // FCversion
    MessageHandlerInt16Client* temperatureClient = nullptr;        // temperature
    MessageHandlerInt8Client* gpsModeClient = nullptr;             // gpsMode low byte
    MessageHandlerInt8Client* gpsModeIsClient = nullptr;           // gpsModeIs low byte
    MessageHandlerInt8Client* rcReceiverClient = nullptr;          // rcReceiver
    MessageHandlerGPSPositionClient* currentPositionClient = nullptr;  // currentPosition
    MessageHandlerRawClient* debugDataClient = nullptr;            // debugData bytes
    MessageHandlerGPSWaypointClient* waypointClient = nullptr;     // waypoint
    MessageHandler4Int16Client* dcmAccZClient = nullptr;           // dcm[0] x y z + acc[0].z, channel 0
    MessageHandler2Vector3Dint16Client* gyrohcmClient = nullptr;   // gyro[0] + compass[0]
    MessageHandlerRawClient* debugTextClient = nullptr;            // debugText
    MessageHandlerInt32Client* secureCommandClient = nullptr;      // secureCommand
    MessageHandlerHeartbeatClient* heartbeatClient = nullptr;      // renews the age
    MessageHandlerInt16Client* activControlClient = nullptr;       // activControl
    MessageHandlerInt16Client* pwmOutputClient = nullptr;          // pwmOutput

private:
    // The handlers, in the table's order; they form the chain, and the
    // component's index by data type takes a report to its own handler
    // without passing the other 25.
    HandlerSet<ComponentVKRClient, handlerCount> handlers;
};

}  // namespace ORQ
