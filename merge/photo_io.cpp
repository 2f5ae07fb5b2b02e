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
#include <cstdlib>
#include <cstring>
#include <new>

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
    if (IsJpeg(data, size)) {
        decoded = DecodeJpegPlanes(data, size, &planes, &orientation, reason);
    } else if (IsPng(data, size)) {
        decoded = DecodePngPlanes(data, size, &planes, &orientation, reason);
    } else {
        *reason = "is not a JPEG or PNG file";
    }
    if (!decoded) return false;
    const Clock::time_point converted = Clock::now();
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

void FreeDeleter::operator()(uint8_t *block) const { std::free(block); }

PixelBuffer AllocatePixels(size_t bytes) {
    constexpr size_t kHugePage = size_t{2} << 20;
    void *block = nullptr;
    if (bytes >= kHugePage) {
        const size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
        block = std::aligned_alloc(kHugePage, rounded);
        if (block != nullptr) madvise(block, rounded, MADV_HUGEPAGE);
    } else {
        block = std::malloc(bytes == 0 ? 1 : bytes);
    }
    if (block == nullptr) throw std::bad_alloc();
    return PixelBuffer(static_cast<uint8_t *>(block));
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

bool ReadPhotoFile(const std::string &path, YuyvImage *image, std::string *reason,
                   PhotoTimes *times) {
    *image = YuyvImage();
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *reason = std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        *reason = "is not a regular file";
        return false;
    }
    std::unique_ptr<uint8_t[]> bytes;
    const size_t size = static_cast<size_t>(info.st_size);
    try {
        bytes = std::make_unique_for_overwrite<uint8_t[]>(std::max<size_t>(size, 1));
    } catch (const std::bad_alloc &) {
        close(fd);
        *reason = "does not fit in memory";
        return false;
    }
    size_t done = 0;
    while (done < size) {
        const ssize_t got = read(fd, bytes.get() + done, size - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            *reason = std::strerror(errno);
            close(fd);
            return false;
        }
        if (got == 0) break;
        done += static_cast<size_t>(got);
    }
    close(fd);
    // A file that shrank while being read is decoded from the bytes that arrived.
    return DecodePhoto(bytes.get(), done, image, reason, times);
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
