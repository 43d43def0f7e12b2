#pragma once
// Which kind of link a connection string names: one row per kind, so the
// Link base knows none of its kinds and a new kind is one class and one row.
//
// Threads: create() may be called from any thread; it holds no state.
#include <memory>

#include "link/ConnectionString.h"
#include "link/Link.h"

namespace ORQ {

class LinkFactory {
public:
    // The link the connection string names, not yet started; null for a
    // string that names none.
    static std::unique_ptr<Link> create(const ConnectionString& connection);
};

}  // namespace ORQ
