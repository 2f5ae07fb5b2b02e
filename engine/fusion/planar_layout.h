// Where the planar and semi-planar formats keep the chroma of a pixel.
//   planar 4:2:0       U and V planes: byte x >> 1 of chroma row r >> 1
//   semi-planar 4:2:0  one interleaved plane: bytes (x with bit 0 cleared) and + 1 of row r >> 1
//   semi-planar 4:2:2  one interleaved plane: the same bytes of row r
//   planar 4:2:2       U and V planes: byte x >> 1 of row r
#pragma once

#include <algorithm>
#include <cstdint>

enum class ChromaLayout { kPlanar420, kSemiPlanar420, kSemiPlanar422, kPlanar422 };

template <ChromaLayout L>
constexpr bool kSubsampledRows = L == ChromaLayout::kPlanar420 || L == ChromaLayout::kSemiPlanar420;

// U and V in planes of their own, one byte per pixel pair.
template <ChromaLayout L>
constexpr bool kSeparateChromaPlanes = L == ChromaLayout::kPlanar420 || L == ChromaLayout::kPlanar422;

// The chroma row of image row `row`. A 4:2:0 chroma row is held to the rows the process
// rectangle covers (bottom its exclusive end), so an odd bottom never reads past h >> 1 rows.
template <ChromaLayout L>
inline int32_t ChromaRowOf(int32_t row, int32_t bottom) {
    if constexpr (kSubsampledRows<L>) return std::min(row >> 1, std::max((bottom >> 1) - 1, 0));
    return row;
}

// A row of a planar or semi-planar image at the span's first pixel: luma, then the U and V
// rows (planar 4:2:0) or the interleaved chroma row in u (semi-planar; v unused).
struct PlanarRowIn {
    const uint8_t *y;
    const uint8_t *u;
    const uint8_t *v;
};
struct PlanarRowOut {
    uint8_t *y;
    uint8_t *u;
    uint8_t *v;
};
