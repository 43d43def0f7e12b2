#include "models/ComponentQRN.h"

#include "log/LogLine.h"

namespace ORQ {

ComponentQRN::ComponentQRN(uint8_t id)
    : Component(id),
      dcmSize(1),
      accSize(1),
      gyroSize(1),
      pressure{0, 0},
      pressureSize(1),
      temperature{0, 0},
      temperatureSize(1),
      compassSize(2),
      rcSender{0, 128, 128, 128, 128, 128, 128, 128},
      rcSenderSize(8),
      rcReceiver{},
      rcReceiverSize(8),
      secureCommand{0},
      secureCommandSize(1),
      debugData{},
      debugDataSize(10),
      schuelerMode(&debugData[0]),
      i2cError(&debugData[1]),
      mainLoopTime(&debugData[2]),
      mainLoopTimeMin(&debugData[3]),
      mainLoopTimeMax(&debugData[4]),
      wi_txchannel(&debugData[5]),
      wi_rxchannel(&debugData[6]),
      wi_group_id(&debugData[7]),
      newID(&debugData[8]),
      uptime(&debugData[9]),
      FWversion(1),
      HWversion(256),
      oneSize(1),
      activControl(0) {
    type = 0;
    *mainLoopTimeMin = 9999;
}

ComponentQRN::~ComponentQRN() {}

void ComponentQRN::print() {
    logLine("[ComponentQRN] ID ", unsigned(ID), " lupdate ", updateTime, " imu ", dcm[0].x, " ", dcm[0].y, " ",
            dcm[0].z, " acc ", acc[0].x, " ", acc[0].y, " ", acc[0].z, " gyro ", gyro[0].x, " ", gyro[0].y, " ",
            gyro[0].z, " compass ", compass[0].x, " ", compass[0].y, " ", compass[0].z, " pressure ", pressure[0],
            " rcSender ", unsigned(rcSender[0]), " ", unsigned(rcSender[1]), " ", unsigned(rcSender[2]), " ",
            unsigned(rcSender[3]), " rcReceiver ", unsigned(rcReceiver[0]), " ", unsigned(rcReceiver[1]), " ",
            unsigned(rcReceiver[2]), " ", unsigned(rcReceiver[3]));
    logLine("[ComponentQRN] ID ", unsigned(ID), " mainLoop Time/min/max ", *mainLoopTime, "/", *mainLoopTimeMin, "/",
            *mainLoopTimeMax);
}

}  // namespace ORQ
