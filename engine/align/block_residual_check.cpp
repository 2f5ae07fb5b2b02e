#include "block_residual_check.h"

#include <algorithm>

#include "align/luma_window.h"
#include "align/pyramid_aligner.h"
#include "core/memory.h"

namespace {

// Origin of the checked block along one axis around a rectangle's centre.
int32_t RectWindowOrigin(int32_t low, int32_t high, int32_t size, int32_t b) {
    int32_t origin = std::max((low + high) / 2 - b / 4, 32);
    if (origin + b / 2 >= size - 8 && size > b / 2 + 16) origin = size - 8 - b / 2;
    return origin;
}

bool HasLuma(const ImageDesc *image) {
    return image && image->ppu8Plane[0] && image->i32Width > 0 && image->i32Height > 0;
}

}  // namespace

int MeasureBlockResidualShift(MemoryContext memory, HdrSession *s, int32_t i, const PixelRect *rect,
                              ProgressCallback progress, void *user) {
    if (!s || i < 0 || i >= kMaxExposures || s->referenceIndex < 0 ||
        s->referenceIndex >= kMaxExposures || !HasLuma(s->smallImages[i]) ||
        !HasLuma(s->smallImages[s->referenceIndex]) || s->meshConstants[0] <= 0)
        return RESULT_INVALID_ARGUMENT;
    const ImageDesc &exposure = *s->smallImages[i];
    const ImageDesc &reference = *s->smallImages[s->referenceIndex];
    const int32_t b = s->meshConstants[0];
    const uint64_t windowBytes = 3 * static_cast<uint64_t>(b) * b;
    uint8_t *refWindow = AllocateZeroed<uint8_t>(memory, windowBytes);
    uint8_t *expWindow = AllocateZeroed<uint8_t>(memory, windowBytes);
    if (!refWindow || !expWindow) {
        FreeAndClear(memory, refWindow);
        FreeAndClear(memory, expWindow);
        return RESULT_OUT_OF_MEMORY;
    }
    s->alignPyramidDepth = 2;

    const int32_t w = exposure.i32Width;
    const int32_t h = exposure.i32Height;
    int32_t n = b;
    int32_t x = std::max(w / 2 - b / 2, 8);
    int32_t y = std::max(h / 2 - b / 2, 8);
    if (rect) {
        n = b / 2;
        x = RectWindowOrigin(rect->x0, rect->x1, w, b);
        y = RectWindowOrigin(rect->y0, rect->y1, h, b);
    }
    int result = RESULT_OK;
    if (x + n <= w - 8 && y + n <= h - 8) {
        // Each plane is read with its own pitch.
        ExtractLumaWindow(reference.ppu8Plane[0], reference.i32Width, reference.i32Height,
                          reference.pi32Pitch[0], refWindow, n, n, n, x, y, PIXEL_FORMAT_I420);
        ExtractLumaWindow(exposure.ppu8Plane[0], w, h, exposure.pi32Pitch[0], expWindow, n, n, n, x,
                          y, PIXEL_FORMAT_I420);
        int thresholdState = 0;  // thresholds from the two blocks themselves
        int32_t dx = 0, dy = 0, unusedX = 0, unusedY = 0;
        result = AlignTriplePyramid(memory, s, refWindow, expWindow, nullptr, PIXEL_FORMAT_I420, 0,
                                    n, n, n, n, n, n, &dx, &dy, &unusedX, &unusedY, &thresholdState,
                                    2, 0, progress, user);
        if (result == RESULT_OK && (dx > 1 || dx < -1 || dy > 1 || dy < -1)) s->misaligned[i] = 1;
    }
    FreeMemory(memory, refWindow);
    FreeMemory(memory, expWindow);
    return result;
}
