#include "models/ComponentVKR.h"

#include <cstring>

#include "log/LogLine.h"

namespace ORQ {

ComponentVKR::ComponentVKR(uint8_t id)
    : Component(id),
      dcmSize(2),
      accSize(1),
      gyroSize(1),
      pressure{0, 0},
      pressureSize(2),
      temperature{0, 0},
      temperatureSize(1),
      compassSize(2),
      FWversion(1),
      HWversion(256),
      FCversion(1),
      dist{},
      distSize(4),
      failSafe(0),
      pwmOutput{},
      pwmOutputSize(4),
      hwState(),  // value-initialised: every bit of the word is 0
      cmd(),
      motorOn(0),
      rcReceiver{},
      rcReceiverSize(8),
      secureCommand{0},
      secureCommandSize(1),
      gpsMode(GPSModeFree),
      gpsModeIs(GPSModeUnknown),
      oneSize(1),
      currentPositionSize(1),
      debugData{},
      debugDataSize(21),
      batteryVoltage(&debugData[0]),
      batteryCurrent(&debugData[1]),
      batteryUsedCapacity(&debugData[2]),
      rcQuality(&debugData[3]),
      mainLoopTime(&debugData[4]),
      mainLoopTimeMin(&debugData[5]),
      mainLoopTimeMax(&debugData[6]),
      simulateRCLoss(&debugData[7]),
      actGas(&debugData[8]),
      uptime(&debugData[9]),
      i2cErrors(&debugData[10]),
      sendMessageCounterRemote(&debugData[11]),
      wi_txchannel(&debugData[12]),
      wi_rxchannel(&debugData[13]),
      wi_group_id(&debugData[14]),
      newID(&debugData[15]),
      satsInUse(&debugData[16]),
      WPNumberAndIndex(&debugData[17]),
      WPHoldTime(&debugData[18]),
      FCFlags(&debugData[19]),
      NCFlags(&debugData[20]),
      debugText{},
      debugTextSize(20),
      waypointSize(90),
      activControl(0) {
    type = 1;
    // GCC's value-initialisation sets only the named bit-fields; the Int8
    // clients send the whole low byte, so every bit of both words must be 0.
    std::memset(&hwState, 0, sizeof(hwState));
    std::memset(&cmd, 0, sizeof(cmd));
    hwState.unknown = 1;
    *rcQuality = -1;
    *mainLoopTimeMin = 9999;
}

ComponentVKR::~ComponentVKR() {}

void ComponentVKR::print() {
    logLine("[ComponentVKR] ID ", unsigned(ID), " lupdate ", updateTime, " dcm ", dcm[0].x, " ", dcm[0].y, " ",
            dcm[0].z, " acc ", acc[0].x, " ", acc[0].y, " ", acc[0].z, " gyro ", gyro[0].x, " ", gyro[0].y, " ",
            gyro[0].z, " compass ", compass[0].x, " ", compass[0].y, " ", compass[0].z, " dist ", dist[0], " ", dist[1],
            " ", dist[2], " ", dist[3], " pressure ", pressure[0], " hwState ", unsigned(hwState.safeMode), " ",
            unsigned(hwState.motor), " ", unsigned(hwState.calibratedAccel), " ", unsigned(hwState.calibratedGyro),
            " gpsMode ", gpsMode, " ", gpsModeIs);
    logLine("[ComponentVKR] ID ", unsigned(ID), " cPos ", currentPosition[0].latitude, " ",
            currentPosition[0].longitude, " ", currentPosition[0].altitude, " ", unsigned(currentPosition[0].status),
            " U ", *batteryVoltage, " A ", *batteryCurrent, " mAh ", *batteryUsedCapacity, " dcm ", dcm[1].x, " ",
            dcm[1].y, " ", dcm[1].z, " rcQuality ", *rcQuality);
    logLine("[ComponentVKR] ID ", unsigned(ID), " uptime ", *uptime, " sim ", *simulateRCLoss,
            " sendMessageCounterRemote ", *sendMessageCounterRemote, " recvMessageCounter ", recvMessageCounter,
            " uptime ", *uptime);
}

}  // namespace ORQ
