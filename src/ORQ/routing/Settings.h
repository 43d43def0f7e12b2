#pragma once
// Routing switches of the message manager.
#include <cstdint>

namespace ORQ {

struct Settings {
    uint32_t observe : 1;               // hand messages to the world model by sender
    uint32_t autoAddNewComponents : 1;  // with observe: a new sender gets a placeholder
    uint32_t route : 1;                 // stored only
    uint32_t broadcast : 1;             // stored only
};

}  // namespace ORQ
