#pragma once
// The table a device model is built from: one row per handler. A row names
// the model's member it fills (whose type is the handler's kind) and the
// fields the handler mirrors, as template arguments of row(); it holds the
// data types the device reports the value in and the library sets it in,
// the capacity the fields give, whether each set is an action, and the
// handler's place in the model's printSpeed line. Construction, the chain's
// order (and with it the component's index by data type), ownership
// (HandlerSet: every handler in one block) and printSpeed all come from the
// rows. Rows are in the order the
// handlers join the chain: each is linked in front, so the last row is the
// chain's head.
//
// Used by the models' constructors, destructors and printSpeed only.
// Threads: a HandlerSet belongs to its model and follows the model's rules.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <sstream>
#include <string>
#include <type_traits>

#include "node/Component.h"
#include "DataTypes.h"
#include "node/MessageHandler.h"
#include "handlers/MessageHandler2Vector3Dint16Client.h"
#include "handlers/MessageHandler4Int16Client.h"
#include "handlers/MessageHandlerGPSPositionClient.h"
#include "handlers/MessageHandlerGPSWaypointClient.h"
#include "handlers/MessageHandlerHeartbeatClient.h"
#include "handlers/MessageHandlerInt16Client.h"
#include "handlers/MessageHandlerInt32Client.h"
#include "handlers/MessageHandlerInt8Client.h"
#include "handlers/MessageHandlerRawClient.h"
#include "handlers/MessageHandlerVector3Dint16Client.h"

namespace ORQ {

template <class Model>
struct HandlerRow {
    uint8_t reportType;
    uint8_t setType;
    uint8_t capacity;  // elements of the mirrored array (1: a single value; bytes of a raw block)
    bool actions;      // each set is carried out once: never merged with a queued one
    uint8_t speedRank;  // place in printSpeed (0: not there)
    const char* speedLabel;
    std::size_t size;   // of the handler object
    std::size_t align;
    // Builds the handler at `at` on the row's fields and fills the named member.
    MessageHandler* (*build)(Model& model, void* at, const HandlerRow& row);
};

// printSpeed place of a row.
struct SpeedColumn {
    uint8_t rank;
    const char* label;
};
constexpr SpeedColumn notInSpeed{0, nullptr};

enum class Sets : bool { states, actions };

namespace handlerTable {

template <class Member>
struct MemberOf;
template <class T, class M>
struct MemberOf<T M::*> {
    using Type = T;
    using Owner = M;
};
template <auto Member>
using FieldType = typename MemberOf<decltype(Member)>::Type;

// Elements of a field: an array's length, 1 for a single value.
template <class T>
constexpr uint8_t countOf = std::is_array<T>::value ? static_cast<uint8_t>(std::extent<T>::value) : 1;

template <class T, std::size_t N>
T* firstOf(T (&array)[N]) {
    return array;
}
template <class T>
T* firstOf(T& value) {
    return &value;
}
// The 8- and 16-bit clients store the low bytes of wider or unsigned fields.
template <class To, class T>
To* as(T& field) {
    return reinterpret_cast<To*>(firstOf(field));
}

// How each kind of handler is wired to its row's fields (an array with its
// in-use count, or the kind's own shape below).
template <class Client>
struct Wiring {
    template <auto Field, auto Count>
    static constexpr uint8_t capacity() {
        return countOf<FieldType<Field>>;
    }
    template <auto Field, auto Count, class Model>
    static Client* make(void* at, Model& m, const HandlerRow<Model>& r) {
        using Element = std::remove_pointer_t<std::remove_reference_t<decltype(Client::data)>>;
        return new (at) Client(as<Element>(m.*Field), &(m.*Count), r.reportType, r.setType, r.capacity);
    }
};

// A block of bytes, filled from the start by reports of any length.
template <>
struct Wiring<MessageHandlerRawClient> {
    template <auto Field>
    static constexpr uint8_t capacity() {
        return static_cast<uint8_t>(sizeof(FieldType<Field>));
    }
    template <auto Field, class Model>
    static MessageHandlerRawClient* make(void* at, Model& m, const HandlerRow<Model>& r) {
        return new (at) MessageHandlerRawClient(as<int8_t>(m.*Field), r.capacity, r.reportType, r.setType);
    }
};

// No field: a report renews the age only.
template <>
struct Wiring<MessageHandlerHeartbeatClient> {
    template <int = 0>
    static constexpr uint8_t capacity() {
        return 0;
    }
    template <int = 0, class Model>
    static MessageHandlerHeartbeatClient* make(void* at, Model&, const HandlerRow<Model>& r) {
        return new (at) MessageHandlerHeartbeatClient(r.reportType, r.setType);
    }
};

// Element n of two arrays: only the channels both arrays have.
template <>
struct Wiring<MessageHandler2Vector3Dint16Client> {
    template <auto First, auto Second, auto Count>
    static constexpr uint8_t capacity() {
        return std::min(countOf<FieldType<First>>, countOf<FieldType<Second>>);
    }
    template <auto First, auto Second, auto Count, class Model>
    static MessageHandler2Vector3Dint16Client* make(void* at, Model& m, const HandlerRow<Model>& r) {
        return new (at) MessageHandler2Vector3Dint16Client(firstOf(m.*First), firstOf(m.*Second), &(m.*Count),
                                                           r.reportType, r.setType, r.capacity);
    }
};

// x, y, z of the first vector's element 0 and z of the second's, on channel 0.
template <>
struct Wiring<MessageHandler4Int16Client> {
    template <auto Vectors, auto Fourth>
    static constexpr uint8_t capacity() {
        return 1;
    }
    template <auto Vectors, auto Fourth, class Model>
    static MessageHandler4Int16Client* make(void* at, Model& m, const HandlerRow<Model>& r) {
        auto& v = (m.*Vectors)[0];
        return new (at) MessageHandler4Int16Client(&v.x, &v.y, &v.z, &(m.*Fourth)[0].z, 0, r.reportType, r.setType);
    }
};

template <auto Named, auto... Fields, class Model>
MessageHandler* build(Model& m, void* at, const HandlerRow<Model>& r) {
    using Client = std::remove_pointer_t<FieldType<Named>>;
    Client* h = Wiring<Client>::template make<Fields...>(at, m, r);
    h->properties.action = r.actions ? 1 : 0;
    m.*Named = h;
    return h;
}

}  // namespace handlerTable

// The row of the handler that fills model member Named, wired to Fields.
template <auto Named, auto... Fields>
constexpr auto row(DataType::Pair types, SpeedColumn speed = notInSpeed, Sets sets = Sets::states) {
    using Model = typename handlerTable::MemberOf<decltype(Named)>::Owner;
    using Client = std::remove_pointer_t<handlerTable::FieldType<Named>>;
    return HandlerRow<Model>{types.report,
                             types.set,
                             handlerTable::Wiring<Client>::template capacity<Fields...>(),
                             sets == Sets::actions,
                             speed.rank,
                             speed.label,
                             sizeof(Client),
                             alignof(Client),
                             &handlerTable::build<Named, Fields...>};
}

// True when no two rows take the same report type: a report is mirrored once.
template <class Model, std::size_t N>
constexpr bool distinctReportTypes(const HandlerRow<Model> (&rows)[N]) {
    for (std::size_t i = 0; i < N; ++i) {
        for (std::size_t j = i + 1; j < N; ++j) {
            if (rows[i].reportType == rows[j].reportType) return false;
        }
    }
    return true;
}

// Owns a model's handlers: all of them in one block, built from the rows
// and destroyed with the set, last row first.
template <class Model, std::size_t N>
class HandlerSet {
public:
    static_assert(N <= Component::maxHandlers, "a component indexes at most maxHandlers handlers");

