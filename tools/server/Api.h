#pragma once
// The server's answers: each HTTP request to a response, with every check of
// the input (method, path, numbers and their ranges, body, token) made here.
// Bad input gets a 4xx with a JSON body {"error": "..."}.
//
//   GET /api/nodes                              nodes with type, alive flag, age
//   GET /api/nodes/{id}                         all readable values of a node
//   GET /api/nodes/{id}/{dataId}[/{index}]      one value; 404 when the node has none
//   GET /api/link                               link statistics, connection string
//   GET /api/names                              every data ID by device type, with its unit
//   GET /api/history                            the last minute of charted values and sets
//   PUT /api/nodes/{id}/{dataId}[/{index}]      {"value": v}: a set; 409 when refused
//   GET /api/stream?hz=N (WebSocket upgrade)    admitted by admitStream
//   GET /, /{file}                              the dashboard
//
// {dataId} is a number (0 to 255) or a name exactly as the names list spells
// it for the node's type ("GPS_MODE"); a name of no row of that type is 404.
// Every value comes as the raw integer with, beside it, the value in its unit
// ("inUnit") and the unit's symbol (DataUnit: "raw" when not known).
//
// With a token, sets and the stream need "Authorization: Bearer TOKEN" (a
// browser's stream may offer the subprotocol "bearer.TOKEN" instead, as it
// cannot set headers there; no other request may); reads need it too unless
// reads are open. The dashboard's files are always open: they hold no data.
//
// With open reads (the loopback address), every API request and the stream
// must name this host as a loopback host: Host is "localhost" (any case), an
// IPv4 address of 127.0.0.0/8 in its plain dotted form, or "[::1]", with an
// optional port. On any address, an Origin, when sent, must be "http://"
// followed by that same Host. One Host and at most one Origin field.
//
// Holds no state of its own beyond its options; every set made through it is
// recorded into the History it is given, so handle() runs on the server's
// one I/O thread, as that history does.
#include <string>

#include <boost/beast/http.hpp>

#include "DataNames.h"

class History;
class StaticFiles;
class Vehicle;

class Api {
public:
    using Request = boost::beast::http::request<boost::beast::http::string_body>;
    using Response = boost::beast::http::response<boost::beast::http::string_body>;

    struct Options {
        std::string connection;   // as passed to init
        std::string token;        // empty: none
        bool openReads = true;    // reads without the token (loopback only)
    };

    static constexpr size_t maxBody = 1024;
    static constexpr int maxStreamHz = 50;
    static constexpr int defaultStreamHz = 10;

    Api(const Vehicle& vehicle, const StaticFiles& files, History& history, const Options& options);

    Response handle(const Request& request) const;
    // For a WebSocket upgrade request: true with the client's rate when it may
    // stream; otherwise false with the answer to send instead.
    bool admitStream(const Request& request, int& hz, Response& refusal) const;
    // The subprotocol to accept in the stream's handshake: "orq" when offered
    // (as the dashboard does beside its token), else the "bearer." one that
    // carried the token, else none. A browser drops a stream whose answer
    // names none of the subprotocols it offered.
    std::string streamProtocol(const Request& request) const;
    // Whether a request header states its body's length one way only: by
    // Content-Length, or by a lone "chunked" Transfer-Encoding (any case).
    // Anything else may be read otherwise by a proxy in front of the server,
    // and a second request smuggled in the body.
    static bool plainFraming(const Request& request);

    static Response error(const Request& request, boost::beast::http::status status, const std::string& text);
    // Compares in time that depends on the expected token's length only.
    static bool sameToken(const std::string& given, const std::string& expected);

private:
    // upgrade: the request opens a WebSocket, the one place the token may
    // come as a subprotocol.
    bool authorised(const Request& request, bool upgrade) const;
    // The offered "bearer." subprotocol that carries the token; empty when none.
    std::string tokenProtocol(const Request& request) const;
    bool hostAllowed(const Request& request) const;
    static bool originAllowed(const Request& request);
    Response reply(const Request& request, boost::beast::http::status status, const std::string& body) const;
    Response nodes(const Request& request) const;
    Response node(const Request& request, int id) const;
    Response link(const Request& request) const;
    Response names(const Request& request) const;
    Response history(const Request& request) const;
    // The row a {dataId} segment names on node id, by number or by name; with
    // a number, the row may be null (an ID the names do not list). False with
    // the answer to send when a name does not fit the node.
    bool resolve(const Request& request, int id, const std::string& segment, int& dataID, const DataNames::Row*& row,
                 Response& refusal) const;
    Response value(const Request& request, int id, int dataID, const DataNames::Row* row, int index) const;
    Response set(const Request& request, int id, int dataID, const DataNames::Row* row, int index) const;
    Response file(const Request& request, const std::string& path) const;

    const Vehicle& vehicle;
    const StaticFiles& files;
    History& recent;
    Options options;
};
