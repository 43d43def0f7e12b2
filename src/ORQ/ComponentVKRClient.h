#pragma once
// A flight-board model with its handlers: one client per mirrored field or
// group of fields, each wired to the field with the data type the board
// reports it in and the odd type below it for set and request messages. No
// two handlers accept the same data type. The model owns its handlers; one
// table in the source lists them, and construction, the chain's order, the
// index by data type, ownership and printSpeed all follow from it.
//
// Threads: as ComponentVKR. The handlers' send operations are called by the
// data map under the data lock; printSpeed() reads and resets the handlers'
// counters without it (diagnostics only).
#include <cstddef>
#include <cstdint>

#include "ComponentVKR.h"
#include "HandlerTable.h"
#include "MessageHandler2Vector3Dint16Client.h"
#include "MessageHandler4Int16Client.h"
#include "MessageHandlerGPSPositionClient.h"
#include "MessageHandlerGPSWaypointClient.h"
#include "MessageHandlerHeartbeatClient.h"
#include "MessageHandlerInt16Client.h"
#include "MessageHandlerInt32Client.h"
#include "MessageHandlerInt8Client.h"
#include "MessageHandlerRawClient.h"
#include "MessageHandlerVector3Dint16Client.h"

namespace ORQ {

class ComponentVKRClient : public ComponentVKR {
public:
    static constexpr std::size_t handlerCount = 26;

    // A handler that cannot be allocated stays null and is not attached.
    explicit ComponentVKRClient(uint8_t id);
    ~ComponentVKRClient() override;  // destroys the handlers, then the model
    ComponentVKRClient(const ComponentVKRClient&) = delete;
    ComponentVKRClient& operator=(const ComponentVKRClient&) = delete;

    // "[ComponentVKR] printSpeed ID ..." with the message rates of the main
    // sensor handlers over timeDiff ms (resets their counters).
    void printSpeed(uint16_t timeDiff);

    // Each handler, named after the field it mirrors (report/set data type);
    // filled by the table's rows, not owning.
    MessageHandlerVector3Dint16Client* adxlClient;       // acc, 6/5
    MessageHandlerVector3Dint16Client* gyroClient;       // gyro, 8/7
    MessageHandlerVector3Dint16Client* dcmClient;        // dcm, 16/15
    MessageHandlerVector3Dint16Client* magClient;        // compass, 10/9
    MessageHandlerInt32Client* pressureClient;           // pressure, 14/13
    MessageHandlerInt16Client* distClient;               // dist, 12/11
    MessageHandlerInt8Client* motorOnClient;             // motorOn, 20/19
    MessageHandlerInt8Client* hwStateClient;             // hwState low byte, 22/21
    MessageHandlerInt8Client* cmdClient;                 // cmd low byte, 24/23
    MessageHandlerInt16Client* HWVersionClient;          // HWversion, 26/25
    MessageHandlerInt16Client* FWVersionClient;          // FWversion, 28/27
    MessageHandlerInt16Client* FCVersionClient;          // FCversion, 58/57
    MessageHandlerInt16Client* temperatureClient;        // temperature, 30/29
    MessageHandlerInt8Client* gpsModeClient;             // gpsMode low byte, 32/31
    MessageHandlerInt8Client* gpsModeIsClient;           // gpsModeIs low byte, 36/35
    MessageHandlerInt8Client* rcReceiverClient;          // rcReceiver, 34/33
    MessageHandlerGPSPositionClient* currentPositionClient;  // currentPosition, 38/37
    MessageHandlerRawClient* debugDataClient;            // debugData bytes, 40/39
    MessageHandlerGPSWaypointClient* waypointClient;     // waypoint, 42/41
    MessageHandler4Int16Client* dcmAccZClient;           // dcm[0] x y z + acc[0].z, channel 0, 46/45
    MessageHandler2Vector3Dint16Client* gyrohcmClient;   // gyro[0] + compass[0], 48/47
    MessageHandlerRawClient* debugTextClient;            // debugText, 50/49
    MessageHandlerInt32Client* secureCommandClient;      // secureCommand, 52/51
    MessageHandlerHeartbeatClient* heartbeatClient;      // renews the age, 54/53
    MessageHandlerInt16Client* activControlClient;       // activControl, 56/55
    MessageHandlerInt16Client* pwmOutputClient;          // pwmOutput, 60/59

private:
    // The handlers, in the table's order; they form the chain.
    HandlerSet<ComponentVKRClient, handlerCount> handlers;
    // The handler of each reporting data type (see Component::indexHandlers):
    // a report reaches its own handler without passing the other 25.
    MessageHandler* handlerByType[256];
};

}  // namespace ORQ
