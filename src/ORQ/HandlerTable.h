#pragma once
// The table a device model is built from: one row per handler. A row builds
// its handler on the field it mirrors (with that field's capacity, the data
// type the device reports it in and the set/request type below it) and fills
// the model's named member for it; `speedRank` places the handler in the
// model's printSpeed line (0: not there). Rows are in the order the handlers
// join the chain: each is linked in front, so the last row is the chain's head.
//
// Used by the models' constructors and printSpeed only; no state of its own.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>

#include "Component.h"
#include "MessageHandler.h"

namespace ORQ {

template <class Model>
struct HandlerRow {
    uint8_t reportType;
    uint8_t setType;
    uint8_t speedRank;
    const char* speedLabel;
    MessageHandler* (*make)(Model& model, uint8_t reportType, uint8_t setType);
};

template <class Model, std::size_t N>
using HandlerSet = std::array<std::unique_ptr<MessageHandler>, N>;

// Builds every row's handler into `handlers` and links it into the model's
// chain; a handler that cannot be allocated stays null and is not linked.
// With `byType` (256 entries), enters each handler under its report type and
// returns false if two rows share one.
template <class Model, std::size_t N>
bool buildHandlers(Model& model, const HandlerRow<Model> (&rows)[N], HandlerSet<Model, N>& handlers,
                   MessageHandler** byType = nullptr) {
    bool unique = true;
    for (std::size_t i = 0; i < N; ++i) {
        handlers[i].reset(rows[i].make(model, rows[i].reportType, rows[i].setType));
        MessageHandler* h = handlers[i].get();
        if (h == nullptr) continue;
        model.addMessageHandler(h);
        if (byType != nullptr) {
            if (byType[rows[i].reportType] != nullptr) unique = false;
            byType[rows[i].reportType] = h;
        }
    }
    return unique;
}

// "<prefix> printSpeed ID n lupdate t" and, by rank, each ranked handler's
// label and message rate over timeDiff ms (which resets its counter).
template <class Model, std::size_t N>
std::string speedLine(const char* prefix, const Component& model, const HandlerRow<Model> (&rows)[N],
                      const HandlerSet<Model, N>& handlers, uint16_t timeDiff) {
    std::ostringstream line;
    line << prefix << " printSpeed ID " << unsigned(model.ID) << " lupdate " << model.updateTime;
    for (uint8_t rank = 1; rank <= N; ++rank) {
        for (std::size_t i = 0; i < N; ++i) {
            if (rows[i].speedRank != rank) continue;
            MessageHandler* h = handlers[i].get();
            line << ' ' << rows[i].speedLabel << ' ' << (h != nullptr ? h->getDatarate(timeDiff) : 0u);
        }
    }
    return line.str();
}

}  // namespace ORQ
