// Measurement, ordering and chroma statistics of the two-call merge's inputs.
#include "intermediate_prepare.h"

#include <algorithm>
#include <cmath>

#include "core/chroma_stats.h"
#include "core/exposure_gain.h"
#include "core/exposure_order.h"
#include "core/exposure_stats.h"
#include "core/histogram_match.h"
#include "core/memory.h"
#include "local_alignment.h"
#include "tile_layout.h"

namespace {

constexpr int kSampleStride = 8;
constexpr int kNearWhite = 239;
constexpr int32_t kBlockSide = 32;
constexpr int kCurveTableSize = 256;

bool SameGeometry(const ImageDesc *inputs, int32_t count) {
    const ImageDesc &f = inputs[0];
    if (f.i32Width < 1 || f.i32Height < 1 || !f.ppu8Plane[0]) return false;
    for (int32_t i = 1; i < count; ++i) {
        const ImageDesc &in = inputs[i];
        if (in.u32PixelArrayFormat != f.u32PixelArrayFormat || in.i32Width != f.i32Width ||
            in.i32Height != f.i32Height || !in.ppu8Plane[0])
            return false;
        for (int p = 0; p < 3; ++p)
            if (in.pi32Pitch[p] != f.pi32Pitch[p]) return false;
    }
    return true;
}

int RecordFrame(MemoryContext memory, HdrSession *s, const ImageDesc &first, int32_t count) {
    s->frameWidth = first.i32Width;
    s->frameHeight = first.i32Height;
    s->framePitch = first.pi32Pitch[0];
    s->overlapRect.width = static_cast<uint32_t>(first.i32Width);
    s->overlapRect.height = first.i32Height;
    s->exposureCount = count;
    s->blockWidth = s->blockHeight = kBlockSide;
    s->blocksAcross = (first.i32Width + kBlockSide - 1) / kBlockSide;
    s->blocksDown = (first.i32Height + kBlockSide - 1) / kBlockSide;
    s->paddedBlocksAcross = s->blocksAcross + 2;
    s->paddedBlocksDown = s->blocksDown + 2;
    // The padded planes point into the old block; they are set again by the alignment.
    std::fill(s->paddedBlockPlanes, s->paddedBlockPlanes + 7, nullptr);
    FreeAndClear(memory, s->blockStats);
    s->blockStats = AllocateZeroed<int16_t>(
        memory, uint64_t(s->paddedBlocksAcross) * uint64_t(s->paddedBlocksDown) * kBlockStatPlanes);
    return s->blockStats ? RESULT_OK : RESULT_OUT_OF_MEMORY;
}

int16_t *StatPlane(HdrSession *s, int index) {
    return s->blockStats + int64_t{s->paddedBlocksAcross} * s->paddedBlocksDown * index;
}

int MeasureInput(MemoryContext memory, HdrSession *s, const ImageDesc &in, int32_t i,
                 double *gain) {
    if (!s->histograms[i]) s->histograms[i] = AllocateZeroed<ExposureHistograms>(memory, 1);
    if (!s->histograms[i]) return RESULT_OUT_OF_MEMORY;
    int32_t *histogram = (*s->histograms[i])[0];
    std::fill(histogram, histogram + 256, 0);
    const auto measure = in.u32PixelArrayFormat == PIXEL_FORMAT_YUYV ? MeasureExposureGainPacked
                                                                      : MeasureExposureGainPlanar;
    *gain = measure(0, histogram, s->gammaExpandTable, in.ppu8Plane[0], in.i32Width,
                    in.i32Height, in.pi32Pitch[0], StatPlane(s, i), s->blocksAcross, s->blocksDown);
    s->exposureGain[i] = *gain;
    s->exposureGainQ10[i] = static_cast<int32_t>(*gain * 1024.0 + 0.5);
    if (!s->exposureLuts[i]) s->exposureLuts[i] = AllocateZeroed<uint16_t>(memory, 4096);
    if (!s->exposureLuts[i]) return RESULT_OUT_OF_MEMORY;
    for (int k = 0; k < 4096; ++k) s->exposureLuts[i][k] = static_cast<uint16_t>(k);
    return RESULT_OK;
}

// Chroma histograms of PIXEL_FORMAT_NV16 with the sampling of its block means: pixels whose x
// and y are multiples of 8, where the brightest input is not near white.
void ChromaHistogramsNv16(HdrSession *s, const ImageDesc *inputs) {
    const ImageDesc &b = inputs[s->brightIndex];
    for (int e = 0; e < kMaxExposures; ++e) {
        std::fill((*s->histograms[e])[1], (*s->histograms[e])[1] + 256, 0);
        std::fill((*s->histograms[e])[2], (*s->histograms[e])[2] + 256, 0);
        if (!inputs[e].ppu8Plane[1]) return;
    }
    for (int32_t y = 0; y < b.i32Height; y += kSampleStride)
        for (int32_t x = 0; x < b.i32Width; x += kSampleStride) {
            if (b.ppu8Plane[0][int64_t{y} * b.pi32Pitch[0] + x] > kNearWhite) continue;
            for (int e = 0; e < kMaxExposures; ++e) {
                const uint8_t *uv = inputs[e].ppu8Plane[1] + int64_t{y} * inputs[e].pi32Pitch[1] + x;
                ++(*s->histograms[e])[1][uv[0]];
                ++(*s->histograms[e])[2][uv[1]];
            }
        }
}

void GatherChroma(HdrSession *s, const ImageDesc *inputs) {
    uint8_t *plane0[3], *plane1[3], *plane2[3];
    int32_t *u[3], *v[3];
    for (int e = 0; e < kMaxExposures; ++e) {
        plane0[e] = inputs[e].ppu8Plane[0];
        plane1[e] = inputs[e].ppu8Plane[1];
        plane2[e] = inputs[e].ppu8Plane[2];
        u[e] = (*s->histograms[e])[1];
        v[e] = (*s->histograms[e])[2];
    }
    const ImageDesc &f = inputs[0];
    const uint32_t format = f.u32PixelArrayFormat;
    if (format == PIXEL_FORMAT_NV16)
        ChromaHistogramsNv16(s, inputs);
    else
        ComputeChromaHistograms(0, s, u, v, plane0, plane1, plane2, f.i32Width, f.i32Height,
                                f.pi32Pitch[0], f.pi32Pitch[1], f.pi32Pitch[2], format);
    const int pairs[2][3] = {{s->referenceIndex, 3, 4}, {s->darkIndex, 8, 9}};
    for (const auto &pair : pairs)
        ComputeBlockChromaSums(0, plane0, plane1, plane2, f.i32Width, f.i32Height, f.pi32Pitch[0],
                               f.pi32Pitch[1], f.pi32Pitch[2], format, StatPlane(s, pair[1]),
                               StatPlane(s, pair[2]), s->blocksAcross, s->blocksDown, pair[0]);
}

// Level tables that map the dark and the bright exposure's luma onto the reference's.
int BuildCurveTables(MemoryContext memory, HdrSession *s) {
    const int32_t *target = (*s->histograms[s->referenceIndex])[0];
    int64_t total = 0;
    for (int k = 0; k < 256; ++k) total += target[k];
    const int32_t sources[2] = {s->darkIndex, s->brightIndex};
    for (int t = 0; t < 2; ++t) {
        if (!s->curveTables[t]) s->curveTables[t] = AllocateZeroed<uint8_t>(memory, kCurveTableSize);
        if (!s->curveTables[t]) return RESULT_OUT_OF_MEMORY;
        BuildHistogramMatchTable(s->curveTables[t], (*s->histograms[sources[t]])[0], target, total,
                                 0, 0);
    }
    return RESULT_OK;
}

}  // namespace

