#pragma once
// Reads a capture file (docs/capture.md) record by record. Only a regular
// file is read (CaptureFile): anything else is refused without blocking. It refuses a file
// whose magic, header check or version it does not know, with a message that
// says which; it hands out every whole record and stops at the first one that
// is cut short or damaged, saying where, so nothing beyond the last whole
// record is ever used.
//
// One object belongs to one thread. Nothing here throws.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "capture/CaptureFormat.h"

namespace ORQ {

class CaptureReader {
public:
    struct Record {
        uint8_t kind = CaptureFormat::KIND_NONE;
        uint64_t micros = 0;  // since the start of the capture
        std::vector<uint8_t> bytes;  // the chunk; for a gap, its encoded counts
    };

    // How reading ended.
    enum class End {
        NOT_YET,    // records may follow
        CLEAN,      // the file ends right after a whole record
        UNCLOSED,   // unwritten space follows the last record: the writer never closed the file
        TRUNCATED,  // the file ends inside a record
        DAMAGED,    // a record fails its check or has an unknown kind
        REFUSED,    // the header was refused: no record is read
    };

    // Opens the file and reads its header; see ok() and error().
    explicit CaptureReader(const char* path);
    ~CaptureReader();
    CaptureReader(const CaptureReader&) = delete;
    CaptureReader& operator=(const CaptureReader&) = delete;

    // False when the header was refused; error() says why.
    bool ok() const { return endState != End::REFUSED; }
    // Refused because the path is no regular file (a FIFO, a directory, a
    // device): it is never opened in a way that could block.
    bool notRegularFile() const { return notRegular; }
    // Why the header was refused, or why reading stopped before the end of
    // the file; empty otherwise.
    const char* error() const { return message; }
    const CaptureFormat::Header& header() const { return head; }

    // The next whole record; false at the end (see end()).
    bool next(Record& record);
    End end() const { return endState; }

private:
    // The reason, formatted like printf.
    void refuse(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void stop(End why, const char* text);
    // Reads n bytes; returns how many there were.
    std::size_t read(uint8_t* out, std::size_t n);

    std::FILE* file;  // owned
    CaptureFormat::Header head;
    End endState;
    bool notRegular;
    char message[192];
    uint64_t offset;  // of the next record
};

}  // namespace ORQ
