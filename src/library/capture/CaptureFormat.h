#pragma once
// The byte layout of a capture file (docs/capture.md): the header that opens
// it and the records that follow, shared by the writer and the reader so the
// two cannot drift apart. All integers are little-endian. Every function is
// pure and may be called from any thread.
//
// Texts are kept in vectors rather than std::string: the library's own
// allocation operators must free what they allocated (see Allocation.cpp).
#include <cstddef>
#include <cstdint>
#include <vector>

namespace ORQ {

class CaptureFormat {
public:
    static const uint8_t magic[8];  // "ORQCAP\r\n"
    static constexpr uint16_t version = 1;

    // Header: magic, version, header length, start time, own ID, reserved,
    // connection length, connection string, CRC-32.
    static constexpr std::size_t headerFixedSize = 24;
    static constexpr std::size_t checkSize = 4;
    static constexpr std::size_t maxConnectionSize = 1024;

    // Record: kind, time, payload length, payload, CRC-32.
    static constexpr std::size_t recordHeadSize = 11;
    static constexpr std::size_t recordOverhead = recordHeadSize + checkSize;
    static constexpr std::size_t maxPayload = 65535;
    static constexpr std::size_t gapPayloadSize = 16;
    static constexpr std::size_t gapRecordSize = recordOverhead + gapPayloadSize;

    enum Kind : uint8_t {
        KIND_NONE = 0,      // never written: space after the last record of an unclosed capture
        KIND_RECEIVED = 1,  // bytes read from the link
        KIND_WRITTEN = 2,   // bytes written to the link
        KIND_GAP = 3,       // chunks the writer had to drop
    };

    struct Header {
        uint16_t version = CaptureFormat::version;
        int64_t startMicros = 0;  // wall clock at the start, microseconds since 1970 (UTC)
        uint8_t ownID = 0;
        std::vector<char> connection = std::vector<char>(1, '\0');  // NUL-terminated
        const char* connectionText() const { return connection.data(); }
    };

    struct Gap {
        uint32_t chunks = 0;
        uint32_t bytes = 0;
        uint64_t lastMicros = 0;  // time of the last chunk lost; the record's time is the first
    };

    // The encoded header (connection strings longer than maxConnectionSize are cut).
    static std::vector<uint8_t> encodeHeader(const Header& h);
    // A NUL-terminated copy of text (null: "").
    static std::vector<char> textOf(const char* text);
    // Writes a record's kind, time and length into head (recordHeadSize bytes).
    static void encodeRecordHead(uint8_t* head, uint8_t kind, uint64_t micros, uint16_t length);
    static void encodeGap(uint8_t* payload, const Gap& gap);
    static Gap decodeGap(const uint8_t* payload);

    // CRC-32 (IEEE 802.3, as zlib computes it) of n bytes.
    static uint32_t crc32(const uint8_t* bytes, std::size_t n);

    static void put16(uint8_t* p, uint16_t v);
    static void put32(uint8_t* p, uint32_t v);
    static void put64(uint8_t* p, uint64_t v);
    static uint16_t get16(const uint8_t* p);
    static uint32_t get32(const uint8_t* p);
    static uint64_t get64(const uint8_t* p);
};

}  // namespace ORQ
