#include "capture/CaptureFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ORQ {

namespace {

const char* kindOf(unsigned mode) {
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

}  // namespace

CaptureFile::Outcome CaptureFile::failed(int error, Reason& why) {
    char buffer[96];
    // The GNU strerror_r returns the text, in buffer or in static storage.
    std::snprintf(why.text, sizeof why.text, "%s", strerror_r(error, buffer, sizeof buffer));
    return FAILED;
}

CaptureFile::Outcome CaptureFile::refuseKind(unsigned mode, Reason& why) {
    std::snprintf(why.text, sizeof why.text, "not a regular file (%s)", kindOf(mode));
    return NOT_REGULAR;
}

CaptureFile::Outcome CaptureFile::checkedOpen(const char* path, int flags, int& fd, Reason& why) {
    fd = ::open(path, flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
    if (fd < 0) return failed(errno, why);
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        fd = -1;
        return failed(error, why);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        fd = -1;
        return refuseKind(st.st_mode, why);
    }
    // Regular files never block; the flag goes so that nothing sees it later.
    const int status = ::fcntl(fd, F_GETFL);
    if (status == -1 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) == -1) {
        const int error = errno;
        ::close(fd);
        fd = -1;
        return failed(error, why);
    }
    return OPENED;
}

CaptureFile::Outcome CaptureFile::openForReading(const char* path, int& fd, Reason& why) {
    fd = -1;
    if (path == nullptr || *path == '\0') return failed(ENOENT, why);
    struct stat st;
    if (::stat(path, &st) != 0) return failed(errno, why);
    if (!S_ISREG(st.st_mode)) return refuseKind(st.st_mode, why);
    return checkedOpen(path, O_RDONLY, fd, why);
}

CaptureFile::Outcome CaptureFile::openForWriting(const char* path, int& fd, bool& created, Reason& why) {
    fd = -1;
    created = false;
    if (path == nullptr || *path == '\0') return failed(ENOENT, why);
    struct stat st;
    if (::stat(path, &st) == 0) {
        if (!S_ISREG(st.st_mode)) return refuseKind(st.st_mode, why);
        return checkedOpen(path, O_WRONLY, fd, why);
    }
    if (errno != ENOENT) return failed(errno, why);
    const Outcome outcome = checkedOpen(path, O_WRONLY | O_CREAT | O_EXCL, fd, why);
    created = outcome == OPENED;
    return outcome;
}

CaptureFile::Identity CaptureFile::identityOf(const char* path) {
    Identity id;
    struct stat st;
    if (path != nullptr && ::stat(path, &st) == 0) {
        id.device = st.st_dev;
        id.inode = st.st_ino;
        id.known = true;
    }
    return id;
}

CaptureFile::Identity CaptureFile::identityOfDescriptor(int fd) {
    Identity id;
    struct stat st;
    if (fd >= 0 && ::fstat(fd, &st) == 0) {
        id.device = st.st_dev;
        id.inode = st.st_ino;
        id.known = true;
    }
    return id;
}

}  // namespace ORQ
