#include "luma_window.h"

#include <algorithm>

#include "core/memory.h"
#include "halve_row_kernels.h"
#include "luma_window_kernels.h"

namespace {

// Byte step and offset of the luma sample of pixel x in one row, or step 0 when the format
// has no luma layout the window can read.
void LumaLayout(uint32_t format, int32_t *step, int32_t *offset) {
    *offset = 0;
    switch (format) {
        case PIXEL_FORMAT_YUYV:
            *step = 2;
            break;
        case PIXEL_FORMAT_UYVY:
            *step = 2;
            *offset = 1;
            break;
        case PIXEL_FORMAT_I420:
        case PIXEL_FORMAT_YUV422P:
        case PIXEL_FORMAT_NV12:
        case PIXEL_FORMAT_NV21:
        case PIXEL_FORMAT_NV16:
            *step = 1;
            break;
        default:
            *step = 0;
            break;
    }
}

void ExtractLumaRow(const uint8_t *row, int32_t width, int32_t step, int32_t offset,
                    PackedLumaGather gather, uint8_t *out, int32_t count, int32_t x) {
    // Columns [first, end) of the window have a source pixel; the rest are zero. Most windows
    // lie inside the image, so the zero runs are usually empty and skipped.
    const int32_t first = std::clamp(-x, 0, count);
    const int32_t end = std::clamp(width - x, first, count);
    if (first > 0) FillBytes(out, 0, static_cast<size_t>(first));
    if (end > first) {
        if (step == 1)
            CopyBytes(out + first, row + x + first, static_cast<size_t>(end - first));
        else
            gather(row + static_cast<int64_t>(x + first) * 2, offset, out + first, end - first);
    }
    if (count > end) FillBytes(out + end, 0, static_cast<size_t>(count - end));
}

}  // namespace

int ExtractLumaWindow(const uint8_t *luma, int32_t width, int32_t height, int32_t pitch,
                      uint8_t *window, int32_t windowWidth, int32_t windowHeight,
                      int32_t windowPitch, int32_t x, int32_t y, uint32_t format) {
    int32_t step = 0;
    int32_t offset = 0;
    if (!luma || !window || windowWidth < 0 || windowHeight < 0 || windowPitch < windowWidth)
        return RESULT_INVALID_ARGUMENT;
    LumaLayout(format, &step, &offset);
    if (step == 0) return RESULT_UNSUPPORTED_FORMAT;
    const PackedLumaGather gather = ChooseGatherPackedLuma();
    for (int32_t r = 0; r < windowHeight; ++r) {
        uint8_t *out = window + static_cast<int64_t>(r) * windowPitch;
        const int32_t sourceRow = y + r;
        if (sourceRow < 0 || sourceRow >= height) {
            FillBytes(out, 0, static_cast<size_t>(windowPitch));
            continue;
        }
        ExtractLumaRow(luma + static_cast<int64_t>(sourceRow) * pitch, width, step, offset, gather,
                       out, windowWidth, x);
    }
    return RESULT_OK;
}

void HalvePlane(const uint8_t *source, int32_t width, int32_t height, int32_t pitch,
                uint8_t *destination) {
    const int32_t outWidth = width / 2;
    const int32_t outHeight = height / 2;
    const HalveRowKernel halveRow = ChooseHalveRow();
    for (int32_t y = 0; y < outHeight; ++y) {
        const uint8_t *top = source + static_cast<int64_t>(2 * y) * pitch;
        const uint8_t *bottom = top + pitch;
        halveRow(top, bottom, destination + static_cast<int64_t>(y) * outWidth, outWidth);
    }
}

int32_t CountPyramidLevels(int32_t width, int32_t height, int32_t limit) {
    int32_t size = std::max(width, height);
    int32_t count = 0;
    while (size > limit && size > 0) {
        size /= 2;
        ++count;
    }
    return count;
}
