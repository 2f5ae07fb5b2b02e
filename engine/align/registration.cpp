#include "registration.h"

#include <algorithm>
#include <cmath>

#include "align/block_refinement.h"
#include "align/block_residual_check.h"
#include "align/feature_tracker.h"
#include "align/projective_fit.h"
#include "align/quantile_curve.h"
#include "align/thumbnail_agreement.h"
#include "align/transform_warp.h"
#include "core/histogram_match.h"
#include "core/image.h"
#include "core/memory.h"

namespace {

constexpr uint32_t kMaxKeptStatus = 44;  // descriptor distance of a match worth keeping
constexpr int32_t kMinReferenceFeatures = 3;
constexpr int32_t kFeatureCapacity = 128;  // floats in each feature and motion array
constexpr int32_t kFitScratchBytesPerFeature = 36;
constexpr int32_t kMinFitMatches = 5;  // below this the fit forms no hypothesis

// Table slot s of the level tables (curveTables[s] forward, [s + 2] reverse).
int32_t TableSlot(const HdrSession *s, int32_t i) {
    if (s->preparedByRun == 1) return i == s->darkIndex ? 0 : 1;
    return i <= 1 ? 0 : 1;
}

// Grid slot k of the motion grids.
int32_t GridSlot(const HdrSession *s, int32_t i) {
    if (s->preparedByRun != 0) {
        if (i == s->darkIndex) return 0;
        if (i == s->brightIndex) return 1;
    }
    return std::max(i - 1, 0);
}

const int32_t *LumaHistogram(const HdrSession *s, int32_t i) { return (*s->histograms[i])[0]; }

bool Valid(const HdrSession *s, int32_t i) {
    if (!s || i < 0 || i >= kMaxExposures || s->referenceIndex < 0 ||
        s->referenceIndex >= kMaxExposures)
        return false;
    const int32_t ref = s->referenceIndex;
    const int32_t slot = TableSlot(s, i);
    return s->workImage && s->alignedSmall[i] && s->smallImages[i] && s->inputImages &&
           s->histograms[i] && s->histograms[ref] && s->curveTables[slot] &&
           s->curveTables[slot + 2] && s->matchedMotionX[i] && s->matchedMotionY[i] &&
           s->matchedMotionX[ref] && s->matchedMotionY[ref] && s->matchedExtra[i] && s->featureX &&
           s->featureY && s->featureArrays[0] && s->featureArrays[1] && s->meshConstants[0] > 0 &&
           s->workImage->ppu8Plane[0] && SameImageShape(s->workImage, s->smallImages[i]) &&
           SameImageShape(s->workImage, s->alignedSmall[i]) &&
           (s->featureCount < kMinReferenceFeatures || s->tracker);
}

// Step 1: the level tables between the exposure and the reference.
int BuildLevelTables(MemoryContext memory, HdrSession *s, int32_t i, int64_t n) {
    const int32_t slot = TableSlot(s, i);
    const int32_t *exposure = LumaHistogram(s, i);
    const int32_t *reference = LumaHistogram(s, s->referenceIndex);
    uint8_t *table = s->curveTables[slot];
    BuildHistogramMatchTable(table, exposure, reference, n, 0, 0);
    if (i == s->darkIndex) {
        uint8_t *curve = static_cast<uint8_t *>(AllocateMemory(memory, 256));
        if (!curve) return RESULT_OUT_OF_MEMORY;
        FitQuantileCurveLut(curve, exposure, reference, n);
        BlendWithQuantileCurve(table, curve);
        FreeMemory(memory, curve);
    }
    BuildHistogramMatchTable(s->curveTables[slot + 2], reference, exposure, n, 0, 1);
    return RESULT_OK;
}

void ApplyToLuma(ImageDesc *image, const uint8_t *table) {
    for (int32_t y = 0; y < image->i32Height; ++y) {
        uint8_t *row = image->ppu8Plane[0] + static_cast<int64_t>(y) * image->pi32Pitch[0];
        for (int32_t x = 0; x < image->i32Width; ++x) row[x] = table[row[x]];
    }
}

// Steps 5b-d: tracks the reference features into the level-mapped thumbnail, keeps the
// reference positions and tracked positions, and compacts the good matches into the fit's
// input arrays. Returns the number of matches kept.
int32_t TrackAndKeep(HdrSession *s, int32_t i, int32_t count) {
    FeatureTracker *t = s->tracker;
    TrackFeatures(t, s->workImage, s->featureArrays[0], s->featureArrays[1], 0);
    const int32_t ref = s->referenceIndex;
    int32_t kept = 0;
    for (int32_t f = 0; f < count; ++f) {
        s->matchedMotionX[ref][f] = t->referenceX[f];
        s->matchedMotionY[ref][f] = t->referenceY[f];
        s->matchedMotionX[i][f] = t->trackedX[f];
        s->matchedMotionY[i][f] = t->trackedY[f];
        const bool keep = static_cast<uint32_t>(t->trackedStatus[f]) <= kMaxKeptStatus;
        s->matchedExtra[i][f] = keep ? 1 : 0;
        if (!keep) continue;
        s->featureX[kept] = t->referenceX[f];
        s->featureY[kept] = t->referenceY[f];
        s->featureArrays[0][kept] = t->trackedX[f];
        s->featureArrays[1][kept] = t->trackedY[f];
        ++kept;
    }
    return kept;
}

// Matches within `radius` thumbnail pixels of where the transform puts them.
int32_t CountCloseMatches(const HdrSession *s, int32_t kept, const ProjectiveTransform &t,
                          double radius) {
    int32_t close = 0;
    for (int32_t k = 0; k < kept; ++k)
        close += IsProjectiveInlierWithin(t.matrix, t.translation, t.perspective, s->featureX[k],
                                          s->featureY[k], s->featureArrays[0][k],
                                          s->featureArrays[1][k], radius);
    return close;
}

float MedianOf(float *values, int32_t count) {
    std::nth_element(values, values + count / 2, values + count);
    return values[count / 2];
}

// Two displacements that the tracker's precision cannot tell apart: a quarter of a thumbnail
// pixel (two full-resolution pixels) each way.
constexpr float kSameMotion = 0.25f;
constexpr double kCloseRadius = 0.5;  // thumbnail pixels

// The shift most matches share: the displacement with the most others within kSameMotion of
// it (the first on ties), refined to the median of those others. A moving subject's matches
// form a cluster of their own and do not pull it, however many they are short of half.
void ConsensusShift(const float *dx, const float *dy, int32_t n, double translation[2]) {
    int32_t best = 0, bestCount = -1;
    for (int32_t k = 0; k < n; ++k) {
        int32_t count = 0;
        for (int32_t j = 0; j < n; ++j)
            count += std::abs(dx[j] - dx[k]) <= kSameMotion &&
                     std::abs(dy[j] - dy[k]) <= kSameMotion;
        if (count > bestCount) best = k, bestCount = count;
    }
    float cx[kFeatureCapacity], cy[kFeatureCapacity];
    int32_t m = 0;
    for (int32_t j = 0; j < n; ++j) {
        if (std::abs(dx[j] - dx[best]) > kSameMotion || std::abs(dy[j] - dy[best]) > kSameMotion)
            continue;
        cx[m] = dx[j];
        cy[m] = dy[j];
        ++m;
    }
    translation[0] = MedianOf(cx, m);
    translation[1] = MedianOf(cy, m);
}

// Eight parameters fitted to features that cover only part of a small thumbnail follow the
// tracking noise and extrapolate it into a zoom or a tilt of several full-resolution pixels at
// the far corners, where no feature constrains them (a tripod bracket then merges with double
// edges). A subject that moves by a thumbnail pixel or two misleads the fit as well: its
// one-pixel consensus takes the subject's matches and the still background's together, and a
// zoom or tilt halfway between the two motions places both within half a pixel, though hardly
// any within the tracker's precision. So the shift most matches share is kept unless the full
// fit places clearly more matches (over an eighth of them) both within half a pixel and within
// the tracker's precision; a real rotation or zoom does both.
bool FullFitExplainsMore(const HdrSession *s, int32_t n, const ProjectiveTransform &full,
                         const ProjectiveTransform &shift, double radius) {
    return CountCloseMatches(s, n, full, radius) - CountCloseMatches(s, n, shift, radius) > n / 8;
}

// The matches alone cannot be trusted near clipped areas. Histogram matching maps an
// exposure's clipped levels (a blown sky, crushed shadows) onto one level of the reference, so
// there the level-mapped thumbnail does not look like the reference; a tracking window that
// reaches such an area is pulled by the difference. On a small frame the window spans a third
// of the thumbnail and nearly every window reaches the area: a still bracket's matches then
// carry a common false motion of half a thumbnail pixel or more (four full-resolution pixels),
// which both the shared shift and the full fit follow. So each motion is checked against the
// pictures themselves where both photos hold real levels, and each step up (no motion, the
// shift, the full fit) must lay the exposure clearly closer onto the reference there: a tripod
// bracket is the common case, and a bilinear sample at a fraction of a pixel smooths the
// exposure's noise, which alone lowers the difference by up to about a percent. Without the
// margin a photo decoded another way could tip a near tie the other way.
constexpr double kClearlyCloser = 1.0 - 1.0 / 64;

void ChooseMotion(const HdrSession *s, int32_t i, const ProjectiveTransform &shift,
                  ProjectiveTransform *t, bool fullExplainsMore) {
    // With the full fit ruled out and no shared shift, no motion is left to weigh: a still
    // bracket, the common case, is spared the measure.
    if (!fullExplainsMore && shift.translation[0] == 0.0 && shift.translation[1] == 0.0) {
        SetIdentityProjective(t->matrix, t->translation, t->perspective);
        return;
    }
    ProjectiveTransform candidates[3] = {{}, shift, *t};
    SetIdentityProjective(candidates[0].matrix, candidates[0].translation,
                          candidates[0].perspective);
    double error[3];
    const bool measured =
        MeasureThumbnailDisagreement(s->smallImages[s->referenceIndex], s->workImage,
                                     s->smallImages[i], candidates, 3, error) > 0;
    if (!measured) {
        *t = fullExplainsMore ? candidates[2] : candidates[1];
        return;
    }
    const int32_t chosen = fullExplainsMore && error[2] < error[1] * kClearlyCloser ? 2 : 1;
    *t = error[chosen] < error[0] * kClearlyCloser ? candidates[chosen] : candidates[0];
}

void PreferShiftWhenItExplainsAsMuch(const HdrSession *s, int32_t i, int32_t kept,
                                     ProjectiveTransform *t) {
    float dx[kFeatureCapacity], dy[kFeatureCapacity];
    const int32_t n = std::min(kept, kFeatureCapacity);
    if (n < kMinFitMatches) return;
    for (int32_t k = 0; k < n; ++k) {
        dx[k] = s->featureArrays[0][k] - s->featureX[k];
        dy[k] = s->featureArrays[1][k] - s->featureY[k];
    }
    ProjectiveTransform shift;
    SetIdentityProjective(shift.matrix, shift.translation, shift.perspective);
    ConsensusShift(dx, dy, n, shift.translation);
    ChooseMotion(s, i, shift, t,
                 FullFitExplainsMore(s, n, *t, shift, kCloseRadius) &&
                     FullFitExplainsMore(s, n, *t, shift, kSameMotion));
}

// Step 5e: the projective fit. After a failure the exposure is misaligned and the transform
// left for the warps is the fit's best plausible hypothesis, or the identity when the fit
// formed none (too few matches) or left an implausible one.
int FitTransform(MemoryContext memory, HdrSession *s, int32_t i, int32_t kept, int32_t count,
                 ProjectiveTransform *t) {
    void *scratch =
        AllocateMemory(memory, static_cast<uint64_t>(kFitScratchBytesPerFeature) * count);
    if (!scratch) return RESULT_OUT_OF_MEMORY;
    const int32_t w = s->workImage->i32Width;
    const int32_t h = s->workImage->i32Height;
    const int fit =
        FitProjectiveRansac(scratch, w, h, s->featureX, s->featureY, s->featureArrays[0],
                            s->featureArrays[1], kept, t->matrix, t->translation, t->perspective);
    FreeMemory(memory, scratch);
    if (fit == FIT_OK) PreferShiftWhenItExplainsAsMuch(s, i, kept, t);
    if (fit != FIT_OK) {
        s->misaligned[i] = 1;
        if (kept < kMinFitMatches ||
            !IsPlausibleProjective(w, h, t->matrix, t->translation[0], t->translation[1],
                                   t->perspective[0], t->perspective[1]))
            SetIdentityProjective(t->matrix, t->translation, t->perspective);
    }
    return RESULT_OK;
}

// An empty warp leaves {0, 0, 0, 0}; any rectangle that is not well ordered is stored so.
PixelRect NormalisedCrop(const PixelRect &crop) {
    if (crop.x0 >= crop.x1 || crop.y0 >= crop.y1) return PixelRect{0, 0, 0, 0};
    return crop;
}

// Step 5i: the exposure's own thumbnail, warped in place through a temporary copy.
int WarpOwnThumbnail(MemoryContext memory, HdrSession *s, int32_t i, const ProjectiveTransform &t) {
    ImageDesc *copy = nullptr;
    ImageDesc *thumbnail = s->smallImages[i];
    int r =
        CreateImage(&copy, thumbnail->i32Width, thumbnail->i32Height, PIXEL_FORMAT_YUV444P, memory);
    if (r != RESULT_OK) return r;
    r = CopyImage(copy, thumbnail);
    if (r == RESULT_OK) {
        PixelRect crop{0, 0, 0, 0};
        WarpImageByTransform(copy, thumbnail, t.matrix, t.translation, t.perspective, nullptr,
                             &crop);
        s->overlapBounds[i] = NormalisedCrop(crop);
    }
    DestroyImage(&copy, memory);
    return r;
}

// Steps 5a-j: tracking, fit, thumbnail warps and residuals; the transform comes back scaled
// to full resolution.
int AlignThumbnails(MemoryContext memory, HdrSession *s, int32_t i, ProjectiveTransform *t) {
    const int32_t count = std::min({s->featureCount, s->tracker->count, kFeatureCapacity});
    const int32_t kept = TrackAndKeep(s, i, count);
    for (int32_t f = count; f < std::min(s->tracker->count, kFeatureCapacity); ++f)
        s->matchedExtra[i][f] = 0;
    int r = FitTransform(memory, s, i, kept, std::max(count, 1), t);
    if (r != RESULT_OK) return r;

    PixelRect crop{0, 0, 0, 0};
    WarpImageByTransform(s->workImage, s->alignedSmall[i], t->matrix, t->translation,
                         t->perspective, nullptr, &crop);
    if (!CoversNineteenTwentieths(crop, s->alignedSmall[i]->i32Width,
                                  s->alignedSmall[i]->i32Height))
        s->misaligned[i] = 1;
    const int32_t ref = s->referenceIndex;
    ComputeMatchResiduals(s->matchedMotionX[ref], s->matchedMotionY[ref], s->matchedMotionX[i],
                          s->matchedMotionY[i], count, t->matrix, t->translation, t->perspective);
    r = WarpOwnThumbnail(memory, s, i, *t);
    if (r != RESULT_OK) return r;
    // The thumbnail is taken as exactly 1/8 of the full frame.
    for (double &v : t->translation) v *= 8;
    for (double &v : t->perspective) v *= 0.125;
    return RESULT_OK;
}

// Step 6: the exposure's motion grids, zero when the exposure could not be aligned.
int StoreMotionGrids(MemoryContext memory, HdrSession *s, int32_t i, const ProjectiveTransform &t,
                     int32_t C, int32_t D, int32_t **gridX, int32_t **gridY) {
    s->globalOffsetEstimate[0] = s->globalOffsetEstimate[1] = 0;
    s->globalShift[2 * i] = s->globalShift[2 * i + 1] = 0;
    const uint64_t nodes = static_cast<uint64_t>(C + 2) * (D + 2);
    int32_t *x = AllocateZeroed<int32_t>(memory, nodes);
    int32_t *y = AllocateZeroed<int32_t>(memory, nodes);
    if (!x || !y) {
        FreeAndClear(memory, x);
        FreeAndClear(memory, y);
        return RESULT_OUT_OF_MEMORY;
    }
    if (s->pendingStatus != RESULT_ALIGNMENT_FAILED && s->misaligned[i] != 1)
        BuildMotionGridFromTransform(t.matrix, t.translation, t.perspective, x, y,
                                     s->meshConstants[3], C + 2, D + 2);
    // A slot registered twice in one run gives its old grids back first.
    const int32_t k = GridSlot(s, i);
    FreeAndClear(memory, s->offsetGridX[k]);
    FreeAndClear(memory, s->offsetGridY[k]);
    s->offsetGridX[k] = *gridX = x;
    s->offsetGridY[k] = *gridY = y;
    return RESULT_OK;
}

}  // namespace

