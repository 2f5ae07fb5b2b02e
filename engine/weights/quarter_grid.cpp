#include "quarter_grid.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "core/hdr_engine.h"

namespace {

int32_t RoundUpTo4(int32_t side) { return (side + 3) / 4 * 4; }

template <typename T>
int32_t PadGrid(const T *grid, int32_t width, int32_t height, int32_t pitch, T *out,
                int32_t outPitch) {
    const int32_t paddedWidth = RoundUpTo4(width), paddedHeight = RoundUpTo4(height);
    if (!grid || !out || width < 1 || height < 1 || pitch < width || outPitch < paddedWidth)
        return RESULT_INVALID_ARGUMENT;
    for (int32_t y = 0; y < height; ++y) {
        const T *from = grid + static_cast<ptrdiff_t>(y) * pitch;
        T *to = out + static_cast<ptrdiff_t>(y) * outPitch;
        if (to != from) std::memmove(to, from, sizeof(T) * static_cast<size_t>(width));
        std::fill(to + width, to + paddedWidth, to[width - 1]);
    }
    const T *last = out + static_cast<ptrdiff_t>(height - 1) * outPitch;
    for (int32_t y = height; y < paddedHeight; ++y)
        std::memcpy(out + static_cast<ptrdiff_t>(y) * outPitch, last,
                    sizeof(T) * static_cast<size_t>(paddedWidth));
    return RESULT_OK;
}

}  // namespace

int32_t PadGrid8ToMultipleOf4(const uint8_t *grid, int32_t width, int32_t height, int32_t pitch,
                              uint8_t *out, int32_t outPitch) {
    return PadGrid(grid, width, height, pitch, out, outPitch);
}

int32_t PadGrid32ToMultipleOf4(const int32_t *grid, int32_t width, int32_t height,
                               int32_t pitch, int32_t *out, int32_t outPitch) {
    return PadGrid(grid, width, height, pitch, out, outPitch);
}
