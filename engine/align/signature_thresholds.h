// Building the signature maps of one pyramid level for the reference and one or two
// exposures, with the bitmap thresholds chosen so that the images' cumulative counts match at
// the median.
#pragma once

#include <cstdint>

#include "align/signature_maps.h"
#include "core/session.h"

// Threshold states (an int owned by the caller and passed by pointer): 1 takes the thresholds
// from the session's luma histograms, 2 reuses the cached alignThresholds, any other value
// derives them from the images. After choosing from histograms or images the state becomes 2.
constexpr int kThresholdsFromHistograms = 1;
constexpr int kThresholdsCached = 2;

// The three levels of one search; second.base is null when there is no second exposure.
struct LevelTriple {
    LevelView reference;
    LevelView first;
    LevelView second;
};

// First level whose cumulative count reaches `reach`, lowered by one (not below 0) when the
// cumulative count below it lies at least as close to `match`. Histograms that never reach
// give level 255. *cumulative receives the count up to and including the chosen level.
int32_t MatchedThresholdLevel(const int32_t histogram[256], int64_t reach, int64_t match,
                              int64_t *cumulative);

// The reference's, first and second exposure's thresholds (255 lowered to 254).
struct ThresholdSet {
    int32_t reference;
    int32_t first;
    int32_t second;
};

// Gradient codes of the present levels, whole or tiled by the geometry's type.
void BuildGradientCodeMaps(const LevelTriple &levels, const SignatureMapGeometry &geometry,
                           uint8_t *const maps[3]);
// Threshold bitmaps of the present levels; the state selects the thresholds (see above) and
// the chosen ones are cached in alignThresholds[0..2].
void BuildThresholdBitmaps(HdrSession *session, const LevelTriple &levels,
                           const SignatureMapGeometry &geometry, int *state,
                           uint8_t *const maps[3]);

// Pair forms: maps[0] the reference's, maps[1] the exposure's. From histograms the exposure is
// the darkest when localAlignSet is 1, else the brightest; its threshold is cached in
// alignThresholds[2], the reference's in [0].
void BuildGradientCodeMapsPair(const LevelView &reference, const LevelView &exposure,
                               const SignatureMapGeometry &geometry, uint8_t *const maps[2]);
void BuildThresholdBitmapsPair(HdrSession *session, const LevelView &reference,
                               const LevelView &exposure, const SignatureMapGeometry &geometry,
                               int *state, uint8_t *const maps[2]);

// Scratch form: state 0 derives (into the caller's three histograms) and sets the state to 1;
// any other state reuses the cache. thresholdSet 0 caches in alignThresholds[0..2], otherwise
// in [3..5].
void BuildThresholdBitmapsScratch(HdrSession *session, const LevelTriple &levels,
                                  const SignatureMapGeometry &geometry, int *state,
                                  int thresholdSet, int32_t (*histograms)[256],
                                  uint8_t *const maps[3]);
