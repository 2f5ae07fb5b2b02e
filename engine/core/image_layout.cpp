// Image layout, creation and destruction.
#include <climits>

#include "image.h"
#include "memory.h"
#include "pixel_format.h"

namespace {

int64_t AlignUp4(int64_t n) { return (n + 3) & ~int64_t{3}; }

int64_t LayoutPitch(const PixelFormatInfo &info, int plane, int32_t width) {
    if (plane == 0) return AlignUp4(static_cast<int64_t>(width) * info.lumaBytes);
    return AlignUp4(static_cast<int64_t>(width) >> info.chromaColShift);
}

int32_t LayoutRows(const PixelFormatInfo &info, int plane, int32_t height) {
    return plane == 0 ? height : height >> info.chromaRowShift;
}

void ClearDescriptor(ImageDesc *image) {
    *image = ImageDesc{};
}

// Bytes of the one block that holds every plane, in 64 bits: rows x pitch passes 2^31 for
// large images of the wider formats.
uint64_t PlaneBlockBytes(const ImageDesc &image, const int32_t rows[3]) {
    uint64_t total = 0;
    for (int p = 0; p < 3; ++p)
        total += static_cast<uint64_t>(rows[p]) * static_cast<uint32_t>(image.pi32Pitch[p]);
    return total;
}

// Plane 1 follows plane 0 in the block and plane 2 follows plane 1.
void PointPlanesIntoBlock(ImageDesc *image, uint8_t *block, const int32_t rows[3]) {
    uint8_t *next = block;
    for (int p = 0; p < 3; ++p) {
        if (p > 0 && image->pi32Pitch[p] == 0) break;
        image->ppu8Plane[p] = next;
        next += static_cast<int64_t>(rows[p]) * image->pi32Pitch[p];
    }
}

}  // namespace

int LayoutImagePlanes(ImageDesc *image, int32_t width, int32_t height, uint32_t format,
                      int32_t *rowsPerPlane) {
    if (rowsPerPlane) rowsPerPlane[0] = rowsPerPlane[1] = rowsPerPlane[2] = 0;
    if (!image) return RESULT_INVALID_ARGUMENT;
    ClearDescriptor(image);
    if (width < 0 || height < 0) return RESULT_INVALID_ARGUMENT;
    image->u32PixelArrayFormat = format;
    image->i32Width = width;
    image->i32Height = height;
    const PixelFormatInfo *info = FindPixelFormat(format);
    if (!info) return RESULT_UNSUPPORTED_FORMAT;
    for (int p = 0; p < info->planes; ++p) {
        const int64_t pitch = LayoutPitch(*info, p, width);
        if (pitch > INT32_MAX) {  // the descriptor's pitches are 32-bit
            image->pi32Pitch[0] = image->pi32Pitch[1] = image->pi32Pitch[2] = 0;
            return RESULT_INVALID_ARGUMENT;
        }
        image->pi32Pitch[p] = static_cast<int32_t>(pitch);
    }
    if (rowsPerPlane)
        for (int p = 0; p < info->planes; ++p) rowsPerPlane[p] = LayoutRows(*info, p, height);
    return RESULT_OK;
}

int CreateImage(ImageDesc **outImage, int32_t width, int32_t height, uint32_t format,
                MemoryContext memory) {
    if (!outImage) return RESULT_INVALID_ARGUMENT;
    *outImage = nullptr;
    // An image without pixels would hand out a block of 0 bytes that no copy can use.
    if (width <= 0 || height <= 0) return RESULT_INVALID_ARGUMENT;

    ImageDesc layout;
    int32_t rows[3];
    const int laidOut = LayoutImagePlanes(&layout, width, height, format, rows);
    if (laidOut != RESULT_OK) return laidOut;

    auto *image = static_cast<ImageDesc *>(AllocateMemory(memory, sizeof(ImageDesc)));
    if (!image) return RESULT_OUT_OF_MEMORY;
    auto *block = static_cast<uint8_t *>(AllocateMemory(memory, PlaneBlockBytes(layout, rows)));
    if (!block) {
        FreeMemory(memory, image);
        return RESULT_OUT_OF_MEMORY;
    }
    *image = layout;
    PointPlanesIntoBlock(image, block, rows);
    *outImage = image;
    return RESULT_OK;
}

void DestroyImage(ImageDesc **image, MemoryContext memory) {
    if (!image || !*image) return;
    ReleaseImagePlanes(*image, memory);
    FreeMemory(memory, *image);
    *image = nullptr;
}

int SetImagePlanes(ImageDesc *image, int32_t width, int32_t height, uint32_t format,
                   uint8_t *const *planes, const int32_t *pitches) {
    if (!image || !planes || !pitches || width < 0 || height < 0) return RESULT_INVALID_ARGUMENT;
    // Unknown codes are described as one plane; the copies refuse them later.
    const PixelFormatInfo *info = FindPixelFormat(format);
    const int planeCount = info ? info->planes : 1;
    ClearDescriptor(image);
    image->u32PixelArrayFormat = format;
    image->i32Width = width;
    image->i32Height = height;
    for (int p = 0; p < planeCount; ++p) {
        image->ppu8Plane[p] = planes[p];
        image->pi32Pitch[p] = pitches[p];
    }
    return RESULT_OK;
}

void ReleaseImagePlanes(ImageDesc *image, MemoryContext memory) {
    if (!image) return;
    FreeAndClear(memory, image->ppu8Plane[0]);
    // Planes 1 and 2 lived in the same block: clear them too so nothing keeps a dangling
    // pointer. The pitches stay, as the descriptor does.
    image->ppu8Plane[1] = image->ppu8Plane[2] = image->ppu8Plane[3] = nullptr;
}

int SameImageShape(const ImageDesc *a, const ImageDesc *b) {
    if (!a || !b) return 0;
    return a->i32Width == b->i32Width && a->i32Height == b->i32Height &&
           a->u32PixelArrayFormat == b->u32PixelArrayFormat;
}
