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

#include "ComponentVKR.h"
#include "HandlerTable.h"

namespace ORQ {

class ComponentVKRClient : public ComponentVKR {
public:
    static constexpr std::size_t handlerCount = 26;

    // When the handlers' block cannot be allocated, the model has no
    // handlers and every named member below stays null.
    explicit ComponentVKRClient(uint8_t id);
    ~ComponentVKRClient() override;  // destroys the handlers, then the model
    ComponentVKRClient(const ComponentVKRClient&) = delete;
    ComponentVKRClient& operator=(const ComponentVKRClient&) = delete;

    // "[ComponentVKR] printSpeed ID ..." with the message rates of the main
    // sensor handlers over timeDiff ms (resets their counters).
    void printSpeed(uint16_t timeDiff);

    // Each handler, named after the field it mirrors (report/set data type);
    // filled by the table's rows, not owning.
    MessageHandlerVector3Dint16Client* adxlClient = nullptr;       // acc, 6/5
    MessageHandlerVector3Dint16Client* gyroClient = nullptr;       // gyro, 8/7
    MessageHandlerVector3Dint16Client* dcmClient = nullptr;        // dcm, 16/15
    MessageHandlerVector3Dint16Client* magClient = nullptr;        // compass, 10/9
    MessageHandlerInt32Client* pressureClient = nullptr;           // pressure, 14/13
    MessageHandlerInt16Client* distClient = nullptr;               // dist, 12/11
    MessageHandlerInt8Client* motorOnClient = nullptr;             // motorOn, 20/19
    MessageHandlerInt8Client* hwStateClient = nullptr;             // hwState low byte, 22/21
    MessageHandlerInt8Client* cmdClient = nullptr;                 // cmd low byte, 24/23
    MessageHandlerInt16Client* HWVersionClient = nullptr;          // HWversion, 26/25
    MessageHandlerInt16Client* FWVersionClient = nullptr;          // FWversion, 28/27
    MessageHandlerInt16Client* FCVersionClient = nullptr;          // FCversion, 58/57
    MessageHandlerInt16Client* temperatureClient = nullptr;        // temperature, 30/29
    MessageHandlerInt8Client* gpsModeClient = nullptr;             // gpsMode low byte, 32/31
    MessageHandlerInt8Client* gpsModeIsClient = nullptr;           // gpsModeIs low byte, 36/35
    MessageHandlerInt8Client* rcReceiverClient = nullptr;          // rcReceiver, 34/33
    MessageHandlerGPSPositionClient* currentPositionClient = nullptr;  // currentPosition, 38/37
    MessageHandlerRawClient* debugDataClient = nullptr;            // debugData bytes, 40/39
    MessageHandlerGPSWaypointClient* waypointClient = nullptr;     // waypoint, 42/41
    MessageHandler4Int16Client* dcmAccZClient = nullptr;           // dcm[0] x y z + acc[0].z, channel 0, 46/45
    MessageHandler2Vector3Dint16Client* gyrohcmClient = nullptr;   // gyro[0] + compass[0], 48/47
    MessageHandlerRawClient* debugTextClient = nullptr;            // debugText, 50/49
    MessageHandlerInt32Client* secureCommandClient = nullptr;      // secureCommand, 52/51
    MessageHandlerHeartbeatClient* heartbeatClient = nullptr;      // renews the age, 54/53
    MessageHandlerInt16Client* activControlClient = nullptr;       // activControl, 56/55
    MessageHandlerInt16Client* pwmOutputClient = nullptr;          // pwmOutput, 60/59

private:
    // The handlers, in the table's order; they form the chain, and the index
    // by data type (see Component::indexHandlers) points into them, so a
    // report reaches its own handler without passing the other 25.
    HandlerSet<ComponentVKRClient, handlerCount> handlers;
};

}  // namespace ORQ
