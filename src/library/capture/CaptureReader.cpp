#include "capture/CaptureReader.h"

#include <cerrno>
#include <cstdarg>
#include <cinttypes>
#include <cstring>
#include <unistd.h>

#include "capture/CaptureFile.h"

namespace ORQ {

CaptureReader::CaptureReader(const char* path)
    : file(nullptr), endState(End::NOT_YET), notRegular(false), message(), offset(0) {
    CaptureFile::Reason why;
    int fd = -1;
    const CaptureFile::Outcome opened = CaptureFile::openForReading(path, fd, why);
    if (opened == CaptureFile::OPENED) {
        file = ::fdopen(fd, "rb");
        if (file == nullptr) {
            std::snprintf(why.text, sizeof why.text, "%s", std::strerror(errno));
            ::close(fd);
        }
    }
    if (file == nullptr) {
        notRegular = opened == CaptureFile::NOT_REGULAR;
        refuse("cannot open %s: %s", path ? path : "", why.text);
        return;
    }
    uint8_t fixed[CaptureFormat::headerFixedSize];
    const std::size_t got = read(fixed, sizeof fixed);
    if (got < sizeof CaptureFormat::magic || std::memcmp(fixed, CaptureFormat::magic, sizeof CaptureFormat::magic) != 0) {
        refuse("not a capture file (bad magic number)");
        return;
    }
    if (got < sizeof fixed) {
        refuse("corrupt header: the file ends inside it");
        return;
    }
    head.version = CaptureFormat::get16(fixed + 8);
    if (head.version > CaptureFormat::version) {
        refuse("capture format version %u is newer than this reader (version %u)", unsigned(head.version),
               unsigned(CaptureFormat::version));
        return;
    }
    const std::size_t connectionSize = CaptureFormat::get16(fixed + 22);
    const std::size_t headerSize = CaptureFormat::get16(fixed + 10);
    if (head.version == 0 || connectionSize > CaptureFormat::maxConnectionSize ||
        headerSize != CaptureFormat::headerFixedSize + connectionSize + CaptureFormat::checkSize) {
        refuse("corrupt header: inconsistent version or lengths");
        return;
    }
    std::vector<uint8_t> all(fixed, fixed + sizeof fixed);
    all.resize(headerSize);
    if (read(&all[sizeof fixed], headerSize - sizeof fixed) != headerSize - sizeof fixed) {
        refuse("corrupt header: the file ends inside it");
        return;
    }
    const std::size_t body = headerSize - CaptureFormat::checkSize;
    if (CaptureFormat::crc32(all.data(), body) != CaptureFormat::get32(&all[body])) {
        refuse("corrupt header: check mismatch");
        return;
    }
    head.startMicros = static_cast<int64_t>(CaptureFormat::get64(&all[12]));
    head.ownID = all[20];
    const char* text = reinterpret_cast<const char*>(&all[CaptureFormat::headerFixedSize]);
    head.connection.assign(text, text + connectionSize);
    head.connection.push_back('\0');
    offset = headerSize;
}

CaptureReader::~CaptureReader() {
    if (file != nullptr) std::fclose(file);
}

void CaptureReader::refuse(const char* format, ...) {
    endState = End::REFUSED;
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
}

void CaptureReader::stop(End why, const char* text) {
    endState = why;
    if (*text != '\0') std::snprintf(message, sizeof message, "%s at offset %" PRIu64, text, offset);
}

std::size_t CaptureReader::read(uint8_t* out, std::size_t n) {
    return n == 0 ? 0 : std::fread(out, 1, n, file);
}

bool CaptureReader::next(Record& record) {
    if (endState != End::NOT_YET) return false;
    uint8_t headBytes[CaptureFormat::recordHeadSize];
    const std::size_t got = read(headBytes, sizeof headBytes);
    if (got == 0) {
        stop(End::CLEAN, "");
        return false;
    }
    if (headBytes[0] == CaptureFormat::KIND_NONE) {
        stop(End::UNCLOSED, "capture not closed: no record after the last whole one");
        return false;
    }
    if (got < sizeof headBytes) {
        stop(End::TRUNCATED, "capture truncated: the file ends inside a record");
        return false;
    }
    const uint8_t kind = headBytes[0];
    const std::size_t n = CaptureFormat::get16(headBytes + 9);
    std::vector<uint8_t> whole(headBytes, headBytes + sizeof headBytes);
    whole.resize(sizeof headBytes + n + CaptureFormat::checkSize);
    if (read(&whole[sizeof headBytes], n + CaptureFormat::checkSize) != n + CaptureFormat::checkSize) {
        stop(End::TRUNCATED, "capture truncated: the file ends inside a record");
        return false;
    }
    const std::size_t body = sizeof headBytes + n;
    const bool knownKind = kind == CaptureFormat::KIND_RECEIVED || kind == CaptureFormat::KIND_WRITTEN ||
                           (kind == CaptureFormat::KIND_GAP && n == CaptureFormat::gapPayloadSize);
    if (!knownKind || CaptureFormat::crc32(whole.data(), body) != CaptureFormat::get32(&whole[body])) {
        stop(End::DAMAGED, "damaged record");
        return false;
    }
    record.kind = kind;
    record.micros = CaptureFormat::get64(headBytes + 1);
    record.bytes.assign(whole.data() + sizeof headBytes, whole.data() + body);
    offset += whole.size();
    return true;
}

}  // namespace ORQ
