#pragma once
// Opens the paths a user names for capture files (startCapture, ORQ_CAPTURE,
// replay://, orq-dump) without ever blocking on them: only regular files are
// used. A FIFO would block the open until a peer appears, a device may act
// on being opened: each is looked at with stat first, opened with O_NONBLOCK
// and O_NOCTTY, checked again with fstat (the path may have changed in
// between), and refused with the reason. Nothing here truncates a file.
//
// Stateless; any thread.
#include <sys/types.h>

namespace ORQ {

class CaptureFile {
public:
    // Why a path was refused, for the log line or the tool's message.
    struct Reason {
        char text[128] = "";
    };

    enum Outcome {
        OPENED,
        FAILED,       // the system refused (missing, no permission, ...): Reason has its text
        NOT_REGULAR,  // the path is a FIFO, a directory, a device, ...
    };

    // Which file a descriptor or a path is, whatever its spelling or links.
    struct Identity {
        dev_t device = 0;
        ino_t inode = 0;
        bool known = false;
        bool sameAs(const Identity& other) const {
            return known && other.known && device == other.device && inode == other.inode;
        }
    };

    // A blocking read-only descriptor of the regular file at path, or -1.
    static Outcome openForReading(const char* path, int& fd, Reason& why);
    // A blocking write-only descriptor of the regular file at path, created
    // (0644) when there is none, or -1; `created` tells which.
    static Outcome openForWriting(const char* path, int& fd, bool& created, Reason& why);

    // Unknown when the path names nothing.
    static Identity identityOf(const char* path);
    static Identity identityOfDescriptor(int fd);

private:
    static Outcome checkedOpen(const char* path, int flags, int& fd, Reason& why);
    static Outcome refuseKind(unsigned mode, Reason& why);
    static Outcome failed(int error, Reason& why);
};

}  // namespace ORQ
