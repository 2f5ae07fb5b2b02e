#include "valid_rectangle.h"

#include <algorithm>
#include <cstddef>

#include "core/session.h"

namespace {

struct Bounds {
    int64_t left, top, right, bottom;
};

// The part of the frame an exposure covers after its global shift and its motion grid.
Bounds SlotBounds(const HdrSession *s, int32_t slot, int32_t dx, int32_t dy, int64_t w, int64_t h) {
    Bounds b{0, 0, w, h};
    if (dx > 0) b.left = dx;
    if (dy > 0) b.top = dy;
    if (dx < 0) b.right = w + dx;
    if (dy < 0) b.bottom = h + dy;
    const int32_t *gx = slot < 2 ? s->offsetGridX[slot] : nullptr;
    const int32_t *gy = slot < 2 ? s->offsetGridY[slot] : nullptr;
    const int32_t cols = s->meshCols;
    const int32_t rows = s->meshRows;
    if (!gx || !gy || cols < 1 || rows < 1) return b;
    for (int32_t r = 0; r < rows; ++r) {
        const int64_t g0 = int64_t{dx} + gx[static_cast<size_t>(r) * cols];
        const int64_t g1 = int64_t{dx} + gx[static_cast<size_t>(r) * cols + cols - 1];
        b.left = std::max(b.left, std::max<int64_t>(0, g0));
        b.right = std::min(b.right, g1 < 0 ? w + g1 : w);
    }
    for (int32_t c = 0; c < cols; ++c) {
        const int64_t h0 = int64_t{dy} + gy[c];
        const int64_t h1 = int64_t{dy} + gy[static_cast<size_t>(rows - 1) * cols + c];
        b.top = std::max(b.top, std::max<int64_t>(0, h0));
        b.bottom = std::min(b.bottom, h1 < 0 ? h + h1 : h);
    }
    return b;
}

void WholeFrame(HdrSession *s, int32_t w, int32_t h) {
    s->overlapRect = RegionRect{0, 0, static_cast<uint32_t>(w & ~7), h & ~1};
    s->cropRect[0] = 0;
    s->cropRect[1] = 0;
    s->cropRect[2] = h;
    s->cropRect[3] = w;
}

}  // namespace

int ComputeValidRectangle(HdrSession *s, const int32_t *shiftList, int32_t count, int32_t w,
                          int32_t h, RegionRect *processRect) {
    if (!s || !processRect || count < 0 || count > kMaxExposures || w < 1 || h < 1 ||
        (count > 0 && !shiftList))
        return RESULT_INVALID_ARGUMENT;
    *processRect = RegionRect{0, 0, static_cast<uint32_t>(w & ~7), h & ~1};
    if (s->pendingStatus != 0) {
        WholeFrame(s, w, h);
        return RESULT_OK;
    }
    Bounds all{0, 0, w, h};
    for (int32_t j = 0; j < count; ++j) {
        const Bounds b = SlotBounds(s, j, shiftList[2 * j], shiftList[2 * j + 1], w, h);
        all.left = std::max(all.left, b.left);
        all.top = std::max(all.top, b.top);
        all.right = std::min(all.right, b.right);
        all.bottom = std::min(all.bottom, b.bottom);
    }
    const int64_t left4 = (all.left + 3) & ~int64_t{3};
    const int64_t top4 = (all.top + 3) & ~int64_t{3};
    // Widths are formed in signed arithmetic: shifts that leave nothing covered must not
    // wrap into a huge unsigned width.
    const int64_t width = ((all.right & ~int64_t{3}) - left4) & ~int64_t{7};
    const int64_t height = ((all.bottom & ~int64_t{3}) - top4) & ~int64_t{3};
    const int64_t cropTop = (top4 + 15) & ~int64_t{15};
    const int64_t cropLeft = (left4 + 15) & ~int64_t{15};
    const int64_t cropBottom = all.bottom & ~int64_t{15};
    const int64_t cropRight = all.right & ~int64_t{15};
    s->splitRow = ((h & ~1) / 2) & ~127;
    if (width <= 0 || height <= 0 || cropRight <= cropLeft || cropBottom <= cropTop) {
        WholeFrame(s, w, h);
        return RESULT_OK;
    }
    s->overlapRect = RegionRect{static_cast<uint32_t>(left4), static_cast<uint32_t>(top4),
                                static_cast<uint32_t>(width), static_cast<int32_t>(height)};
    s->cropRect[0] = static_cast<int32_t>(cropTop);
    s->cropRect[1] = static_cast<int32_t>(cropLeft);
    s->cropRect[2] = static_cast<int32_t>(cropBottom);
    s->cropRect[3] = static_cast<int32_t>(cropRight);
    return RESULT_OK;
}
