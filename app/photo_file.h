// A photo file opened for decoding: its type checked on the opened descriptor, its signature read
// on its own, then the whole file mapped read-only. Mapped, not read: the decoders touch only the
// pages they parse, so a file far larger than its picture costs no memory.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

class PhotoFile {
public:
    PhotoFile() = default;
    ~PhotoFile();
    PhotoFile(const PhotoFile &) = delete;
    PhotoFile &operator=(const PhotoFile &) = delete;

    // Opens and maps the file; false with the reason when it is not a regular file that can be
    // read, when it is empty, or when its first bytes are not `signature` (then nothing is mapped).
    bool open(const QString &path, const QByteArray &signature, QString *reason);

    const uint8_t *data() const { return data_; }
    size_t size() const { return size_; }
    // The mapped bytes, borrowed: valid while this object lives.
    QByteArray bytes() const;

    // The first 0xFF byte at or after `from`, or size() when there is none. The holes of a sparse
    // file read as zeros, so they are passed over without being read.
    size_t findFF(size_t from) const;

private:
    int fd_ = -1;
    const uint8_t *data_ = nullptr;
    size_t size_ = 0;
    // The stretch of data (no hole) that the last search ended in.
    mutable size_t dataBegin_ = 0, dataEnd_ = 0;
};