bool CoversNineteenTwentieths(const PixelRect &crop, int32_t width, int32_t height) {
    return int64_t{crop.x1 - crop.x0} * 20 >= int64_t{19} * width &&
           int64_t{crop.y1 - crop.y0} * 20 >= int64_t{19} * height;
}

void BlendWithQuantileCurve(uint8_t table[256], const uint8_t curve[256]) {
    if (std::all_of(curve, curve + 256, [](uint8_t v) { return v == 0; })) return;
    for (int j = 64; j < 192; ++j)
        table[j] = static_cast<uint8_t>(((192 - j) * table[j] + (j - 64) * curve[j] + 64) >> 7);
    for (int j = 192; j < 256; ++j) table[j] = curve[j];
}

int RegisterExposureToReference(MemoryContext memory, HdrSession *s, int32_t i,
                                ProgressCallback progress, void *user) {
    if (!Valid(s, i)) return RESULT_INVALID_ARGUMENT;
    ImageDesc *work = s->workImage;
    const int64_t n = int64_t{work->i32Width} * work->i32Height;
    int r = BuildLevelTables(memory, s, i, n);
    if (r != RESULT_OK) return r;
    ApplyToLuma(work, s->curveTables[TableSlot(s, i)]);
    r = CopyImage(s->alignedSmall[i], work);
    if (r != RESULT_OK) return r;

    ProjectiveTransform t;
    SetIdentityProjective(t.matrix, t.translation, t.perspective);
    if (s->featureCount < kMinReferenceFeatures) {
        s->pendingStatus = RESULT_ALIGNMENT_FAILED;
        // No match is kept: the later stages read the flags, never stale ones.
        for (int32_t f = 0; f < kFeatureCapacity; ++f) s->matchedExtra[i][f] = 0;
    } else {
        r = AlignThumbnails(memory, s, i, &t);
        if (r != RESULT_OK) return r;
    }

    const ImageDesc &input = s->inputImages[i];
    const int32_t b = s->meshConstants[0];
    const int32_t C = (input.i32Width + b - 1) / b;
    const int32_t D = (input.i32Height + b - 1) / b;
    int32_t *gridX = nullptr;
    int32_t *gridY = nullptr;
    r = StoreMotionGrids(memory, s, i, t, C, D, &gridX, &gridY);
    if (r != RESULT_OK) return r;
    // A misaligned exposure (or a reference without features) runs the block check and the
    // refinement too: they act on its zero grids, and without kept matches nothing is marked.
    // The block check's verdict reaches the later stages only through misaligned[i].
    MeasureBlockResidualShift(memory, s, i, nullptr, progress, user);
    RefineMarkedNodes(memory, s, i, gridX, gridY, C, D, progress, user);
    return RESULT_OK;
}
