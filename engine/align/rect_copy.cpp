#include "rect_copy.h"

#include <algorithm>

#include "core/memory.h"

namespace {

constexpr uint32_t kPackedLumaOddA = 0x503;
constexpr uint32_t kPackedLumaOddB = 0x504;

bool SamePitches(const ImageDesc &a, const ImageDesc &b, int planes) {
    for (int p = 0; p < planes; ++p)
        if (a.pi32Pitch[p] != b.pi32Pitch[p] || !a.ppu8Plane[p] || !b.ppu8Plane[p]) return false;
    return true;
}

void CopyRowBytes(const uint8_t *source, uint8_t *destination, int32_t pitch, int32_t row,
                  int32_t from, int32_t to) {
    if (to <= from) return;
    const int64_t offset = static_cast<int64_t>(row) * pitch + from;
    CopyBytes(destination + offset, source + offset, static_cast<size_t>(to - from));
}

}  // namespace

void CopyPlaneOutsideRect(const uint8_t *source, uint8_t *destination, int32_t pitch,
                          int32_t rowBytes, int32_t rows, int32_t x0, int32_t y0, int32_t x1,
                          int32_t y1) {
    y0 = std::clamp(y0, 0, rows);
    y1 = std::clamp(y1, y0, rows);
    x0 = std::clamp(x0, 0, rowBytes);
    x1 = std::clamp(x1, x0, rowBytes);
    for (int32_t y = 0; y < rows; ++y) {
        if (y < y0 || y >= y1) {
            CopyRowBytes(source, destination, pitch, y, 0, rowBytes);
        } else {
            CopyRowBytes(source, destination, pitch, y, 0, x0);
            CopyRowBytes(source, destination, pitch, y, x1, rowBytes);
        }
    }
}

int CopyImageOutsideRect(const ImageDesc *source, ImageDesc *destination, const PixelRect &r) {
    if (!source || !destination || source->u32PixelArrayFormat != destination->u32PixelArrayFormat)
        return RESULT_INVALID_ARGUMENT;
    if (r.x0 >= r.x1 || r.y0 >= r.y1 || r.x0 < 0 || r.y0 < 0 || source->i32Height < r.y1 ||
        source->i32Width < r.x1)
        return RESULT_INVALID_ARGUMENT;
    const ImageDesc &s = *source;
    ImageDesc &d = *destination;
    const int32_t w = s.i32Width;
    const int32_t h = s.i32Height;
    const bool sameSize = d.i32Width == w && d.i32Height == h;
    switch (s.u32PixelArrayFormat) {
        case kPackedLumaOddA:
        case kPackedLumaOddB:
            if (!sameSize || !SamePitches(s, d, 1)) return RESULT_INVALID_ARGUMENT;
            CopyPlaneOutsideRect(s.ppu8Plane[0], d.ppu8Plane[0], s.pi32Pitch[0], 2 * w, h, 2 * r.x0,
                                 r.y0, 2 * r.x1, r.y1);
            return RESULT_OK;
        case PIXEL_FORMAT_I420:
            if (!sameSize || !SamePitches(s, d, 3) || s.pi32Pitch[1] != s.pi32Pitch[2])
                return RESULT_INVALID_ARGUMENT;
            CopyPlaneOutsideRect(s.ppu8Plane[0], d.ppu8Plane[0], s.pi32Pitch[0], w, h, r.x0, r.y0,
                                 r.x1, r.y1);
            for (int p = 1; p <= 2; ++p)
                CopyPlaneOutsideRect(s.ppu8Plane[p], d.ppu8Plane[p], s.pi32Pitch[p], w / 2, h / 2,
                                     (r.x0 + 1) / 2, (r.y0 + 1) / 2, r.x1 / 2, r.y1 / 2);
            return RESULT_OK;
        case PIXEL_FORMAT_NV12:
        case PIXEL_FORMAT_NV21:
            if (!sameSize || !SamePitches(s, d, 2)) return RESULT_INVALID_ARGUMENT;
            CopyPlaneOutsideRect(s.ppu8Plane[0], d.ppu8Plane[0], s.pi32Pitch[0], w, h, r.x0, r.y0,
                                 r.x1, r.y1);
            CopyPlaneOutsideRect(s.ppu8Plane[1], d.ppu8Plane[1], s.pi32Pitch[1], (w / 2) * 2, h / 2,
                                 ((r.x0 + 1) / 2) * 2, (r.y0 + 1) / 2, (r.x1 / 2) * 2, r.y1 / 2);
            return RESULT_OK;
        default:
            return RESULT_UNSUPPORTED_FORMAT;
    }
}
