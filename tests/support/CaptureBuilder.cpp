#include "CaptureBuilder.h"

#include <algorithm>
#include <fstream>

#include "capture/CaptureFormat.h"

namespace ORQ {
namespace test {

CaptureBuilder::CaptureBuilder() {
    CaptureFormat::Header h;
    h.ownID = 1;
    h.connection = CaptureFormat::textOf("test");
    bytes = CaptureFormat::encodeHeader(h);
}

CaptureBuilder& CaptureBuilder::add(uint8_t kind, uint64_t micros, const std::vector<uint8_t>& payload) {
    const std::size_t at = bytes.size();
    bytes.resize(at + CaptureFormat::recordOverhead + payload.size());
    CaptureFormat::encodeRecordHead(&bytes[at], kind, micros, static_cast<uint16_t>(payload.size()));
    std::copy(payload.begin(), payload.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at + CaptureFormat::recordHeadSize));
    const std::size_t body = CaptureFormat::recordHeadSize + payload.size();
    CaptureFormat::put32(&bytes[at + body], CaptureFormat::crc32(&bytes[at], body));
    return *this;
}

void CaptureBuilder::save(const std::string& path) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace test
}  // namespace ORQ
