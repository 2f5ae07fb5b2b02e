// The colour look of the art effect engine: a 17x17x17 grid over the input levels 16*n
// (point 16 stands for 256, one step beyond the brightest level), written by
// tools/gen_color_look_table.py.
#pragma once

#include <cstdint>

constexpr int32_t kLomoLookGridPoints = 17;
constexpr int32_t kLomoLookPlaneSize = 17 * 17 * 17;
constexpr int32_t kLomoColorLookTableSize = 3 * kLomoLookPlaneSize;

// Three planes in the order output B, output G, output R; within a plane the entry of grid
// point (r, g, b) stands at r * 289 + g * 17 + b.
extern const uint8_t LomoColorLookTable[kLomoColorLookTableSize];

inline int32_t LomoLookIndex(int32_t r, int32_t g, int32_t b) {
    return r * kLomoLookGridPoints * kLomoLookGridPoints + g * kLomoLookGridPoints + b;
}
