#include "photo_file.h"

#include <QFile>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "photo_metadata.h"

namespace {

constexpr size_t kWindowBytes = size_t{1} << 20;

// Reads count bytes at offset; false on a short read (the file shrank) or an error.
bool ReadAt(int fd, uint8_t *into, size_t count, size_t offset) {
    while (count > 0) {
        const ssize_t got = pread(fd, into, count, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        into += got;
        offset += static_cast<size_t>(got);
        count -= static_cast<size_t>(got);
    }
    return true;
}

// Opens the file for reading and takes its status, or answers -1 with errno set. Without
// O_NONBLOCK, opening a FIFO would wait for a writer forever; the type is then checked on the
// opened descriptor, so the file cannot be swapped in between.
int OpenForReading(const QString &path, struct stat *info) {
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd >= 0 && fstat(fd, info) != 0) {
        const int error = errno;
        close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

// What OpenForReading's answer means for a photo: null for a regular file.
const char *Refusal(int fd, const struct stat &info) {
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return kReasonMissing;
        if (errno == EACCES || errno == EPERM) return kReasonNoPermission;
        return kReasonNotAFile;
    }
    return S_ISREG(info.st_mode) ? nullptr : kReasonNotAFile;
}

}  // namespace

const char *PhotoFileRefusal(const QString &path) {
    struct stat info {};
    const int fd = OpenForReading(path, &info);
    const char *refusal = Refusal(fd, info);
    if (fd >= 0) close(fd);
    return refusal;
}

PhotoFile::~PhotoFile() {
    if (fd_ >= 0) close(fd_);
}

bool PhotoFile::open(const QString &path, const QByteArray &signature, QString *reason) {
    struct stat info {};
    fd_ = OpenForReading(path, &info);
    if (const char *refusal = Refusal(fd_, info)) {
        *reason = QString::fromLatin1(refusal);
        return false;
    }
    size_ = static_cast<size_t>(info.st_size);
    std::vector<uint8_t> head(static_cast<size_t>(signature.size()));
    if (!ReadAt(fd_, head.data(), head.size(), 0) ||
        std::memcmp(head.data(), signature.constData(), head.size()) != 0) {
        *reason = QString::fromLatin1(kReasonChanged);
        return false;
    }
    return true;
}

bool PhotoFile::load(size_t at) const {
    if (at - windowBegin_ < windowBytes_) return true;
    if (at >= size_) return false;
    window_.resize(kWindowBytes);
    windowBegin_ = at;
    windowBytes_ = std::min(kWindowBytes, size_ - at);
    const ssize_t got = pread(fd_, window_.data(), windowBytes_, static_cast<off_t>(at));
    windowBytes_ = got > 0 ? static_cast<size_t>(got) : 0;
    return windowBytes_ > 0;
}

int PhotoFile::byteAt(size_t at) const { return load(at) ? window_[at - windowBegin_] : -1; }

size_t PhotoFile::stretchAt(size_t at, const uint8_t **bytes) const {
    *bytes = nullptr;
    if (at >= size_) return 0;
    if (at < dataBegin_ || at >= dataEnd_) {
        // Where the next stretch of data begins and ends; without the file system's word,
        // everything counts as data.
        const off_t begin = lseek(fd_, static_cast<off_t>(at), SEEK_DATA);
        if (begin < 0 && errno == ENXIO) return size_ - at;  // nothing but a hole to the end
        dataBegin_ = begin < 0 ? at : std::min(static_cast<size_t>(begin), size_);
        const off_t end = lseek(fd_, static_cast<off_t>(dataBegin_), SEEK_HOLE);
        dataEnd_ = end < 0 || static_cast<size_t>(end) > size_ ? size_ : static_cast<size_t>(end);
        if (dataEnd_ <= dataBegin_) dataEnd_ = size_;
        if (at < dataBegin_) return dataBegin_ - at;  // a hole up to the data
    }
    if (!load(at)) return 0;
    *bytes = window_.data() + (at - windowBegin_);
    return std::min(windowBegin_ + windowBytes_, dataEnd_) - at;
}

bool PhotoFile::read(size_t count, QByteArray *bytes) const {
    if (count > size_) return false;
    bytes->resize(static_cast<qsizetype>(count));
    return ReadAt(fd_, reinterpret_cast<uint8_t *>(bytes->data()), count, 0);
}
