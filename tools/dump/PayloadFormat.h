#pragma once
// What the payload of each data type means: its name and its fields, in the
// layouts the library's handler clients read and write (little-endian
// integers; a set or request carries the data type of its report minus one,
// a set with the report's payload, a request with none). Each field names
// the row of DataIds.def that holds the same value, and so its unit, which
// every tool reads through DataUnit. Pure functions; any thread.
#include <cstdint>
#include <string>
#include <vector>

#include "DataUnit.h"

namespace ORQDump {

class PayloadFormat {
public:
    // One field of a report: its name in the report ("x", "batteryVoltage")
    // and its unit.
    struct Column {
        std::string field;
        DataUnit unit;
    };
    struct Value {
        const Column* column;
        int64_t raw;        // integer fields
        std::string text;   // the text field of debugText (printable ASCII, others as '?')
        bool isText;
    };

    // Short name of the data type ("acc", "pressure", "typeReply", ...);
    // set types carry ".set" after the name; "" for an unknown type.
    static std::string name(uint8_t dataType);
    // The type's number by name() ("acc", "acc.set"); -1 for none.
    static int number(const std::string& name);
    // The fields a payload of this type may carry (a set's are its
    // report's), in payload order; those of every layout the type has (the
    // debug block of either device). Empty for a type without fields.
    static const std::vector<Column>& columns(uint8_t dataType);
    // The payload's fields. False when the data type is unknown or the
    // payload does not have its length; a request (no payload) has none.
    static bool decode(uint8_t dataType, const uint8_t* payload, uint8_t size, std::vector<Value>& out);
    // Whether this payload is a request: a type request, or a set without a payload.
    static bool isRequest(uint8_t dataType, uint8_t size);
    // The fields as "name=value unit" pairs separated by ", " ("x=0.981 g, ...").
    static std::string text(const std::vector<Value>& values);
    // The value in its unit as a table cell: the scaled number, or the text.
    static std::string cell(const Value& value);
};

}  // namespace ORQDump
