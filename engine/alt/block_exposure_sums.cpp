// Block sums of the exposure map: per block, the mean of the fused linear luma (split at the
// middle of the 12-bit range so that dark blocks are not pulled up by a few highlights) and the
// raw means of the bright and dark exposures.
#include <algorithm>

#include "alt/block_exposure_map.h"
#include "core/memory.h"

namespace {

constexpr int32_t kBlockSide = 32;
constexpr int32_t kRowStep = 4;
constexpr int32_t kColumnStep = 8;
constexpr uint32_t kFusedOverflow = 1u << 27;  // a blend this large is saturated
constexpr int32_t kSaturated = 4095;
constexpr int32_t kLowerHalfTop = 2047;

// Reads the luma code of pixel (px, py) of a source, held to the frame unless the whole block
// is known to lie inside it (the common case, which then skips the clamps).
template <bool kClamp>
struct LumaReader {
    const BlockFrame &frame;
    int32_t Read(const BlockSource &s, int32_t px, int32_t py) const {
        if (kClamp) {
            px = std::clamp(px, 0, frame.width - 1);
            py = std::clamp(py, 0, frame.height - 1);
        }
        return s.plane[int64_t{py} * frame.pitch + int64_t{px} * frame.bytesPerPixel +
                       frame.lumaOffset];
    }
};

int32_t FusedValue(const uint16_t *curves, int32_t d, int32_t b, int32_t r, int32_t wd,
                   int32_t wb, int32_t wr, uint32_t reciprocal) {
    // The blend is formed in 32 unsigned bits: a negative or huge product lands at or above
    // the overflow mark and reads as saturated.
    const uint32_t sum = uint32_t(curves[kCurveDark * 256 + d]) * uint32_t(wd) +
                         uint32_t(curves[kCurveBright * 256 + b]) * uint32_t(wb) +
                         uint32_t(curves[kCurveReference * 256 + r]) * uint32_t(wr);
    const uint32_t v = sum * reciprocal;
    return v >= kFusedOverflow ? kSaturated : int32_t(v >> 15);
}

// rawStep: the column distance of the second raw sample (2 on a luma plane, 1 packed).
template <bool kClamp>
BlockTotals AccumulateReads(const uint16_t *curves, const BlockSource *src, const BlockFrame &frame,
                       int32_t columns, int32_t rows, int32_t x, int32_t y, bool aligned,
                       const uint16_t *expand, const int32_t *reciprocals, int32_t wd,
                       int32_t wb, int32_t wr, int32_t rawStep) {
    BlockTotals t{};
    const LumaReader<kClamp> read{frame};
    const int32_t weightSum = wd + wb + wr;
    const uint32_t reciprocal =
        weightSum > 0 ? uint32_t(reciprocals[std::min(weightSum, kReciprocalTableSize - 1)]) : 0;
    int32_t dx[3], dy[3];
    for (int e = 0; e < 3; ++e) {
        dx[e] = aligned ? src[e].shiftX : 0;
        dy[e] = aligned ? src[e].shiftY : 0;
    }
    for (int32_t py = y; py < y + rows; py += kRowStep) {
        for (int32_t px = x; px < x + columns; px += kColumnStep) {
            int32_t luma[3][2];
            for (int e = 0; e < 3; ++e) {
                luma[e][0] = read.Read(src[e], px - dx[e], py - dy[e]);
                luma[e][1] = read.Read(src[e], px + 1 - dx[e], py - dy[e]);
            }
            const int32_t dark2 =
                rawStep == 1 ? luma[kCurveDark][1]
                             : read.Read(src[kCurveDark], px + rawStep - dx[0], py - dy[0]);
            const int32_t bright2 =
                rawStep == 1 ? luma[kCurveBright][1]
                             : read.Read(src[kCurveBright], px + rawStep - dx[1], py - dy[1]);
            t.rawDark += expand[luma[kCurveDark][0]] + expand[dark2];
            t.rawBright += expand[luma[kCurveBright][0]] + expand[bright2];
            int32_t f[2] = {kSaturated, kSaturated};
            if (weightSum > 0)
                for (int k = 0; k < 2; ++k)
                    f[k] = FusedValue(curves, luma[kCurveDark][k], luma[kCurveBright][k],
                                      luma[kCurveReference][k], wd, wb, wr, reciprocal);
            if (f[0] <= kLowerHalfTop) {
                t.lowerSum += f[0] + f[1];
                t.lowerCount += 2;
            } else {
                t.upperSum += f[0] + f[1];
                t.upperCount += 2;
            }
        }
    }
    return t;
}

BlockTotals Accumulate(const uint16_t *curves, const BlockSource *src, const BlockFrame &frame,
                       int32_t columns, int32_t rows, int32_t x, int32_t y, bool aligned,
                       const uint16_t *expand, const int32_t *reciprocals, int32_t wd,
                       int32_t wb, int32_t wr, int32_t rawStep) {
    // The reads span columns x .. x + columns + 1 (the raw sample two to the right) and rows
    // y .. y + rows - 1, each exposure moved by its shift when aligned.
    bool inside = true;
    for (int e = 0; e < 3; ++e) {
        const int32_t dx = aligned ? src[e].shiftX : 0, dy = aligned ? src[e].shiftY : 0;
        inside = inside && x - dx >= 0 && x + columns + 1 - dx < frame.width && y - dy >= 0 &&
                 y + rows - 1 - dy < frame.height;
    }
    return inside ? AccumulateReads<false>(curves, src, frame, columns, rows, x, y, aligned,
                                           expand, reciprocals, wd, wb, wr, rawStep)
                  : AccumulateReads<true>(curves, src, frame, columns, rows, x, y, aligned,
                                          expand, reciprocals, wd, wb, wr, rawStep);
}

int32_t WeightCell(const int16_t *grid, const HdrSession *s, int32_t i, int32_t j) {
    return grid[int64_t{i + 1} * (s->blocksAcross + 2) + (j + 1)];
}

using Accumulator = BlockTotals (*)(const uint16_t *, const BlockSource *, const BlockFrame &,
                                    int32_t, int32_t, int32_t, int32_t, bool, const uint16_t *,
                                    const int32_t *, int32_t, int32_t, int32_t);

void FillCurves(const HdrSession *s, uint16_t *curves) {
    const uint16_t *expand = s->gammaExpandTable;
    for (int i = 0; i < 256; ++i) {
        curves[kCurveDark * 256 + i] = s->exposureLuts[s->darkIndex][expand[i]];
        curves[kCurveBright * 256 + i] =
            uint16_t(s->exposureLuts[s->brightIndex][expand[i]] >> s->valueShift);
        curves[kCurveReference * 256 + i] = s->exposureLuts[s->referenceIndex][expand[i]];
    }
}

int SumBlocks(MemoryContext memory, const HdrSession *s, const uint8_t *const *planes,
              const BlockFrame &frame, const BlockSums &sums, const BlockProgress &progress,
              Accumulator accumulate) {
    uint16_t *curves = AllocateZeroed<uint16_t>(memory, 3 * 256);
    if (!curves) return RESULT_OUT_OF_MEMORY;
    FillCurves(s, curves);
    std::fill(sums.fused, sums.fused + int64_t{s->blocksAcross} * s->blocksDown, 0);
    // The dark exposure moves by the first global shift, the bright one by the second; the
    // reference is the frame everything was aligned to.
    const BlockSource src[3] = {
        {planes[s->darkIndex], s->globalShift[0], s->globalShift[1]},
        {planes[s->brightIndex], s->globalShift[2], s->globalShift[3]},
        {planes[s->referenceIndex], 0, 0}};
    const int32_t right = int32_t((int64_t{s->overlapRect.x} + s->overlapRect.width) / kBlockSide);
    const int32_t bottom =
        int32_t((int64_t{s->overlapRect.y} + s->overlapRect.height) / kBlockSide);
    const int16_t *gd = s->fusionWeightGrids[kWeightDark];
    const int16_t *gb = s->fusionWeightGrids[kWeightBright];
    const int16_t *gr = s->fusionWeightGrids[kWeightReference];
    for (int32_t i = 0; i < s->blocksDown; ++i) {
        if (progress.callback && i % 4 == 3 &&
            progress.callback(progress.percent, 0, progress.user) == PROGRESS_CANCEL) {
            FreeMemory(memory, curves);
            return RESULT_CANCELLED;
        }
        const int32_t rows = std::min(kBlockSide, frame.height - kBlockSide * i);
        for (int32_t j = 0; j < s->blocksAcross; ++j) {
            const int32_t columns = std::min(kBlockSide, frame.width - kBlockSide * j);
            const int64_t b = int64_t{i} * s->blocksAcross + j;
            if (rows <= 0 || columns <= 0) {
                sums.fused[b] = sums.bright[b] = sums.dark[b] = 0;
                continue;
            }
            // Blocks well inside the overlap are read where the alignment put them; the
            // others at their own position, as the shifted read would leave the frame.
            const bool interior = i >= 4 && i < bottom && j >= 4 && j < right;
            const BlockTotals t = accumulate(
                curves, src, frame, columns, rows, kBlockSide * j, kBlockSide * i, interior,
                s->gammaExpandTable, s->reciprocalTable, WeightCell(gd, s, i, j),
                WeightCell(gb, s, i, j), WeightCell(gr, s, i, j));
            const int32_t n = t.lowerCount + t.upperCount;
            sums.fused[b] = t.lowerCount > 0 ? t.lowerSum / t.lowerCount
                                             : (t.upperCount > 0 ? t.upperSum / t.upperCount : 0);
            sums.bright[b] = n > 0 ? t.rawBright / n : 0;
            sums.dark[b] = n > 0 ? t.rawDark / n : 0;
        }
    }
    FreeMemory(memory, curves);
    return RESULT_OK;
}

}  // namespace

