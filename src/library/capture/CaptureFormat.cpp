#include "capture/CaptureFormat.h"

#include <cstring>

#include <boost/crc.hpp>

namespace ORQ {

const uint8_t CaptureFormat::magic[8] = {'O', 'R', 'Q', 'C', 'A', 'P', '\r', '\n'};

std::vector<char> CaptureFormat::textOf(const char* text) {
    const char* s = text ? text : "";
    return std::vector<char>(s, s + std::strlen(s) + 1);
}

std::vector<uint8_t> CaptureFormat::encodeHeader(const Header& h) {
    const std::size_t given = std::strlen(h.connection.data());
    const std::size_t length = given < maxConnectionSize ? given : maxConnectionSize;
    std::vector<uint8_t> out(headerFixedSize + length + checkSize, 0);
    uint8_t* p = out.data();
    for (std::size_t i = 0; i < sizeof magic; ++i) p[i] = magic[i];
    put16(p + 8, h.version);
    put16(p + 10, static_cast<uint16_t>(out.size()));
    put64(p + 12, static_cast<uint64_t>(h.startMicros));
    p[20] = h.ownID;
    p[21] = 0;
    put16(p + 22, static_cast<uint16_t>(length));
    for (std::size_t i = 0; i < length; ++i) p[headerFixedSize + i] = static_cast<uint8_t>(h.connection[i]);
    put32(p + headerFixedSize + length, crc32(p, headerFixedSize + length));
    return out;
}

void CaptureFormat::encodeRecordHead(uint8_t* head, uint8_t kind, uint64_t micros, uint16_t length) {
    head[0] = kind;
    put64(head + 1, micros);
    put16(head + 9, length);
}

void CaptureFormat::encodeGap(uint8_t* payload, const Gap& gap) {
    put32(payload, gap.chunks);
    put32(payload + 4, gap.bytes);
    put64(payload + 8, gap.lastMicros);
}

CaptureFormat::Gap CaptureFormat::decodeGap(const uint8_t* payload) {
    Gap gap;
    gap.chunks = get32(payload);
    gap.bytes = get32(payload + 4);
    gap.lastMicros = get64(payload + 8);
    return gap;
}

uint32_t CaptureFormat::crc32(const uint8_t* bytes, std::size_t n) {
    boost::crc_32_type c;
    c.process_bytes(bytes, n);
    return c.checksum();
}

void CaptureFormat::put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void CaptureFormat::put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void CaptureFormat::put64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint16_t CaptureFormat::get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t CaptureFormat::get32(const uint8_t* p) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

uint64_t CaptureFormat::get64(const uint8_t* p) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

}  // namespace ORQ
