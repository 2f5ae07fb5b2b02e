// Argument checks and row addressing shared by the art effect kernels.
#pragma once

#include <cstdint>

// What a kernel does with its picture arguments.
enum class LomoRows { kProcess, kNothing, kRefused };

inline LomoRows CheckLomoRows(const uint8_t *buffer, int32_t width, int32_t height,
                              int32_t lineBytes) {
    if (width <= 0 || height <= 0) return LomoRows::kNothing;
    if (!buffer || static_cast<int64_t>(lineBytes) < 3 * static_cast<int64_t>(width))
        return LomoRows::kRefused;
    return LomoRows::kProcess;
}

inline uint8_t *LomoRow(uint8_t *buffer, int32_t y, int32_t lineBytes) {
    return buffer + static_cast<int64_t>(y) * lineBytes;
}

inline int32_t ClampToByte(int32_t v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

// Row loops are built twice, for AVX2 and for the baseline processor, and the loader picks the
// one the machine runs; the arithmetic is integer only, so both give the same bytes. LOMO_SIMD
// lets the compiler vectorise a row loop whose pixels are independent of one another (each
// iteration reads and writes only its own three bytes).
#define LOMO_ROW_KERNEL __attribute__((target_clones("avx2", "default")))
#define LOMO_SIMD _Pragma("omp simd")
