// Helpers for the image tests: pools, owned images, caller-owned images with chosen pitches,
// random fills and plane snapshots.
#pragma once

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "core/image.h"
#include "core/memory.h"

namespace image_support {

// An 8-aligned buffer for a memory pool.
struct PoolBuffer {
    explicit PoolBuffer(size_t bytes) : size(bytes), storage(bytes / 8 + 1) {}
    MemoryContext Init() { return InitMemoryPool(storage.data(), size); }
    size_t size;
    std::vector<uint64_t> storage;
};

// Every code the layout table knows.
inline std::vector<uint32_t> SupportedFormats() {
    std::vector<uint32_t> codes = {0x301, 0x302, 0x303, 0x304, 0x701, 0x801, 0x802, 0x803};
    for (uint32_t c = 0x401; c <= 0x404; ++c) codes.push_back(c);
    for (uint32_t c = 0x501; c <= 0x508; ++c) codes.push_back(c);
    for (uint32_t c = 0x601; c <= 0x608; ++c) codes.push_back(c);
    return codes;
}

struct ImageDeleter {
    void operator()(ImageDesc *image) const { DestroyImage(&image, nullptr); }
};
using OwnedImage = std::unique_ptr<ImageDesc, ImageDeleter>;

inline OwnedImage MakeImage(int32_t width, int32_t height, uint32_t format) {
    ImageDesc *image = nullptr;
    if (CreateImage(&image, width, height, format, nullptr) != RESULT_OK) return nullptr;
    return OwnedImage(image);
}

// Rows of each plane for the image's format and size (0 for absent planes).
inline std::vector<int32_t> PlaneRows(const ImageDesc &image) {
    ImageDesc layout;
    int32_t rows[3] = {0, 0, 0};
    LayoutImagePlanes(&layout, image.i32Width, image.i32Height, image.u32PixelArrayFormat, rows);
    return {rows[0], rows[1], rows[2]};
}

// A descriptor over planes the test owns, each with the layout pitch plus extraPitch bytes.
struct CallerImage {
    CallerImage(int32_t width, int32_t height, uint32_t format, int32_t extraPitch) {
        ImageDesc layout;
        int32_t rows[3] = {0, 0, 0};
        LayoutImagePlanes(&layout, width, height, format, rows);
        uint8_t *planes[3] = {nullptr, nullptr, nullptr};
        int32_t pitches[3] = {0, 0, 0};
        for (int p = 0; p < 3; ++p) {
            if (layout.pi32Pitch[p] == 0) continue;
            pitches[p] = layout.pi32Pitch[p] + extraPitch;
            storage[p].assign(static_cast<size_t>(rows[p]) * pitches[p] + 1, 0);
            planes[p] = storage[p].data();
        }
        SetImagePlanes(&desc, width, height, format, planes, pitches);
    }
    ImageDesc desc{};
    std::vector<uint8_t> storage[3];
};

inline void FillRandom(ImageDesc &image, std::mt19937 &rng) {
    const std::vector<int32_t> rows = PlaneRows(image);
    for (int p = 0; p < 3; ++p) {
        if (!image.ppu8Plane[p]) continue;
        const int64_t bytes = static_cast<int64_t>(rows[p]) * image.pi32Pitch[p];
        for (int64_t i = 0; i < bytes; ++i) image.ppu8Plane[p][i] = static_cast<uint8_t>(rng());
    }
}

// Every byte of every plane, padding included: rows x pitch.
using Planes = std::vector<std::vector<uint8_t>>;
inline Planes Snapshot(const ImageDesc &image) {
    const std::vector<int32_t> rows = PlaneRows(image);
    Planes planes(3);
    for (int p = 0; p < 3; ++p)
        if (image.ppu8Plane[p])
            planes[p].assign(image.ppu8Plane[p],
                             image.ppu8Plane[p] + static_cast<int64_t>(rows[p]) * image.pi32Pitch[p]);
    return planes;
}

// A PIXEL_FORMAT_YUYV descriptor over packed bytes the test owns.
inline ImageDesc YuyvDescriptor(uint8_t *bytes, int32_t width, int32_t height, int32_t pitch) {
    ImageDesc d{};
    d.u32PixelArrayFormat = PIXEL_FORMAT_YUYV;
    d.i32Width = width;
    d.i32Height = height;
    d.ppu8Plane[0] = bytes;
    d.pi32Pitch[0] = pitch;
    return d;
}

}  // namespace image_support