    explicit HandlerSet(const HandlerRow<Model> (&table)[N]) : rows(table), handlers{} {}
    ~HandlerSet() {
        for (std::size_t i = N; i-- > 0;) {
            if (handlers[i] != nullptr) handlers[i]->~MessageHandler();
        }
    }
    HandlerSet(const HandlerSet&) = delete;
    HandlerSet& operator=(const HandlerSet&) = delete;

    // Builds every row's handler and links it into the model's chain. False,
    // with no handler built, when the block cannot be allocated.
    bool build(Model& model) {
        std::size_t offsets[N];
        std::size_t end = 0;
        for (std::size_t i = 0; i < N; ++i) {
            offsets[i] = (end + rows[i].align - 1) / rows[i].align * rows[i].align;
            end = offsets[i] + rows[i].size;
        }
        block.reset(new (std::nothrow) unsigned char[end]);
        if (!block) return false;
        for (std::size_t i = 0; i < N; ++i) {
            handlers[i] = rows[i].build(model, block.get() + offsets[i], rows[i]);
            // Never refused: N fits (above), and the model has no handlers of its own.
            model.addMessageHandler(handlers[i]);
        }
        return true;
    }

    // "<prefix> printSpeed ID n lupdate t" and, by rank, each ranked
    // handler's label and message rate over timeDiff ms (which resets its
    // counter).
    std::string speedLine(const char* prefix, const Component& model, uint16_t timeDiff) const {
        std::ostringstream line;
        line << prefix << " printSpeed ID " << unsigned(model.ID) << " lupdate " << model.updateTime;
        for (uint8_t rank = 1; rank <= N; ++rank) {
            for (std::size_t i = 0; i < N; ++i) {
                if (rows[i].speedRank != rank) continue;
                MessageHandler* h = handlers[i];
                line << ' ' << rows[i].speedLabel << ' ' << (h != nullptr ? h->getDatarate(timeDiff) : 0u);
            }
        }
        return line.str();
    }

private:
    const HandlerRow<Model> (&rows)[N];
    std::unique_ptr<unsigned char[]> block;  // the handlers' storage
    MessageHandler* handlers[N];             // row i's handler in the block, or null
};

}  // namespace ORQ
