#include "datamaps/DeviceKind.h"

#include "DataTypes.h"
#include "datamaps/ComponentQRNInterface.h"
#include "datamaps/ComponentVKRInterface.h"
#include "models/ComponentQRNClient.h"
#include "models/ComponentVKRClient.h"

namespace {

template <class Model>
ORQ::Component* make(uint8_t id) {
    return new Model(id);
}

// A map part on a component the kind models, so of the map's class.
template <class Model, int (*part)(Model*, int, int, int**, int*)>
int onModel(ORQ::Component& c, int dataID, int index, int** value, int* size) {
    return part(static_cast<Model*>(&c), dataID, index, value, size);
}

template <class Model, class Map>
constexpr DeviceKind kind(uint8_t code) {
    return {code, make<Model>, onModel<Model, Map::getDataKomplexPart>, onModel<Model, Map::setDataKomplexPart>};
}

constexpr DeviceKind kinds[] = {
    kind<ORQ::ComponentQRNClient, ComponentQRNInterface>(ORQ::DeviceCode::groundStation),
    kind<ORQ::ComponentVKRClient, ComponentVKRInterface>(ORQ::DeviceCode::flightBoard),
};

constexpr bool oneRowPerCode() {
    for (const DeviceKind& a : kinds) {
        int rows = 0;
        for (const DeviceKind& b : kinds) rows += b.code == a.code;
        if (rows != 1) return false;
    }
    return true;
}
static_assert(oneRowPerCode(), "one row per type code");

}  // namespace

const DeviceKind* DeviceKind::of(uint8_t code) {
    for (const DeviceKind& k : kinds) {
        if (k.code == code) return &k;
    }
    return nullptr;
}

int DeviceKind::listedCode(const ORQ::Component& c) {
    const DeviceKind* k = of(c.type);
    return k != nullptr && k->models(c) ? k->code : -1;
}

bool DeviceKind::models(const ORQ::Component& c) const { return c.deviceCode() == code; }
