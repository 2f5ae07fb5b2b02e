// Row kernels of the cell warp: bilinear luma and planar samples, nearest chroma pairs.
#include <algorithm>
#include <cstring>

#include "align/transform_warp.h"

namespace {

struct SourcePlane {
    const uint8_t *data;
    int32_t width;
    int32_t height;
    int32_t pitch;
};

// The displacement geometry of one destination row.
struct RowSampler {
    int32_t y;
    int32_t fractionBits;  // 2s + 4: bits below the whole pixel
    int32_t weightShift;   // 2s: bits below the 4-bit weight
    int64_t mask;
};

RowSampler MakeRowSampler(int32_t y, int32_t s) {
    return {y, 2 * s + 4, 2 * s, (int64_t{1} << (2 * s + 4)) - 1};
}

int32_t RoundUpToFour(int32_t v) { return (v + 3) & ~3; }

// Visits [first, end) in the three stretches of the row kernels: pixel by pixel up to a multiple
// of 4, groups of four (calling group(x, dx0, dy0, dx2, dy2)), then the tail pixel by pixel.
template <typename Single, typename Group>
void VisitSpan(int32_t first, int32_t end, int64_t dx, int64_t dy, int64_t stepX, int64_t stepY,
               Single single, Group group) {
    auto displacementX = [&](int32_t x) { return dx + (x - first) * stepX; };
    auto displacementY = [&](int32_t x) { return dy + (x - first) * stepY; };
    const int32_t aligned = std::min(RoundUpToFour(first), end);
    for (int32_t x = first; x < aligned; ++x) single(x, displacementX(x), displacementY(x));
    if (end <= aligned) return;
    const int32_t groupsEnd = end & ~3;
    int32_t x = aligned;
    for (; x < groupsEnd; x += 4)
        group(x, displacementX(x), displacementY(x), displacementX(x + 2), displacementY(x + 2));
    for (; x < end; ++x) single(x, displacementX(x), displacementY(x));
}

// Copies the nearest source chroma pair of pixel x into the destination pair of x.
struct ChromaPairs {
    const uint8_t *source;
    int32_t sourcePitch;
    int32_t pairBytes;  // bytes of a chroma row (the luma width rounded up to even)
    int32_t rows;       // chroma rows
    uint8_t *destinationRow;
};

void CopyChromaPair(const ChromaPairs &c, const RowSampler &r, int32_t x, int64_t dx,
                    int64_t dy) {
    const int64_t sx = x + (dx >> r.fractionBits);
    const int64_t sy = r.y + (dy >> r.fractionBits);
    const int64_t column = std::clamp<int64_t>((sx + 1) & ~int64_t{1}, 0, c.pairBytes - 2);
    const int64_t row = std::clamp<int64_t>(sy >> 1, 0, c.rows - 1);
    const uint8_t *pair = c.source + row * c.sourcePitch + column;
    uint8_t *out = c.destinationRow + (x & ~1);
    out[0] = pair[0];
    out[1] = pair[1];
}

// Displacements of the valid rows of a cell: the bilinear interpolation of the corner values.
struct CellRow {
    int64_t startX, startY, stepX, stepY;
};

CellRow CellRowSetUp(const int32_t *dx, const int32_t *dy, int32_t s, int32_t r, int32_t x0) {
    const int64_t dr = (int64_t{dx[CELL_TOP_LEFT]} << s) +
                       int64_t{r} * (dx[CELL_BOTTOM_LEFT] - int64_t{dx[CELL_TOP_LEFT]});
    const int64_t er = ((int64_t{dx[CELL_TOP_RIGHT]} << s) +
                        int64_t{r} * (dx[CELL_BOTTOM_RIGHT] - int64_t{dx[CELL_TOP_RIGHT]})) -
                       dr;
    const int64_t fr = (int64_t{dy[CELL_TOP_LEFT]} << s) +
                       int64_t{r} * (dy[CELL_BOTTOM_LEFT] - int64_t{dy[CELL_TOP_LEFT]});
    const int64_t gr = ((int64_t{dy[CELL_TOP_RIGHT]} << s) +
                        int64_t{r} * (dy[CELL_BOTTOM_RIGHT] - int64_t{dy[CELL_TOP_RIGHT]})) -
                       fr;
    return {(dr << s) + x0 * er, (fr << s) + x0 * gr, er, gr};
}

SourcePlane PlaneOf(const ImageDesc *image, int32_t plane) {
    return {image->ppu8Plane[plane], image->i32Width, image->i32Height, image->pi32Pitch[plane]};
}

}  // namespace

