#include "GPSPosition.h"

namespace ORQ {
namespace Container {

GPSPosition::GPSPosition() : longitude(0), latitude(0), altitude(0), status(0) {}

GPSPosition::~GPSPosition() {}

}  // namespace Container
}  // namespace ORQ
