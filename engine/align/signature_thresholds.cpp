#include "signature_thresholds.h"

#include <algorithm>

#include "core/memory.h"

namespace {

int32_t LimitThreshold(int32_t level) { return level == 255 ? 254 : level; }

// Reference level nearest the median count, then each exposure's level nearest the count the
// reference reached, so that the bitmaps split the images at corresponding levels.
ThresholdSet MatchMedians(const int32_t *reference, const int32_t *first, const int32_t *second,
                          int64_t median) {
    int64_t reached = 0;
    int64_t unused = 0;
    ThresholdSet t{};
    t.reference = MatchedThresholdLevel(reference, median, median, &reached);
    t.first = first ? MatchedThresholdLevel(first, median, reached, &unused) : 0;
    t.second = second ? MatchedThresholdLevel(second, median, reached, &unused) : 0;
    t.reference = LimitThreshold(t.reference);
    t.first = LimitThreshold(t.first);
    t.second = LimitThreshold(t.second);
    return t;
}

const int32_t *LumaHistogram(const HdrSession *s, int32_t index) {
    if (index < 0 || index >= kMaxExposures || !s->histograms[index]) return nullptr;
    return (*s->histograms[index])[0];
}

// Half the 1/8-scale pixel count of the overlap, the median of the session's histograms.
int64_t SessionMedianCount(const HdrSession *s) {
    const double pixelsPerSample = s->pixelsPerSample > 0 ? s->pixelsPerSample : 1;
    return static_cast<int64_t>(s->overlapRect.height * (s->overlapRect.width * 0.5) /
                                pixelsPerSample);
}

// Median count of the sampled level histograms: half the level, or half the samples counted
// when large levels are sampled sparsely.
int64_t LevelMedianCount(const LevelView &level, int64_t sampled) {
    if (level.width > 1024 && level.height > 1024) return sampled / 2;
    return static_cast<int64_t>(level.height * (level.width * 0.5));
}

ThresholdSet DeriveFromLevels(const LevelTriple &levels, int32_t (*histograms)[256]) {
    const int64_t sampled = SampleLumaHistogram(levels.reference, histograms[0]);
    SampleLumaHistogram(levels.first, histograms[1]);
    const bool second = levels.second.base != nullptr;
    if (second) SampleLumaHistogram(levels.second, histograms[2]);
    return MatchMedians(histograms[0], histograms[1], second ? histograms[2] : nullptr,
                        LevelMedianCount(levels.reference, sampled));
}

void MakeBitmap(const LevelView &level, const SignatureMapGeometry &geometry, int32_t threshold,
                uint8_t *map) {
    if (geometry.tileType == 0)
        ThresholdToBitmap(level, threshold, map);
    else
        ThresholdToBitmapTiled(level, geometry, threshold, map);
}

void MakeCodes(const LevelView &level, const SignatureMapGeometry &geometry, uint8_t *map) {
    if (geometry.tileType == 0)
        ComputeGradientCodes(level, map);
    else
        ComputeGradientCodesTiled(level, geometry, map);
}

void MakeBitmaps(const LevelTriple &levels, const SignatureMapGeometry &geometry,
                 const ThresholdSet &t, uint8_t *const maps[3]) {
    MakeBitmap(levels.reference, geometry, t.reference, maps[0]);
    MakeBitmap(levels.first, geometry, t.first, maps[1]);
    if (levels.second.base) MakeBitmap(levels.second, geometry, t.second, maps[2]);
}

}  // namespace

int32_t MatchedThresholdLevel(const int32_t histogram[256], int64_t reach, int64_t match,
                              int64_t *cumulative) {
    int64_t below = 0;
    int64_t sum = 0;
    int32_t level = 255;
    for (int32_t v = 0; v < 256; ++v) {
        below = sum;
        sum += histogram[v];
        if (sum >= reach) {
            level = v;
            break;
        }
    }
    if (level > 0 && sum - match >= match - below) {
        --level;
        sum = below;
    }
    *cumulative = sum;
    return level;
}

