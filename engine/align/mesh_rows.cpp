#include "mesh_rows.h"

#include <algorithm>
#include <cstring>

#include "align/transform_warp.h"

namespace {

// Displacements along one valid cell row: the bilinear interpolation of the corner values in
// units of 2^-(2s+4) pixel.
struct RowDisplacement {
    int64_t startX, startY, stepX, stepY;
};

RowDisplacement SetUpRow(const int32_t *dx, const int32_t *dy, int32_t s, int32_t r, int32_t x0) {
    const int64_t d =
        (int64_t{dx[CELL_TOP_LEFT]} << s) + r * (int64_t{dx[CELL_BOTTOM_LEFT]} - dx[CELL_TOP_LEFT]);
    const int64_t e = ((int64_t{dx[CELL_TOP_RIGHT]} << s) +
                       r * (int64_t{dx[CELL_BOTTOM_RIGHT]} - dx[CELL_TOP_RIGHT])) -
                      d;
    const int64_t f =
        (int64_t{dy[CELL_TOP_LEFT]} << s) + r * (int64_t{dy[CELL_BOTTOM_LEFT]} - dy[CELL_TOP_LEFT]);
    const int64_t g = ((int64_t{dy[CELL_TOP_RIGHT]} << s) +
                       r * (int64_t{dy[CELL_BOTTOM_RIGHT]} - dy[CELL_TOP_RIGHT])) -
                      f;
    return {(d << s) + x0 * e, (f << s) + x0 * g, e, g};
}

// Where a displacement sends pixel (x, y): whole source pixel and 4-bit weights.
struct SourcePoint {
    int64_t x, y;
    int32_t wx, wy;
};

SourcePoint Locate(int32_t x, int32_t y, int64_t dxv, int64_t dyv, int32_t s) {
    const int32_t bits = 2 * s + 4;
    const int64_t mask = (int64_t{1} << bits) - 1;
    return {x + (dxv >> bits), y + (dyv >> bits), static_cast<int32_t>((dxv & mask) >> (2 * s)),
            static_cast<int32_t>((dyv & mask) >> (2 * s))};
}

// Visits [first, end): pixel by pixel up to a multiple of `group`, groups (the callback gets
// the group's first pixel and displacement), then the tail pixel by pixel.
template <typename Single, typename Group>
void VisitStretches(int32_t first, int32_t end, int32_t group, const RowDisplacement &d,
                    Single single, Group grouped) {
    auto at = [&](int32_t x, int64_t *px, int64_t *py) {
        *px = d.startX + (x - first) * d.stepX;
        *py = d.startY + (x - first) * d.stepY;
    };
    int64_t px, py;
    const int32_t aligned = std::min((first + group - 1) / group * group, end);
    int32_t x = first;
    for (; x < aligned; ++x) {
        at(x, &px, &py);
        single(x, px, py);
    }
    for (; x + group <= end; x += group) grouped(x, at);
    for (; x < end; ++x) {
        at(x, &px, &py);
        single(x, px, py);
    }
}

struct I420Chroma {
    const ImageDesc *source;
    ImageDesc *destination;
    int32_t sourceColumns, sourceRows;  // readable half-resolution samples
    int32_t destColumns, destRows;
};

void CopyNearestChroma(const I420Chroma &c, int32_t x, int32_t y, const SourcePoint &p) {
    const int32_t column = x >> 1;
    const int32_t row = y >> 1;
    if (column >= c.destColumns || row >= c.destRows) return;
    const int64_t sc = std::clamp<int64_t>((p.x + 1) >> 1, 0, c.sourceColumns - 1);
    const int64_t sr = std::clamp<int64_t>(p.y >> 1, 0, c.sourceRows - 1);
    for (int plane = 1; plane <= 2; ++plane)
        c.destination
            ->ppu8Plane[plane]
                       [static_cast<int64_t>(row) * c.destination->pi32Pitch[plane] + column] =
            c.source->ppu8Plane[plane][sr * c.source->pi32Pitch[plane] + sc];
}

// Half-resolution samples of an I420 plane that exist in its buffer.
int32_t ChromaColumns(const ImageDesc &image) {
    return std::min((image.i32Width + 1) >> 1, image.pi32Pitch[1]);
}

struct PackedPlane {
    const uint8_t *data;
    int32_t width;  // pixels (even)
    int32_t height;
    int32_t pitch;
};

uint8_t PackedLuma(const PackedPlane &p, int64_t x, int64_t y) {
    x = std::clamp<int64_t>(x, 0, p.width - 1);
    y = std::clamp<int64_t>(y, 0, p.height - 1);
    return p.data[y * p.pitch + 2 * x + 1];
}

uint8_t BlendPackedLuma(const PackedPlane &p, const SourcePoint &s, int64_t column) {
    const int32_t top = PackedLuma(p, column, s.y);
    const int32_t topRight = PackedLuma(p, column + 1, s.y);
    const int32_t left = 16 * top + s.wy * (PackedLuma(p, column, s.y + 1) - top);
    const int32_t right = 16 * topRight + s.wy * (PackedLuma(p, column + 1, s.y + 1) - topRight);
    return static_cast<uint8_t>((16 * left + s.wx * (right - left)) >> 8);
}

// Bytes 0 and 2 of the nearest source group (the vertical weight rounds the row).
const uint8_t *PackedChromaGroup(const PackedPlane &p, const SourcePoint &s) {
    const int64_t row = std::clamp<int64_t>(s.y + ((s.wy + 8) >> 4), 0, p.height - 1);
    const int64_t byte = std::clamp<int64_t>((2 * s.x + 2) & ~int64_t{3}, 0, 2 * p.width - 4);
    return p.data + row * p.pitch + byte;
}

}  // namespace