BlockTotals AccumulateBlockRowsPlanar(const uint16_t *curves, const BlockSource *sources,
                                      const BlockFrame &frame, int32_t columns, int32_t rows,
                                      int32_t x, int32_t y, bool aligned,
                                      const uint16_t *gammaExpand, const int32_t *reciprocals,
                                      int32_t wd, int32_t wb, int32_t wr) {
    return Accumulate(curves, sources, frame, columns, rows, x, y, aligned, gammaExpand,
                      reciprocals, wd, wb, wr, 2);
}

BlockTotals AccumulateBlockRowsPacked422(const uint16_t *curves, const BlockSource *sources,
                                         const BlockFrame &frame, int32_t columns,
                                         int32_t rows, int32_t x, int32_t y, bool aligned,
                                         const uint16_t *gammaExpand,
                                         const int32_t *reciprocals, int32_t wd, int32_t wb,
                                         int32_t wr) {
    return Accumulate(curves, sources, frame, columns, rows, x, y, aligned, gammaExpand,
                      reciprocals, wd, wb, wr, 1);
}

int SumExposureBlocksPlanar(MemoryContext memory, const HdrSession *session,
                            const uint8_t *const *planes, int32_t width, int32_t height,
                            int32_t pitch, const BlockSums &sums, const BlockProgress &progress) {
    return SumBlocks(memory, session, planes, BlockFrame{width, height, pitch, 0, 1}, sums,
                     progress, AccumulateBlockRowsPlanar);
}

int SumExposureBlocksPacked422(MemoryContext memory, const HdrSession *session,
                               const uint8_t *const *planes, int32_t width, int32_t height,
                               int32_t pitch, const BlockSums &sums, int32_t lumaOffset,
                               const BlockProgress &progress) {
    return SumBlocks(memory, session, planes, BlockFrame{width, height, pitch, lumaOffset, 2},
                     sums, progress, AccumulateBlockRowsPacked422);
}
