#include "photo_file.h"

#include <QFile>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "photo_metadata.h"

PhotoFile::~PhotoFile() {
    if (data_) munmap(const_cast<uint8_t *>(data_), size_);
    if (fd_ >= 0) close(fd_);
}

bool PhotoFile::open(const QString &path, const QByteArray &signature, QString *reason) {
    // Without O_NONBLOCK, opening a FIFO would wait for a writer forever; the type is checked on
    // the opened descriptor, so the file cannot be swapped in between.
    fd_ = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    struct stat info {};
    if (fd_ < 0 || fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0) {
        *reason = QString::fromLatin1(kReasonNotAFile);
        return false;
    }
    // The signature first, from a few bytes: a huge file of anything else costs nothing.
    std::vector<char> head(static_cast<size_t>(signature.size()));
    if (pread(fd_, head.data(), head.size(), 0) != static_cast<ssize_t>(head.size()) ||
        std::memcmp(head.data(), signature.constData(), head.size()) != 0) {
        *reason = QString::fromLatin1(kReasonChanged);
        return false;
    }
    size_ = static_cast<size_t>(info.st_size);
    void *mapped = mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd_, 0);
    if (mapped == MAP_FAILED) {
        *reason = QString::fromLocal8Bit(std::strerror(errno));
        size_ = 0;
        return false;
    }
    data_ = static_cast<const uint8_t *>(mapped);
    dataBegin_ = dataEnd_ = 0;
    return true;
}

QByteArray PhotoFile::bytes() const {
    return QByteArray::fromRawData(reinterpret_cast<const char *>(data_),
                                   static_cast<qsizetype>(size_));
}

size_t PhotoFile::findFF(size_t from) const {
    while (from < size_) {
        if (from < dataBegin_ || from >= dataEnd_) {
            // Where the next stretch of data begins and ends; without the file system's word,
            // everything counts as data.
            const off_t begin = lseek(fd_, static_cast<off_t>(from), SEEK_DATA);
            if (begin < 0 && errno == ENXIO) return size_;  // nothing but a hole to the end
            const off_t end = begin < 0 ? -1 : lseek(fd_, begin, SEEK_HOLE);
            dataBegin_ = begin < 0 ? from : static_cast<size_t>(begin);
            dataEnd_ = end < 0 || static_cast<size_t>(end) > size_ ? size_ : static_cast<size_t>(end);
            if (dataBegin_ >= size_) return size_;
            from = std::max(from, dataBegin_);
        }
        const void *found = std::memchr(data_ + from, 0xFF, dataEnd_ - from);
        if (found) return static_cast<size_t>(static_cast<const uint8_t *>(found) - data_);
        from = dataEnd_;
    }
    return size_;
}
