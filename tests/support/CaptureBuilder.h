#pragma once
// Capture files made record by record, with the times, kinds and payloads a
// test chooses (malformed ones included): what the writer would never write
// but a file may still hold.
#include <cstdint>
#include <string>
#include <vector>

namespace ORQ {
namespace test {

class CaptureBuilder {
public:
    // A valid header (own ID 1, connection "test").
    CaptureBuilder();
    // Appends one record with a correct check.
    CaptureBuilder& add(uint8_t kind, uint64_t micros, const std::vector<uint8_t>& payload);
    // Writes the bytes to path (replacing what is there).
    void save(const std::string& path) const;

    std::vector<uint8_t> bytes;
};

}  // namespace test
}  // namespace ORQ
