// Photo reading and writing for the merge program: JPEG and PNG to and from packed 4:2:2.
//
// JPEG is decoded straight to its YUV planes and encoded from 4:2:2 planes, so a JPEG photo
// never passes through RGB. PNG goes through RGB with the full-range (JPEG) BT.601 matrix, the
// same colour space the JPEG planes use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tonefold {

// Photos above this many pixels are refused before anything is allocated for them.
constexpr int64_t kMaxPhotoPixels = 100'000'000;
constexpr int64_t kMaxPhotoSide = 65535;

// Frees a block from AllocatePixels: a mapping when mappedBytes is set, else a malloc block.
struct PixelDeleter {
    size_t mappedBytes = 0;
    void operator()(uint8_t *block) const;
};
using PixelBuffer = std::unique_ptr<uint8_t[], PixelDeleter>;

// An uninitialised block for pixels; throws std::bad_alloc. Blocks of megabytes are mapped
// on their own, aligned to and asking for transparent huge pages: first touches of small
// pages would otherwise cost as much as the conversions that fill them, and a block from the
// allocator's heaps may share pages already faulted in small.
PixelBuffer AllocatePixels(size_t bytes);

// A packed 4:2:2 picture (Y0 U Y1 V) as the engine takes it: rows of paddedWidth pixels, the
// width rounded up to a multiple of 4, whose padding columns repeat the last column.
struct YuyvImage {
    PixelBuffer pixels;
    int32_t width = 0;
    int32_t height = 0;
    int32_t paddedWidth = 0;

    int32_t Pitch() const { return paddedWidth * 2; }
};

// Borrowed packed 4:2:2 rows of width pixels; pitch covers at least the whole last pair.
struct YuyvView {
    const uint8_t *pixels = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    int32_t pitch = 0;
};

struct PhotoTimes {
    double decodeMs = 0;   // file bytes to YUV planes
    double convertMs = 0;  // upright turn and packing into the padded 4:2:2 rows
};

// Decodes a JPEG or PNG (told apart by their signatures) and turns it upright by its EXIF
// orientation. On failure returns false with a short reason and leaves *image empty.
bool DecodePhoto(const uint8_t *data, size_t size, YuyvImage *image, std::string *reason,
                 PhotoTimes *times = nullptr);
// A photo's size once turned upright by its orientation, as its header shows it. known is false
// when the header cannot tell: a PNG of unequal sides whose EXIF chunk lies after its pixels.
struct UprightSize {
    int32_t width = 0;
    int32_t height = 0;
    bool known = false;
};

// Refuses what a photo's header already shows (a file that is not a JPEG or PNG or not
// complete, a size over the limits, too many scans) without decoding the picture; the reason
// is the one DecodePhoto would give. upright, when given, receives the size the decoded
// picture will have.
bool CheckPhotoHeader(const uint8_t *data, size_t size, std::string *reason,
                      UprightSize *upright = nullptr);

// A photo file opened and mapped for reading, its header checked.
class PhotoFile {
public:
    PhotoFile() = default;
    ~PhotoFile();
    PhotoFile(const PhotoFile &) = delete;
    PhotoFile &operator=(const PhotoFile &) = delete;

    // Opens a regular file of a JPEG or PNG signature and checks its header; false with a
    // short reason.
    bool Open(const std::string &path, std::string *reason);
    // As DecodePhoto, on the opened file.
    bool Decode(YuyvImage *image, std::string *reason, PhotoTimes *times = nullptr) const;
    // The upright size its header shows, once opened.
    const UprightSize &Upright() const { return upright_; }

private:
    int fd_ = -1;
    void *bytes_ = nullptr;  // the mapping, when open
    size_t size_ = 0;
    UprightSize upright_;
};

// As DecodePhoto, reading the file first.
bool ReadPhotoFile(const std::string &path, YuyvImage *image, std::string *reason,
                   PhotoTimes *times = nullptr);

enum class PhotoFormat { kUnknown, kJpeg, kPng };

// By the extension, ignoring case: .jpg and .jpeg, .png.
PhotoFormat PhotoFormatOfPath(const std::string &path);

struct EncodeTimes {
    double convertMs = 0;  // packed rows to planes (and to RGB for PNG)
    double encodeMs = 0;   // compression
};

// quality 1..100; the JPEG keeps the picture's 4:2:2 chroma.
bool EncodeJpeg(const YuyvView &picture, int quality, std::vector<uint8_t> *out,
                std::string *reason, EncodeTimes *times = nullptr);
bool EncodePng(const YuyvView &picture, std::vector<uint8_t> *out, std::string *reason,
               EncodeTimes *times = nullptr);

}  // namespace tonefold
