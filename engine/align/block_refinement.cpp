#include "block_refinement.h"

#include <cstdlib>

#include "align/luma_window.h"
#include "align/pyramid_aligner.h"
#include "core/memory.h"

namespace {

constexpr double kMarkThreshold = 0.125;  // thumbnail pixels: one full-resolution pixel
constexpr int kMinimumKeptFeatures = 4;

// Weighted mean residual of the kept features around one block centre; false with too few.
bool MeanResidualAt(const HdrSession *s, int32_t i, double cx, double cy, double *mx, double *my) {
    const int32_t ref = s->referenceIndex;
    const int32_t count = s->featureCount < 128 ? s->featureCount : 128;
    double sumW = 0, sumX = 0, sumY = 0;
    int kept = 0;
    for (int32_t f = 0; f < count; ++f) {
        if (s->matchedExtra[i][f] == 0) continue;
        const double dx = cx - s->matchedMotionX[ref][f];
        const double dy = cy - s->matchedMotionY[ref][f];
        const double weight = 128.0 / (dx * dx + dy * dy + 128.0);
        sumW += weight;
        sumX += weight * s->matchedMotionX[i][f];
        sumY += weight * s->matchedMotionY[i][f];
        ++kept;
    }
    if (kept < kMinimumKeptFeatures) return false;
    *mx = sumX / sumW;
    *my = sumY / sumW;
    return true;
}

struct Windows {
    uint8_t *reference;
    uint8_t *exposure;
};

// Cuts the node's two blocks and returns the aligner's residual; non-zero ends the refinement.
int MatchNode(MemoryContext memory, HdrSession *s, int32_t i, const Windows &windows, int32_t ox,
              int32_t oy, int32_t vx, int32_t vy, int32_t *dx, int32_t *dy,
              ProgressCallback progress, void *user) {
    const ImageDesc &ref = s->inputImages[s->referenceIndex];
    const ImageDesc &exp = s->inputImages[i];
    const int32_t b = s->meshConstants[0];
    const uint32_t format = exp.u32PixelArrayFormat;
    // Both origins are pushed by |v| so that neither lies above or left of the block; the
    // exposure's block is the reference's moved by -v.
    const int32_t rx = ox + std::abs(vx);
    const int32_t ry = oy + std::abs(vy);
    int r = ExtractLumaWindow(ref.ppu8Plane[0], ref.i32Width, ref.i32Height, ref.pi32Pitch[0],
                              windows.reference, b, b, b, rx, ry, format);
    if (r != RESULT_OK) return r;
    r = ExtractLumaWindow(exp.ppu8Plane[0], exp.i32Width, exp.i32Height, exp.pi32Pitch[0],
                          windows.exposure, b, b, b, rx - vx, ry - vy, format);
    if (r != RESULT_OK) return r;
    int thresholdState = 0;  // gradient codes: not read
    int32_t unusedX = 0, unusedY = 0;
    *dx = *dy = 0;
    return AlignTriplePyramid(memory, s, windows.reference, windows.exposure, nullptr, format, 0, b,
                              b, b, b, b, b, dx, dy, &unusedX, &unusedY, &thresholdState, 1, 0,
                              progress, user);
}

}  // namespace

void MarkResidualNodes(const HdrSession *s, int32_t i, int32_t C, int32_t D, uint8_t *marks) {
    const int32_t columns = C + 2;
    const double b = s->meshConstants[0];
    for (int32_t r = 1; r <= D - 1; ++r) {
        for (int32_t c = 1; c <= C - 1; ++c) {
            const double cx = (b * c - b / 2) * 0.125;
            const double cy = (b * r - b / 2) * 0.125;
            double mx = 0, my = 0;
            if (!MeanResidualAt(s, i, cx, cy, &mx, &my)) continue;
            if (std::abs(mx) > kMarkThreshold || std::abs(my) > kMarkThreshold)
                marks[r * columns + c] = 1;
        }
    }
}

void RefineMarkedNodes(MemoryContext memory, HdrSession *s, int32_t i, int32_t *gridX,
                       int32_t *gridY, int32_t C, int32_t D, ProgressCallback progress,
                       void *user) {
    const int32_t columns = C + 2;
    const uint64_t nodes = static_cast<uint64_t>(columns) * (D + 2);
    uint8_t *marks = AllocateZeroed<uint8_t>(memory, nodes);
    if (!marks) return;  // the grids from the transform stand
    MarkResidualNodes(s, i, C, D, marks);

    s->alignGradientMode = 1;
    s->alignPyramidDepth = 1;
    const int32_t b = s->meshConstants[0];
    const uint64_t windowBytes = 3 * static_cast<uint64_t>(b) * b;
    Windows windows{AllocateZeroed<uint8_t>(memory, windowBytes),
                    AllocateZeroed<uint8_t>(memory, windowBytes)};
    bool completed = windows.reference && windows.exposure;
    for (int32_t r = 1; completed && r <= D; ++r) {
        for (int32_t c = 1; c <= C; ++c) {
            const int32_t node = r * columns + c;
            if (!marks[node]) continue;
            const int32_t vx = gridX[node] + s->globalShift[2 * i];
            const int32_t vy = gridY[node] + s->globalShift[2 * i + 1];
            int32_t dx = 0, dy = 0;
            if (MatchNode(memory, s, i, windows, (c - 1) * b, (r - 1) * b, vx, vy, &dx, &dy,
                          progress, user) != RESULT_OK) {
                completed = false;
                break;
            }
            gridX[node] += dx;
            gridY[node] += dy;
        }
    }
    // The answer is ignored: registration does not stop once its blocks are matched.
    if (completed && progress) progress(s->progressBase, 0, user);
    FreeAndClear(memory, windows.reference);
    FreeAndClear(memory, windows.exposure);
    FreeMemory(memory, marks);
}