int PrepareIntermediateMerge(MemoryContext memory, HdrSession *s, const ImageDesc *inputs,
                             int32_t count, ProgressCallback progress, void *user) {
    const int checked = CheckIntermediateInputs(s, inputs, count);
    if (checked != RESULT_OK) return checked;
    if (!SameGeometry(inputs, count)) return RESULT_INVALID_ARGUMENT;
    int r = RecordFrame(memory, s, inputs[0], count);
    if (r != RESULT_OK) return r;
    double gains[kMaxExposures] = {};
    for (int32_t i = 0; i < count; ++i) {
        if (progress && progress(s->progressBase, 0, user) == PROGRESS_CANCEL) return RESULT_CANCELLED;
        r = MeasureInput(memory, s, inputs[i], i, &gains[i]);
        if (r != RESULT_OK) return r;
        s->progressBase += 1;
    }
    r = OrderExposuresVariant(s, gains, count);
    if (r != RESULT_OK) return r;
    GatherChroma(s, inputs);
    r = BuildCurveTables(memory, s);
    if (r != RESULT_OK) return r;
    std::fill(s->globalShift, s->globalShift + 2 * count, 0);
    // The scene statistics are taken once, here; the local alignment reads their thresholds.
    r = ComputeExposureStatistics(0, s);
    if (r != RESULT_OK) return r;
    return RunLocalAlignment(memory, s, inputs, count, s->globalShift, progress, user);
}

int ExtractByteLanes(const uint8_t *source, int32_t sourcePitch, uint8_t *destination,
                     int32_t samplesPerRow, int32_t rows, int32_t destinationPitch, int32_t mode) {
    if (!source || !destination) return RESULT_INVALID_ARGUMENT;
    if (mode < 1 || mode > 4) return RESULT_OK;
    for (int32_t r = 0; r < rows; ++r) {
        const uint8_t *in = source + int64_t{r} * 2 * sourcePitch;
        uint8_t *out = destination + int64_t{r} * destinationPitch;
        for (int32_t k = 0; k < samplesPerRow; ++k) {
            switch (mode) {
            case 1: out[k] = in[2 * k]; break;
            case 2: out[k] = in[6 * k + 1]; break;
            case 3:
                out[3 * k] = in[6 * k];
                out[3 * k + 1] = in[6 * k + 1];
                out[3 * k + 2] = in[6 * k + 2];
                break;
            default: out[k] = in[4 * k]; break;
            }
        }
    }
    return RESULT_OK;
}
