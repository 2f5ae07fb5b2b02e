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

    // Opens the file; false with the reason (PhotoFileRefusal's) when it is not a regular file
    // that can be read, or when its first bytes are not `signature`.
    bool open(const QString &path, const QByteArray &signature, QString *reason);

    // The size when opened.
    size_t size() const { return size_; }
    // The byte at `at`, or -1 past the end of what the file holds (it may have shrunk since).
    int byteAt(size_t at) const;
    // The bytes from `at` on that lie in one piece, as many as it returns: a hole of a sparse
    // file, which reads as zeros and so is left unread (*bytes null), or bytes read into the
    // window (*bytes pointing at them, valid until the next call). 0 at the end of the file, or
    // when the file no longer holds `at`.
    size_t stretchAt(size_t at, const uint8_t **bytes) const;
    // The file's first `count` bytes; false when it no longer holds them.
    bool read(size_t count, QByteArray *bytes) const;

private:
    bool load(size_t at) const;

    int fd_ = -1;
    size_t size_ = 0;
    mutable std::vector<uint8_t> window_;
    mutable size_t windowBegin_ = 0, windowBytes_ = 0;
    // The stretch of data (no hole) that the last stretchAt found.
    mutable size_t dataBegin_ = 0, dataEnd_ = 0;
};

// Why the file at path cannot be read as a photo file, before its bytes are looked at: it does
// not exist, it may not be read, or it is not a regular file. Null when it can be opened.
const char *PhotoFileRefusal(const QString &path);
