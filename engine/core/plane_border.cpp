// Replicated and constant borders for small planes.
#include "plane_border.h"

#include <cstring>

#include "hdr_engine.h"

namespace {

template <typename T>
int PadPlane(const T *source, T *destination, int32_t width, int32_t height) {
    if (!source || !destination || width <= 0 || height <= 0) return RESULT_INVALID_ARGUMENT;
    const int64_t paddedWidth = static_cast<int64_t>(width) + 2;
    for (int32_t r = 0; r < height; ++r) {
        const T *from = source + static_cast<int64_t>(r) * width;
        T *to = destination + (r + 1) * paddedWidth;
        to[0] = from[0];
        std::memcpy(to + 1, from, static_cast<size_t>(width) * sizeof(T));
        to[width + 1] = from[width - 1];
    }
    const size_t rowBytes = static_cast<size_t>(paddedWidth) * sizeof(T);
    std::memcpy(destination, destination + paddedWidth, rowBytes);
    std::memcpy(destination + (height + int64_t{1}) * paddedWidth, destination + height * paddedWidth,
                rowBytes);
    return RESULT_OK;
}

// The in-place borders take one sample at the left and top and two at the right and bottom,
// so a plane needs three columns and three rows to have any inside at all.
bool HasInside(const uint8_t *plane, int32_t pitch, int32_t rows) {
    return plane && pitch >= 3 && rows >= 3;
}

uint8_t *Row(uint8_t *plane, int32_t pitch, int32_t r) {
    return plane + static_cast<int64_t>(r) * pitch;
}

}  // namespace

int PadPlane16(const int16_t *source, int16_t *destination, int32_t width, int32_t height) {
    return PadPlane(source, destination, width, height);
}

int PadPlane32(const int32_t *source, int32_t *destination, int32_t width, int32_t height) {
    return PadPlane(source, destination, width, height);
}

int ReplicateBorder8(uint8_t *plane, int32_t pitch, int32_t rows) {
    if (!HasInside(plane, pitch, rows)) return RESULT_INVALID_ARGUMENT;
    for (int32_t r = 0; r < rows; ++r) {
        uint8_t *row = Row(plane, pitch, r);
        row[0] = row[1];
        row[pitch - 2] = row[pitch - 1] = row[pitch - 3];
    }
    const size_t bytes = static_cast<size_t>(pitch);
    std::memcpy(Row(plane, pitch, 0), Row(plane, pitch, 1), bytes);
    std::memcpy(Row(plane, pitch, rows - 2), Row(plane, pitch, rows - 3), bytes);
    std::memcpy(Row(plane, pitch, rows - 1), Row(plane, pitch, rows - 3), bytes);
    return RESULT_OK;
}

int FillBorder8(uint8_t *plane, int32_t pitch, int32_t rows) {
    if (!HasInside(plane, pitch, rows)) return RESULT_INVALID_ARGUMENT;
    for (int32_t r = 0; r < rows; ++r) {
        uint8_t *row = Row(plane, pitch, r);
        row[0] = row[pitch - 2] = row[pitch - 1] = 255;
    }
    const size_t bytes = static_cast<size_t>(pitch);
    std::memset(Row(plane, pitch, 0), 255, bytes);
    std::memset(Row(plane, pitch, rows - 2), 255, bytes);
    std::memset(Row(plane, pitch, rows - 1), 255, bytes);
    return RESULT_OK;
}

int ReplicateOutsideWindow8(uint8_t *plane, int32_t rowWidth, int32_t rows, int32_t pitch,
                            int32_t left, int32_t right, int32_t top, int32_t bottom) {
    // The border is copied from columns left and right - 1 and rows top and bottom - 1, so
    // those must lie inside the plane. An empty window (top >= bottom) widens no row and
    // still makes the row copies, which stay well defined.
    if (!plane || rowWidth <= 0 || rowWidth > pitch || rows <= 0) return RESULT_INVALID_ARGUMENT;
    if (left < 0 || left >= rowWidth || right < 1 || right > rowWidth || top < 0 || top >= rows ||
        bottom < 1 || bottom > rows)
        return RESULT_INVALID_ARGUMENT;
    for (int32_t r = top; r < bottom; ++r) {
        uint8_t *row = Row(plane, pitch, r);
        std::memset(row, row[left], static_cast<size_t>(left));
        std::memset(row + right, row[right - 1], static_cast<size_t>(rowWidth - right));
    }
    const size_t bytes = static_cast<size_t>(rowWidth);
    for (int32_t r = 0; r < top; ++r)
        std::memcpy(Row(plane, pitch, r), Row(plane, pitch, top), bytes);
    for (int32_t r = bottom; r < rows; ++r)
        std::memcpy(Row(plane, pitch, r), Row(plane, pitch, bottom - 1), bytes);
    return RESULT_OK;
}
