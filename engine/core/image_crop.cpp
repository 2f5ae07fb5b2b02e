// Clones and crops: into a new image, or in place inside the image's own planes.
#include <cstring>

#include "image.h"
#include "image_internal.h"

namespace {

// Creates an image of the rectangle's size and copies the rectangle into it; on any failure
// the new image is destroyed and the out pointer stays null.
int CopyRectToNewImage(ImageDesc **outImage, const ImageDesc &source, const PixelRect &rect,
                       MemoryContext memory) {
    ImageDesc *image = nullptr;
    const int created = CreateImage(&image, rect.x1 - rect.x0, rect.y1 - rect.y0,
                                    source.u32PixelArrayFormat, memory);
    if (created != RESULT_OK) return created;
    const int copied = CopyImageRect(image, nullptr, &source, &rect);
    if (copied != RESULT_OK) {
        DestroyImage(&image, memory);
        return copied;
    }
    *outImage = image;
    return RESULT_OK;
}

void MoveSpanRow(uint8_t *plane, int32_t newPitch, const PlaneSpan &to, int32_t oldPitch,
                 const PlaneSpan &from, int32_t r) {
    std::memmove(plane + SpanRowOffset(to, newPitch, r), plane + SpanRowOffset(from, oldPitch, r),
                 static_cast<size_t>(to.rowBytes));
}

// Moves a span to the start of its own plane under a new pitch. The distance a row moves,
// r x (newPitch - oldPitch) minus the span's old offset, changes monotonically with r, so the
// rows that move forward (only possible when the pitch grows) are a run at the bottom. Those
// go bottom-first, the rest top-first; no row then overwrites a source row not yet moved,
// because no span row is longer than either pitch.
void MoveSpanToPlaneStart(uint8_t *plane, int32_t newPitch, const PlaneSpan &to,
                          int32_t oldPitch, const PlaneSpan &from) {
    if (to.rowBytes <= 0) return;
    auto movesForward = [&](int32_t r) {
        return SpanRowOffset(to, newPitch, r) > SpanRowOffset(from, oldPitch, r);
    };
    for (int32_t r = to.rows - 1; r >= 0; --r)
        if (movesForward(r)) MoveSpanRow(plane, newPitch, to, oldPitch, from, r);
    for (int32_t r = 0; r < to.rows; ++r)
        if (!movesForward(r)) MoveSpanRow(plane, newPitch, to, oldPitch, from, r);
}

// Lays out the cropped image over the image's planes; each plane must still fit in the bytes
// the old layout gave it.
int LayoutCrop(const ImageDesc &image, const PixelRect &rect, ImageDesc *cropped) {
    int32_t oldRows[3];
    int32_t newRows[3];
    ImageDesc old;
    int laidOut = LayoutImagePlanes(&old, image.i32Width, image.i32Height,
                                    image.u32PixelArrayFormat, oldRows);
    if (laidOut != RESULT_OK) return laidOut;
    laidOut = LayoutImagePlanes(cropped, rect.x1 - rect.x0, rect.y1 - rect.y0,
                                image.u32PixelArrayFormat, newRows);
    if (laidOut != RESULT_OK) return laidOut;
    for (int p = 0; p < 3; ++p) {
        const int64_t newBytes = static_cast<int64_t>(newRows[p]) * cropped->pi32Pitch[p];
        if (newBytes > static_cast<int64_t>(oldRows[p]) * image.pi32Pitch[p])
            return RESULT_INVALID_ARGUMENT;
    }
    // Every plane keeps its pointer, even at pitch 0 (an empty width): plane 0 still owns the
    // block that DestroyImage frees.
    for (int p = 0; p < 3; ++p) cropped->ppu8Plane[p] = image.ppu8Plane[p];
    return RESULT_OK;
}

}  // namespace

int CloneImage(ImageDesc **outImage, const ImageDesc *source, MemoryContext memory) {
    if (!outImage) return RESULT_INVALID_ARGUMENT;
    *outImage = nullptr;
    if (!source) return RESULT_INVALID_ARGUMENT;
    return CopyRectToNewImage(outImage, *source,
                              PixelRect{0, 0, source->i32Width, source->i32Height}, memory);
}

int CropToNewImage(ImageDesc **outImage, const ImageDesc *source, const PixelRect *rect,
                   MemoryContext memory) {
    if (!outImage) return RESULT_INVALID_ARGUMENT;
    *outImage = nullptr;
    if (!source || !rect) return RESULT_INVALID_ARGUMENT;
    if (!RectInsideImage(*rect, source->i32Width, source->i32Height))
        return RESULT_INVALID_ARGUMENT;
    return CopyRectToNewImage(outImage, *source, *rect, memory);
}

int CropImageInPlace(ImageDesc *image, const PixelRect *rect) {
    if (!image || !rect) return RESULT_INVALID_ARGUMENT;
    if (!RectInsideImage(*rect, image->i32Width, image->i32Height))
        return RESULT_INVALID_ARGUMENT;
    const PixelFormatInfo *info = FindPixelFormat(image->u32PixelArrayFormat);
    if (!info) return RESULT_UNSUPPORTED_FORMAT;
    if (CheckImagePlanes(*image, *info) != RESULT_OK) return RESULT_INVALID_ARGUMENT;
    ImageDesc cropped;
    const int laidOut = LayoutCrop(*image, *rect, &cropped);
    if (laidOut != RESULT_OK) return laidOut;

    const PixelRect origin{0, 0, rect->x1 - rect->x0, rect->y1 - rect->y0};
    for (int p = 0; p < info->planes; ++p)
        MoveSpanToPlaneStart(image->ppu8Plane[p], cropped.pi32Pitch[p],
                             SpanOfRect(*info, p, origin), image->pi32Pitch[p],
                             SpanOfRect(*info, p, *rect));
    *image = cropped;
    return RESULT_OK;
}
