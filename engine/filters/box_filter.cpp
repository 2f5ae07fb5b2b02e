#include "box_filter.h"

#include <cstddef>

#include "core/memory.h"

namespace {

// Integral image of the plane extended by r replicated samples on every side. Entries are
// kept modulo 2^32: a four-corner difference is still the exact window sum, because every
// window sum itself fits in 32 bits.
struct IntegralImage {
    uint32_t *entries = nullptr;
    size_t stride = 0;  // width + 2r + 1
};

template <typename Sample>
bool BuildIntegral(MemoryContext memory, const Sample *plane, int32_t width, int32_t height,
                   int32_t pitch, int32_t radius, IntegralImage *integral) {
    const uint64_t stride = static_cast<uint64_t>(width) + 2u * static_cast<uint64_t>(radius) + 1;
    const uint64_t rows = static_cast<uint64_t>(height) + 2u * static_cast<uint64_t>(radius) + 1;
    if (rows > UINT64_MAX / stride / sizeof(uint32_t)) return false;
    auto *entries = static_cast<uint32_t *>(AllocateMemory(memory, stride * rows * sizeof(uint32_t)));
    if (!entries) return false;
    for (uint64_t x = 0; x < stride; ++x) entries[x] = 0;

    const uint64_t extendedRows = rows - 1;
    for (uint64_t ey = 0; ey < extendedRows; ++ey) {
        // Extended row ey repeats plane row 0 above the plane and row height-1 below it.
        int64_t sy = static_cast<int64_t>(ey) - radius;
        if (sy < 0) sy = 0;
        if (sy > height - 1) sy = height - 1;
        const Sample *source = plane + static_cast<size_t>(sy) * static_cast<size_t>(pitch);
        const uint32_t *above = entries + ey * stride;
        uint32_t *row = entries + (ey + 1) * stride;
        row[0] = 0;
        uint32_t sum = 0;
        uint64_t ex = 1;
        const uint32_t first = static_cast<uint32_t>(static_cast<int32_t>(source[0]));
        for (int32_t i = 0; i < radius; ++i, ++ex) {
            sum += first;
            row[ex] = sum + above[ex];
        }
        for (int32_t x = 0; x < width; ++x, ++ex) {
            sum += static_cast<uint32_t>(static_cast<int32_t>(source[x]));
            row[ex] = sum + above[ex];
        }
        const uint32_t last = static_cast<uint32_t>(static_cast<int32_t>(source[width - 1]));
        for (int32_t i = 0; i < radius; ++i, ++ex) {
            sum += last;
            row[ex] = sum + above[ex];
        }
    }
    integral->entries = entries;
    integral->stride = static_cast<size_t>(stride);
    return true;
}

// Calls write(sample, T) for every sample, where T = e * S + 32768 modulo 2^32 and S is the
// window sum; the mean is then T >> 16 taken as a signed value.
template <typename Sample, typename Write>
void ApplyWindows(const IntegralImage &integral, Sample *plane, int32_t width, int32_t height,
                  int32_t pitch, int32_t radius, uint32_t reciprocal, Write write) {
    const size_t d = 2 * static_cast<size_t>(radius) + 1;
    const size_t stride = integral.stride;
    for (int32_t y = 0; y < height; ++y) {
        const uint32_t *top = integral.entries + static_cast<size_t>(y) * stride;
        const uint32_t *bottom = top + d * stride;
        Sample *row = plane + static_cast<size_t>(y) * static_cast<size_t>(pitch);
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t sum = bottom[x + d] - top[x + d] - bottom[x] + top[x];
            write(row[x], reciprocal * sum + 32768u);
        }
    }
}

inline int32_t MeanOf(uint32_t rounded) { return static_cast<int32_t>(rounded) >> 16; }

bool ValidPlane(const void *plane, int32_t width, int32_t height, int32_t pitch, int32_t radius) {
    if (width < 0 || height < 0 || radius < 0) return false;
    if (width == 0 || height == 0) return true;
    return plane != nullptr && pitch >= width;
}

template <typename Sample, typename Write>
int32_t RunBoxFilter(MemoryContext memory, Sample *plane, int32_t width, int32_t height,
                     int32_t pitch, int32_t radius, Write write) {
    IntegralImage integral;
    if (!BuildIntegral(memory, plane, width, height, pitch, radius, &integral))
        return RESULT_OUT_OF_MEMORY;
    ApplyWindows(integral, plane, width, height, pitch, radius,
                 static_cast<uint32_t>(BoxMeanReciprocal(radius)), write);
    FreeMemory(memory, integral.entries);
    return RESULT_OK;
}

}  // namespace

int32_t BoxMeanReciprocal(int32_t radius) {
    const int64_t d = 2 * static_cast<int64_t>(radius) + 1;
    const int64_t area = d * d;
    return static_cast<int32_t>((area + 131072) / (2 * area));
}

int32_t BoxFilterPlane16(MemoryContext memory, int16_t *plane, int32_t width, int32_t height,
                         int32_t pitch, int32_t radius, int32_t mode) {
    if (!ValidPlane(plane, width, height, pitch, radius)) return RESULT_INVALID_ARGUMENT;
    if (width == 0 || height == 0 || mode < 0 || mode > 2) return RESULT_OK;
    switch (mode) {
    case 0:
        // Negative samples mark cells that carry no value; they keep it.
        return RunBoxFilter(memory, plane, width, height, pitch, radius,
                            [](int16_t &s, uint32_t t) {
                                if (s >= 0) s = static_cast<int16_t>(MeanOf(t));
                            });
    case 1:
        return RunBoxFilter(memory, plane, width, height, pitch, radius,
                            [](int16_t &s, uint32_t t) { s = static_cast<int16_t>(MeanOf(t)); });
    default:
        return RunBoxFilter(memory, plane, width, height, pitch, radius,
                            [](int16_t &s, uint32_t t) {
                                if (MeanOf(t) >= 2) s = 256;
                            });
    }
}

int32_t BoxFilterPlane32(MemoryContext memory, int32_t *plane, int32_t width, int32_t height,
                         int32_t pitch, int32_t radius, int32_t mode) {
    if (!ValidPlane(plane, width, height, pitch, radius)) return RESULT_INVALID_ARGUMENT;
    if (width == 0 || height == 0) return RESULT_OK;
    if (mode == 0)
        return RunBoxFilter(memory, plane, width, height, pitch, radius,
                            [](int32_t &s, uint32_t t) {
                                if (s >= 0) s = MeanOf(t);
                            });
    return RunBoxFilter(memory, plane, width, height, pitch, radius,
                        [](int32_t &s, uint32_t t) { s = MeanOf(t); });
}

int32_t BoxFilterPlane8(MemoryContext memory, uint8_t *plane, int32_t width, int32_t height,
                        int32_t pitch, int32_t radius, int32_t mode) {
    if (!ValidPlane(plane, width, height, pitch, radius)) return RESULT_INVALID_ARGUMENT;
    if (width == 0 || height == 0 || mode < 0 || mode > 2) return RESULT_OK;
    if (mode == 2)
        // Twice the mean plus one half: a mask edge spreads at double strength.
        return RunBoxFilter(memory, plane, width, height, pitch, radius,
                            [](uint8_t &s, uint32_t t) {
                                const int32_t v = static_cast<int32_t>(t) >> 15;
                                s = static_cast<uint8_t>(v > 254 ? 255 : v);
                            });
    return RunBoxFilter(memory, plane, width, height, pitch, radius, [](uint8_t &s, uint32_t t) {
        const int32_t m = MeanOf(t);
        s = static_cast<uint8_t>(m > 255 ? 255 : m);
    });
}
