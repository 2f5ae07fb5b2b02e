// Row-pointer images: owned or wrapped pixel blocks reached through a row table.
#include "row_image.h"

#include <climits>

#include "memory.h"

namespace {

// Bytes of one row: whole 32-bit words, so every row starts 4-aligned. Computed in 64 bits;
// -1 when the arguments are unusable or the result does not fit the record's 32-bit fields.
int64_t PackedRowBytes(int32_t width, int32_t bitsPerChannel, int32_t channels) {
    if (width < 0 || bitsPerChannel <= 0 || channels <= 0) return -1;
    const int64_t bits = static_cast<int64_t>(width) * channels * bitsPerChannel;
    const int64_t bytes = bits % 32 == 0 ? bits / 8 : bits / 32 * 4 + 4;
    return bytes > INT32_MAX ? -1 : bytes;
}

// Bytes a row's samples take without padding; a caller's pitch must hold at least this.
int64_t SampleBytes(int32_t width, int32_t bitsPerChannel, int32_t channels) {
    return (static_cast<int64_t>(width) * channels * bitsPerChannel + 7) / 8;
}

// A record with its size fields set and no blocks; null when the sizes do not fit 32 bits.
RowImage *NewRecord(MemoryContext memory, int32_t width, int32_t height, int32_t bitsPerChannel,
                    int32_t channels, int64_t rowBytes) {
    if (height < 0 || rowBytes < 0) return nullptr;
    const int64_t totalBytes = rowBytes * height;
    if (totalBytes > INT32_MAX) return nullptr;
    auto *image = static_cast<RowImage *>(AllocateMemory(memory, sizeof(RowImage)));
    if (!image) return nullptr;
    *image = RowImage{width,    height,         static_cast<int32_t>(rowBytes),
                      static_cast<int32_t>(totalBytes), channels, bitsPerChannel,
                      nullptr,  nullptr};
    return image;
}

// Allocates the row table; a height of 0 needs none.
bool AllocateRows(MemoryContext memory, RowImage *image) {
    if (image->height == 0) return true;
    image->rows = static_cast<uint8_t **>(
        AllocateMemory(memory, static_cast<uint64_t>(image->height) * sizeof(uint8_t *)));
    return image->rows != nullptr;
}

// Allocates an owned pixel block; an image of 0 bytes has none.
bool AllocateData(MemoryContext memory, RowImage *image) {
    if (image->totalBytes == 0) return true;
    image->data = static_cast<uint8_t *>(AllocateMemory(memory, image->totalBytes));
    return image->data != nullptr;
}

void FillRows(RowImage *image) {
    for (int32_t i = 0; i < image->height; ++i)
        image->rows[i] = image->data ? image->data + static_cast<int64_t>(i) * image->rowBytes
                                     : nullptr;
}

void FreeBlocks(MemoryContext memory, RowImage *image, bool ownsData) {
    if (ownsData) FreeAndClear(memory, image->data);
    FreeAndClear(memory, image->rows);
}

// Allocates data and rows for a record; on failure frees everything, the record included.
RowImage *AttachOwnedBlocks(MemoryContext memory, RowImage *image) {
    if (!AllocateData(memory, image) || !AllocateRows(memory, image)) {
        FreeBlocks(memory, image, true);
        FreeMemory(memory, image);
        return nullptr;
    }
    FillRows(image);
    return image;
}

}  // namespace

RowImage *CreateRowImage(MemoryContext memory, int32_t width, int32_t height,
                         int32_t bitsPerChannel, int32_t channels) {
    const int64_t rowBytes = PackedRowBytes(width, bitsPerChannel, channels);
    RowImage *image = NewRecord(memory, width, height, bitsPerChannel, channels, rowBytes);
    if (!image) return nullptr;
    image = AttachOwnedBlocks(memory, image);
    ClearRowImage(image);
    return image;
}

RowImage *CloneRowImage(MemoryContext memory, const RowImage *source) {
    if (!source) return nullptr;
    RowImage *image = NewRecord(memory, source->width, source->height, source->bitsPerChannel,
                                source->channels, source->rowBytes);
    if (!image) return nullptr;
    image = AttachOwnedBlocks(memory, image);
    if (image && image->totalBytes > 0)
        CopyBytes(image->data, source->data, static_cast<size_t>(image->totalBytes));
    return image;
}

RowImage *WrapRowImage(MemoryContext memory, uint8_t *pixels, int32_t width, int32_t height,
                       int32_t bitsPerChannel, int32_t channels, int32_t pitch) {
    if (PackedRowBytes(width, bitsPerChannel, channels) < 0) return nullptr;
    // A pitch shorter than a row's samples would make the rows overlap.
    if (pitch < SampleBytes(width, bitsPerChannel, channels)) return nullptr;
    if (!pixels && height > 0 && pitch > 0) return nullptr;
    RowImage *image = NewRecord(memory, width, height, bitsPerChannel, channels, pitch);
    if (!image) return nullptr;
    image->data = pixels;
    if (!AllocateRows(memory, image)) {
        FreeMemory(memory, image);
        return nullptr;
    }
    FillRows(image);
    return image;
}

void FreeRowImage(MemoryContext memory, RowImage **image) {
    if (!image || !*image) return;
    FreeBlocks(memory, *image, true);
    FreeMemory(memory, *image);
    *image = nullptr;
}

void FreeRowImageHeader(MemoryContext memory, RowImage **image) {
    if (!image || !*image) return;
    FreeBlocks(memory, *image, false);
    FreeMemory(memory, *image);
    *image = nullptr;
}

void ClearRowImage(RowImage *image) {
    if (image && image->data && image->totalBytes > 0)
        FillBytes(image->data, 0, static_cast<size_t>(image->totalBytes));
}
