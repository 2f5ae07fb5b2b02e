// A photo file opened for reading: its type checked on the opened descriptor and its signature
// read on its own before anything else. Its bytes are then read through a small window, never
// the whole file at once, so a file far larger than its picture costs neither time nor memory;
// and never mapped, so a file shortened by another process while it is read gives a refusal,
// not a fault that ends the application.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <vector>

class PhotoFile {
public:
    PhotoFile() = default;
    ~PhotoFile();
    PhotoFile(const PhotoFile &) = delete;
    PhotoFile &operator=(const PhotoFile &) = delete;

    // Opens the file; false with the reason when it is not a regular file that can be read, or
    // when its first bytes are not `signature`.
    bool open(const QString &path, const QByteArray &signature, QString *reason);

    // The size when opened.
    size_t size() const { return size_; }
    // The byte at `at`, or -1 past the end of what the file holds (it may have shrunk since).
    int byteAt(size_t at) const;
    // The first 0xFF byte at or after `from`, or size() when there is none. The holes of a sparse
    // file read as zeros, so they are passed over without being read.
    size_t findFF(size_t from) const;
    // The file's first `count` bytes; false when it no longer holds them.
    bool read(size_t count, QByteArray *bytes) const;

private:
    bool load(size_t at) const;

    int fd_ = -1;
    size_t size_ = 0;
    mutable std::vector<uint8_t> window_;
    mutable size_t windowBegin_ = 0, windowBytes_ = 0;
    // The stretch of data (no hole) that the last search ended in.
    mutable size_t dataBegin_ = 0, dataEnd_ = 0;
};