void SampleRowBilinear16(const uint8_t *source, int32_t sourceWidth, int32_t sourceHeight,
                         int32_t sourcePitch, uint8_t *destinationRow, int32_t y, int32_t first,
                         int32_t end, int64_t dx, int64_t dy, int64_t stepX, int64_t stepY,
                         int32_t s) {
    if (!source || !destinationRow || sourceWidth <= 0 || sourceHeight <= 0) return;
    const int32_t fractionBits = 2 * s + 4, weightShift = 2 * s;
    const int64_t mask = (int64_t{1} << fractionBits) - 1;
    const int64_t lastColumn = sourceWidth - 1, lastRow = sourceHeight - 1;
    // One bilinear sample of pixel x at displacement (px, py); reads are clamped to the plane.
    auto sample = [=](int32_t x, int64_t px, int64_t py) -> uint8_t {
        const int64_t c0 = std::clamp<int64_t>(x + (px >> fractionBits), 0, lastColumn);
        const int64_t r0 = std::clamp<int64_t>(y + (py >> fractionBits), 0, lastRow);
        const int64_t c1 = std::min(c0 + 1, lastColumn);
        const int64_t r1 = std::min(r0 + 1, lastRow);
        const int32_t wx = static_cast<int32_t>((px & mask) >> weightShift);
        const int32_t wy = static_cast<int32_t>((py & mask) >> weightShift);
        const uint8_t *top = source + r0 * sourcePitch;
        const uint8_t *bottom = source + r1 * sourcePitch;
        const int32_t left = 16 * top[c0] + wy * (bottom[c0] - top[c0]);
        const int32_t right = 16 * top[c1] + wy * (bottom[c1] - top[c1]);
        return static_cast<uint8_t>((16 * left + wx * (right - left)) >> 8);
    };
    VisitSpan(
        first, end, dx, dy, stepX, stepY,
        [&](int32_t x, int64_t px, int64_t py) { destinationRow[x] = sample(x, px, py); },
        [&](int32_t x, int64_t px0, int64_t py0, int64_t px2, int64_t py2) {
            // The group is stored as one word in the pairing order.
            const uint8_t group[4] = {sample(x, px0, py0), sample(x + 1, px0, py0),
                                      sample(x + 2, px2, py2), sample(x + 3, px2, py2)};
            std::memcpy(destinationRow + x, group, 4);
        });
}

void WarpCellRowsPlanar(const ImageDesc *source, ImageDesc *destination, int32_t cellX,
                        int32_t cellY, const int32_t *dx, const int32_t *dy, int32_t s,
                        const PixelRect *valid) {
    const int32_t planes = source->u32PixelArrayFormat == PIXEL_FORMAT_YUV444P ? 3 : 1;
    for (int32_t r = valid->y0; r < valid->y1; ++r) {
        const CellRow row = CellRowSetUp(dx, dy, s, r, valid->x0);
        const int32_t y = cellY + r;
        for (int32_t p = 0; p < planes; ++p) {
            const SourcePlane src = PlaneOf(source, p);
            uint8_t *out = destination->ppu8Plane[p] +
                           static_cast<int64_t>(y) * destination->pi32Pitch[p];
            SampleRowBilinear16(src.data, src.width, src.height, src.pitch, out, y,
                                cellX + valid->x0, cellX + valid->x1, row.startX, row.startY,
                                row.stepX, row.stepY, s);
        }
    }
}

void WarpCellRowsSemiPlanar(const ImageDesc *source, ImageDesc *destination, int32_t cellX,
                            int32_t cellY, const int32_t *dx, const int32_t *dy, int32_t s,
                            const PixelRect *valid) {
    const SourcePlane luma = PlaneOf(source, 0);
    const int32_t chromaRows = source->i32Height >> 1;
    for (int32_t r = valid->y0; r < valid->y1; ++r) {
        const CellRow row = CellRowSetUp(dx, dy, s, r, valid->x0);
        const int32_t y = cellY + r;
        const int32_t first = cellX + valid->x0, end = cellX + valid->x1;
        uint8_t *lumaOut =
            destination->ppu8Plane[0] + static_cast<int64_t>(y) * destination->pi32Pitch[0];
        SampleRowBilinear16(luma.data, luma.width, luma.height, luma.pitch, lumaOut, y, first,
                            end, row.startX, row.startY, row.stepX, row.stepY, s);
        if ((y & 1) == 0 || chromaRows <= 0) continue;
        const ChromaPairs pairs = {
            source->ppu8Plane[1], source->pi32Pitch[1], (source->i32Width + 1) & ~1, chromaRows,
            destination->ppu8Plane[1] + static_cast<int64_t>(y >> 1) * destination->pi32Pitch[1]};
        const RowSampler sampler = MakeRowSampler(y, s);
        VisitSpan(
            first, end, row.startX, row.startY, row.stepX, row.stepY,
            [&](int32_t x, int64_t px, int64_t py) { CopyChromaPair(pairs, sampler, x, px, py); },
            [&](int32_t x, int64_t px0, int64_t py0, int64_t px2, int64_t py2) {
                CopyChromaPair(pairs, sampler, x, px0, py0);
                CopyChromaPair(pairs, sampler, x + 2, px2, py2);
            });
    }
}
