// Reading a photo file into the engine's padded 4:2:2 rows, and choosing the output format.
#include "photo_io.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "mapped_reads.h"
#include "yuv_planes.h"

namespace tonefold {
namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

bool IsJpeg(const uint8_t *data, size_t size) {
    return size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
}

bool IsPng(const uint8_t *data, size_t size) {
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return size >= sizeof kSignature && std::memcmp(data, kSignature, sizeof kSignature) == 0;
}

bool DecodeUpright(const uint8_t *data, size_t size, YuyvImage *image, std::string *reason,
                   PhotoTimes *times) {
    const Clock::time_point start = Clock::now();
    YuvPlanes planes;
    int orientation = 1;
    bool decoded = false;
    double packMs = 0;
    if (IsJpeg(data, size)) {
        decoded = DecodeJpeg(data, size, &planes, image, &orientation, reason, &packMs);
    } else if (IsPng(data, size)) {
        decoded = DecodePngPlanes(data, size, &planes, &orientation, reason);
    } else {
        *reason = "is not a JPEG or PNG file";
    }
    if (!decoded) return false;
    const Clock::time_point converted = Clock::now();
    if (image->pixels != nullptr) {  // packed while decoding
        if (times != nullptr) {
            times->convertMs = packMs;
            times->decodeMs = MillisecondsSince(start) - packMs;
        }
        return true;
    }
    if (orientation == 1) {
        PackYuyv(planes, image);
    } else {
        YuvPlanes upright;
        OrientPlanes(planes, orientation, &upright);
        planes = YuvPlanes();  // release the stored orientation before packing
        PackYuyv(upright, image);
    }
    if (times != nullptr) {
        times->decodeMs = std::chrono::duration<double, std::milli>(converted - start).count();
        times->convertMs = MillisecondsSince(converted);
    }
    return true;
}

}  // namespace

void PixelDeleter::operator()(uint8_t *block) const {
    if (mappedBytes != 0) {
        munmap(block, mappedBytes);
    } else {
        std::free(block);
    }
}

PixelBuffer AllocatePixels(size_t bytes) {
    constexpr size_t kHugePage = size_t{2} << 20;
    if (bytes < kHugePage) {
        void *block = std::malloc(bytes == 0 ? 1 : bytes);
        if (block == nullptr) throw std::bad_alloc();
        return PixelBuffer(static_cast<uint8_t *>(block));
    }
    const size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    if (rounded < bytes || rounded > SIZE_MAX - kHugePage) throw std::bad_alloc();
    // One huge page more than needed, so an aligned stretch lies inside; the ends go back.
    void *mapped = mmap(nullptr, rounded + kHugePage, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) throw std::bad_alloc();
    const uintptr_t start = reinterpret_cast<uintptr_t>(mapped);
    const uintptr_t aligned = (start + kHugePage - 1) & ~(uintptr_t{kHugePage} - 1);
    if (aligned > start) munmap(mapped, aligned - start);
    const size_t tail = kHugePage - (aligned - start);
    if (tail > 0) munmap(reinterpret_cast<void *>(aligned + rounded), tail);
    auto *block = reinterpret_cast<uint8_t *>(aligned);
    madvise(block, rounded, MADV_HUGEPAGE);
    return PixelBuffer(block, PixelDeleter{rounded});
}

bool DecodePhoto(const uint8_t *data, size_t size, YuyvImage *image, std::string *reason,
                 PhotoTimes *times) {
    *image = YuyvImage();
    try {
        if (DecodeUpright(data, size, image, reason, times)) return true;
    } catch (const std::bad_alloc &) {
        *reason = "does not fit in memory";
    }
    *image = YuyvImage();
    return false;
}

bool CheckPhotoHeader(const uint8_t *data, size_t size, std::string *reason,
                      UprightSize *upright) {
    UprightSize shown;
    if (upright == nullptr) upright = &shown;
    *upright = UprightSize();
    if (IsJpeg(data, size)) return CheckJpegHeader(data, size, reason, upright);
    if (IsPng(data, size)) return CheckPngHeader(data, size, reason, upright);
    *reason = "is not a JPEG or PNG file";
    return false;
}

PhotoFile::~PhotoFile() {
    if (bytes_ != nullptr) munmap(bytes_, size_);
    if (fd_ >= 0) close(fd_);
}

bool PhotoFile::Open(const std::string &path, std::string *reason) {
    // Without O_NONBLOCK, opening a FIFO would wait for a writer forever; the type is
    // checked on the opened descriptor, so the file cannot be swapped in between.
    fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd_ < 0) {
        *reason = std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (fstat(fd_, &info) != 0) {
        *reason = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        *reason = "is not a regular file";
        return false;
    }
    // The signature first, from a few bytes: a huge file of anything else costs nothing.
    uint8_t head[8] = {};
    const ssize_t got = pread(fd_, head, sizeof head, 0);
    if (got < 0) {
        *reason = std::strerror(errno);
        return false;
    }
    if (!IsJpeg(head, static_cast<size_t>(got)) && !IsPng(head, static_cast<size_t>(got))) {
        *reason = "is not a JPEG or PNG file";
        return false;
    }
    // Mapped, not read: the decoders touch only the pages they parse, so trailing bytes or a
    // file far larger than its picture cost no memory.
    const size_t size = static_cast<size_t>(info.st_size);
    void *bytes = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd_, 0);
    if (bytes == MAP_FAILED) {
        *reason = std::strerror(errno);
        return false;
    }
    bytes_ = bytes;
    size_ = size;
    // Another process may shorten the file while it is read, here and while it is decoded: its
    // lost pages read as zeros, and whatever was made of them is refused.
    const MappedReadGuard guard(bytes_, size_);
    const bool fits =
        CheckPhotoHeader(static_cast<const uint8_t *>(bytes_), size_, reason, &upright_);
    if (guard.Changed()) {
        *reason = "changed while it was read";
        return false;
    }
    return fits;
}

bool PhotoFile::Decode(YuyvImage *image, std::string *reason, PhotoTimes *times) const {
    const MappedReadGuard guard(bytes_, size_);
    const bool decoded =
        DecodePhoto(static_cast<const uint8_t *>(bytes_), size_, image, reason, times);
    if (guard.Changed()) {
        *image = YuyvImage();
        *reason = "changed while it was read";
        return false;
    }
    return decoded;
}

bool ReadPhotoFile(const std::string &path, YuyvImage *image, std::string *reason,
                   PhotoTimes *times) {
    *image = YuyvImage();
    PhotoFile file;
    return file.Open(path, reason) && file.Decode(image, reason, times);
}

PhotoFormat PhotoFormatOfPath(const std::string &path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return PhotoFormat::kUnknown;
    }
    std::string extension = path.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == "jpg" || extension == "jpeg") return PhotoFormat::kJpeg;
    if (extension == "png") return PhotoFormat::kPng;
    return PhotoFormat::kUnknown;
}

}  // namespace tonefold