void BuildGradientCodeMaps(const LevelTriple &levels, const SignatureMapGeometry &geometry,
                           uint8_t *const maps[3]) {
    MakeCodes(levels.reference, geometry, maps[0]);
    MakeCodes(levels.first, geometry, maps[1]);
    if (levels.second.base) MakeCodes(levels.second, geometry, maps[2]);
}

void BuildThresholdBitmaps(HdrSession *s, const LevelTriple &levels,
                           const SignatureMapGeometry &geometry, int *state,
                           uint8_t *const maps[3]) {
    ThresholdSet t{};
    const int32_t *refHistogram = LumaHistogram(s, s->referenceIndex);
    const int32_t *darkHistogram = LumaHistogram(s, s->darkIndex);
    const int32_t *brightHistogram = LumaHistogram(s, s->brightIndex);
    if (*state == kThresholdsCached) {
        t = {s->alignThresholds[0], s->alignThresholds[1], s->alignThresholds[2]};
    } else {
        if (*state == kThresholdsFromHistograms && refHistogram && darkHistogram &&
            brightHistogram) {
            t = MatchMedians(refHistogram, darkHistogram, brightHistogram, SessionMedianCount(s));
        } else {
            int32_t histograms[3][256];
            t = DeriveFromLevels(levels, histograms);
        }
        s->alignThresholds[0] = t.reference;
        s->alignThresholds[1] = t.first;
        s->alignThresholds[2] = t.second;
        *state = kThresholdsCached;
    }
    MakeBitmaps(levels, geometry, t, maps);
}

void BuildGradientCodeMapsPair(const LevelView &reference, const LevelView &exposure,
                               const SignatureMapGeometry &geometry, uint8_t *const maps[2]) {
    MakeCodes(reference, geometry, maps[0]);
    MakeCodes(exposure, geometry, maps[1]);
}

void BuildThresholdBitmapsPair(HdrSession *s, const LevelView &reference, const LevelView &exposure,
                               const SignatureMapGeometry &geometry, int *state,
                               uint8_t *const maps[2]) {
    int32_t refLevel = 0;
    int32_t expLevel = 0;
    if (*state == kThresholdsCached) {
        refLevel = s->alignThresholds[0];
        expLevel = s->alignThresholds[2];
    } else {
        const int32_t *refHistogram = LumaHistogram(s, s->referenceIndex);
        const int32_t *expHistogram =
            LumaHistogram(s, s->localAlignSet == 1 ? s->darkIndex : s->brightIndex);
        ThresholdSet t{};
        if (*state == kThresholdsFromHistograms && refHistogram && expHistogram) {
            t = MatchMedians(refHistogram, expHistogram, nullptr, SessionMedianCount(s));
        } else {
            int32_t histograms[3][256];
            const LevelTriple levels{reference, exposure, LevelView{}};
            t = DeriveFromLevels(levels, histograms);
        }
        refLevel = t.reference;
        expLevel = t.first;
        s->alignThresholds[0] = refLevel;
        s->alignThresholds[2] = expLevel;
        *state = kThresholdsCached;
    }
    MakeBitmap(reference, geometry, refLevel, maps[0]);
    MakeBitmap(exposure, geometry, expLevel, maps[1]);
}

void BuildThresholdBitmapsScratch(HdrSession *s, const LevelTriple &levels,
                                  const SignatureMapGeometry &geometry, int *state,
                                  int thresholdSet, int32_t (*histograms)[256],
                                  uint8_t *const maps[3]) {
    int32_t *cache = s->alignThresholds + (thresholdSet ? 3 : 0);
    ThresholdSet t{cache[0], cache[1], cache[2]};
    if (*state == 0) {
        t = DeriveFromLevels(levels, histograms);
        cache[0] = t.reference;
        cache[1] = t.first;
        cache[2] = t.second;
        *state = 1;
    }
    MakeBitmaps(levels, geometry, t, maps);
}
