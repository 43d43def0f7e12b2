#pragma once
// Mirror of a ground station, the unit with the remote control (component
// type 0, the code a plain placeholder carries too; deviceCode(), which only
// ComponentQRNClient answers with 0, tells them apart). Each array comes with the count of its elements in use (the
// *Size bytes; indexes below a count are valid). ComponentQRNClient wires the
// handlers that fill these fields.
//
// Threads: every field is guarded by the component's data lock: handlers
// write under it on the receive thread, the data map reads and writes under
// it on host threads. print() reads without the lock (diagnostics only).
#include <cstdint>

#include "node/Component.h"
#include "libZIR/Vector3Dint16.h"

namespace ORQ {

class ComponentQRN : public Component {
public:
    explicit ComponentQRN(uint8_t id);
    ~ComponentQRN() override;

    // Two "[ComponentQRN] ID ..." lines on standard output.
    void print();

    TALVEK::ZIR::Vector3Dint16 dcm[1];
    uint8_t dcmSize;
    TALVEK::ZIR::Vector3Dint16 acc[2];
    uint8_t accSize;
    TALVEK::ZIR::Vector3Dint16 gyro[1];
    uint8_t gyroSize;
    int32_t pressure[2];
    uint8_t pressureSize;
    int16_t temperature[2];
    uint8_t temperatureSize;
    TALVEK::ZIR::Vector3Dint16 compass[3];
    uint8_t compassSize;
    uint8_t rcSender[8];
    uint8_t rcSenderSize;
    uint8_t rcReceiver[8];
    uint8_t rcReceiverSize;
    int32_t secureCommand[1];
    uint8_t secureCommandSize;

    // The station's debug block: 10 int16 values, element k in payload bytes
    // 2k (low) and 2k+1 (high). The views below point at its elements for the
    // whole life of the object.
    int16_t debugData[10];
    uint8_t debugDataSize;
    int16_t* schuelerMode;
    int16_t* i2cError;
    int16_t* mainLoopTime;
    int16_t* mainLoopTimeMin;
    int16_t* mainLoopTimeMax;
    int16_t* wi_txchannel;
    int16_t* wi_rxchannel;
    int16_t* wi_group_id;
    int16_t* newID;  // hides Component::newID
    int16_t* uptime;

    uint16_t FWversion;
    uint16_t HWversion;
    uint8_t oneSize;  // count of every single-valued field
    uint16_t activControl;
};

}  // namespace ORQ
