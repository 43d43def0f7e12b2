#include "link/LinkFactory.h"

#include "link/ReplayLink.h"
#include "link/TcpInLink.h"
#include "link/TcpLink.h"
#include "link/UartSerial.h"
#include "link/UdpLink.h"

namespace ORQ {

namespace {

template <class Kind>
std::unique_ptr<Link> make(const ConnectionString& connection) {
    return std::unique_ptr<Link>(new Kind(connection));
}

struct Row {
    ConnectionString::Kind kind;
    std::unique_ptr<Link> (*make)(const ConnectionString&);
};

const Row rows[] = {
    {ConnectionString::Serial, &make<UartSerial>},
    {ConnectionString::Tcp, &make<TcpLink>},
    {ConnectionString::UdpIn, &make<UdpLink>},
    {ConnectionString::Replay, &make<ReplayLink>},
    {ConnectionString::UdpOut, &make<UdpLink>},
    {ConnectionString::TcpIn, &make<TcpInLink>},
};

}  // namespace

std::unique_ptr<Link> LinkFactory::create(const ConnectionString& connection) {
    for (const Row& row : rows) {
        if (row.kind == connection.kind()) {
            return row.make(connection);
        }
    }
    return nullptr;
}

}  // namespace ORQ
