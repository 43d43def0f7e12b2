#pragma once
// What the payload of each data type means: its name and its values, in the
// layouts the library's handler clients read and write (little-endian
// integers; a set or request carries the data type of its report minus one,
// a set with the report's payload, a request with none). Pure functions; any
// thread.
#include <cstdint>
#include <string>

namespace ORQDump {

class PayloadFormat {
public:
    // Short name of the data type ("acc", "pressure", "typeReply", ...);
    // set types carry ".set" after the name; "" for an unknown type.
    static std::string name(uint8_t dataType);
    // The payload as "name=value" pairs separated by blanks; "" when the data
    // type is unknown or the payload does not have its length.
    static std::string values(uint8_t dataType, const uint8_t* payload, uint8_t size);
};

}  // namespace ORQDump