void WarpCellRowsI420(const ImageDesc *source, ImageDesc *destination, int32_t cellX, int32_t cellY,
                      const int32_t *dx, const int32_t *dy, int32_t s, const PixelRect &valid) {
    const I420Chroma chroma{source,
                            destination,
                            ChromaColumns(*source),
                            source->i32Height >> 1,
                            ChromaColumns(*destination),
                            destination->i32Height >> 1};
    for (int32_t r = valid.y0; r < valid.y1; ++r) {
        const int32_t y = cellY + r;
        const RowDisplacement d = SetUpRow(dx, dy, s, r, valid.x0);
        const int32_t first = cellX + valid.x0;
        const int32_t end = cellX + valid.x1;
        uint8_t *row =
            destination->ppu8Plane[0] + static_cast<int64_t>(y) * destination->pi32Pitch[0];
        SampleRowBilinear16(source->ppu8Plane[0], source->i32Width, source->i32Height,
                            source->pi32Pitch[0], row, y, first, end, d.startX, d.startY, d.stepX,
                            d.stepY, s);
        if ((y & 1) == 0 || chroma.sourceRows <= 0 || chroma.sourceColumns <= 0) continue;
        VisitStretches(
            first, end, 4, d,
            [&](int32_t x, int64_t px, int64_t py) {
                CopyNearestChroma(chroma, x, y, Locate(x, y, px, py, s));
            },
            [&](int32_t x, auto at) {
                for (int32_t k = 0; k <= 2; k += 2) {
                    int64_t px, py;
                    at(x + k, &px, &py);
                    CopyNearestChroma(chroma, x + k, y, Locate(x + k, y, px, py, s));
                }
            });
    }
}

void WarpCellRowsPackedLumaOdd(const ImageDesc *source, ImageDesc *destination, int32_t cellX,
                               int32_t cellY, const int32_t *dx, const int32_t *dy, int32_t s,
                               const PixelRect &valid) {
    const PackedPlane src{source->ppu8Plane[0], source->i32Width, source->i32Height,
                          source->pi32Pitch[0]};
    for (int32_t r = valid.y0; r < valid.y1; ++r) {
        const int32_t y = cellY + r;
        const RowDisplacement d = SetUpRow(dx, dy, s, r, valid.x0);
        uint8_t *row =
            destination->ppu8Plane[0] + static_cast<int64_t>(y) * destination->pi32Pitch[0];
        VisitStretches(
            cellX + valid.x0, cellX + valid.x1, 2, d,
            [&](int32_t x, int64_t px, int64_t py) {
                const SourcePoint p = Locate(x, y, px, py, s);
                uint8_t *group = row + 2 * (x & ~1);
                const uint8_t *chroma = PackedChromaGroup(src, p);
                group[0] = chroma[0];
                group[2] = chroma[2];
                row[2 * x + 1] = BlendPackedLuma(src, p, p.x);
            },
            [&](int32_t x, auto at) {
                int64_t px, py;
                at(x, &px, &py);
                const SourcePoint p = Locate(x, y, px, py, s);
                const uint8_t *chroma = PackedChromaGroup(src, p);
                const uint8_t word[4] = {chroma[0], BlendPackedLuma(src, p, p.x), chroma[2],
                                         BlendPackedLuma(src, p, p.x + 1)};
                std::memcpy(row + 2 * x, word, 4);
            });
    }
}
