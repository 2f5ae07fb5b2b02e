// Decile matching of two luma histograms, with its slope limiter and histogram summaries.
#include "histogram_match.h"

#include <algorithm>

#include "exposure_stats.h"

namespace {

constexpr int kKnots = 11;  // level 0 and the ten deciles
constexpr int kTopLevel = 240;

// Decile levels: K[0] = 0; K[k] is the first level at which the running count, continued
// from decile to decile, reaches floor(n k / 10). Each scan starts one level above the
// previous knot, so knots strictly increase until one reaches 255; every later knot is 255,
// and so is a decile the count never reaches.
void FindDecileKnots(const int32_t *histogram, int64_t n, int32_t *knots) {
    FindQuantileLevels(knots, kKnots - 1, histogram, n);
}

void LimitSlopesForward(int32_t *s, int32_t *t) {
    for (int k = 1; k < kKnots; ++k) {
        const int32_t ds = s[k] - s[k - 1];
        const int32_t dt = t[k] - t[k - 1];
        if (dt > 4 * ds)
            t[k] = t[k - 1] + 4 * ds;
        else if (4 * dt < ds)
            s[k] = s[k - 1] + 4 * dt;
    }
}

void LimitSlopesBackward(int32_t *s, int32_t *t) {
    for (int k = kKnots - 2; k >= 0; --k) {
        const int32_t ds = s[k + 1] - s[k];
        const int32_t dt = t[k + 1] - t[k];
        if (dt > 4 * ds)
            t[k] = ds == 0 ? t[k + 1] - 1 : t[k + 1] - 4 * ds;
        else if (4 * dt < ds)
            s[k] = s[k + 1] - 4 * dt;
    }
}

// The line through the knots. Levels below S[0] (only a slope limit can raise it) take T[0].
void FillLinear(uint8_t *table, const int32_t *s, const int32_t *t) {
    for (int j = 0; j < s[0]; ++j) table[j] = static_cast<uint8_t>(t[0]);
    for (int k = 0; k < kKnots - 1; ++k)
        for (int32_t j = s[k]; j < s[k + 1]; ++j)
            table[j] =
                static_cast<uint8_t>(t[k] + ((j - s[k]) * (t[k + 1] - t[k])) / (s[k + 1] - s[k]));
    for (int32_t j = s[kKnots - 1]; j < 256; ++j) table[j] = static_cast<uint8_t>(t[kKnots - 1]);
}

// Levels from S[0] below knot i follow a line through knot i, cut at 0. Its slope is
// rise / run; the caller guarantees run > 0.
void ExtendDownward(uint8_t *table, const int32_t *s, const int32_t *t, int i, int64_t rise,
                    int64_t run) {
    for (int32_t j = s[0]; j < s[i]; ++j)
        table[j] = static_cast<uint8_t>(std::max<int64_t>(0, t[i] - ((s[i] - j) * rise) / run));
}

// When the source's first decile lies below the target's, the darkest levels continue a
// neighbouring segment instead of rising from (0, 0).
void ReshapeDarkest(uint8_t *table, const int32_t *s, const int32_t *t) {
    if (!(s[1] < t[1] && s[1] < s[2])) return;
    if (s[2] > 3) {
        ExtendDownward(table, s, t, 1, t[2] - t[1], s[2] - s[1]);
        return;
    }
    int i = 4;
    for (int k = 0; k < kKnots - 1; ++k)
        if (s[k] >= 4) {
            i = k;
            break;
        }
    const int64_t da = s[i] - s[i - 1];
    const int64_t db = s[i + 1] - s[i];
    // The mean slope of the two segments that meet at knot i; a segment of zero width has no
    // slope, so the other one is used alone.
    if (da > 0 && db > 0)
        ExtendDownward(table, s, t, i, da * (t[i + 1] - t[i]) + db * (t[i] - t[i - 1]),
                       2 * da * db);
    else if (da > 0)
        ExtendDownward(table, s, t, i, t[i] - t[i - 1], da);
    else if (db > 0)
        ExtendDownward(table, s, t, i, t[i + 1] - t[i], db);
}

// Above the last source knot under 240, where the target lies below the source, the table
// heads for the identity at the next knot (topFlag) or follows the next segment, up to S[10].
void ReshapeTop(uint8_t *table, const int32_t *s, const int32_t *t, bool topFlag) {
    int f = -1;
    for (int k = 0; k < kKnots; ++k)
        if (s[k] < kTopLevel) f = k;
    if (f < 2 || f > 9 || !(t[f] < s[f] && s[f - 1] < s[f] && s[f] < s[10])) return;
    const int32_t end = topFlag ? s[f + 1] : t[f + 1];
    for (int32_t j = s[f]; j < s[10]; ++j)
        table[j] = static_cast<uint8_t>(
            std::min(255, t[f] + ((j - s[f]) * (end - t[f])) / (s[f + 1] - s[f])));
}

int64_t PixelsOf(const ImageDesc &image) {
    return static_cast<int64_t>(image.i32Width) * image.i32Height;
}

}  // namespace

int BuildHistogramMatchTable(uint8_t *table, const int32_t *sourceHistogram,
                             const int32_t *targetHistogram, int64_t pixelCount, int32_t slopeMode,
                             int32_t topFlag) {
    if (!table || !sourceHistogram || !targetHistogram) return RESULT_INVALID_ARGUMENT;
    int32_t s[kKnots];
    int32_t t[kKnots];
    FindDecileKnots(sourceHistogram, pixelCount, s);
    FindDecileKnots(targetHistogram, pixelCount, t);
    if (slopeMode == 2) {
        if (s[9] >= 254 && t[10] >= 224) t[10] = std::min(t[9] + 1, 255);
        LimitSlopesBackward(s, t);
    } else if (slopeMode > 0) {
        LimitSlopesForward(s, t);
    }
    FillLinear(table, s, t);
    ReshapeDarkest(table, s, t);
    ReshapeTop(table, s, t, topFlag != 0);
    return RESULT_OK;
}

int LimitMatchSlopes(int32_t *sourceKnots, int32_t *targetKnots, int32_t mode) {
    if (!sourceKnots || !targetKnots) return RESULT_INVALID_ARGUMENT;
    if (mode == 2)
        LimitSlopesBackward(sourceKnots, targetKnots);
    else
        LimitSlopesForward(sourceKnots, targetKnots);
    return RESULT_OK;
}

int FindHistogramClipPoints(const ImageDesc *image, const int32_t *histogram, int32_t *high,
                            int32_t *low) {
    if (!image || !histogram || !high || !low) return RESULT_INVALID_ARGUMENT;
    const int64_t limit = PixelsOf(*image) / 4096;
    *low = 0;
    *high = 0;
    int64_t running = 0;
    for (int v = 0; v < 256; ++v) {
        running += histogram[v];
        if (running > limit) {
            *low = v;
            break;
        }
    }
    running = 0;
    for (int v = 255; v >= 0; --v) {
        running += histogram[v];
        if (running > limit) {
            *high = v;
            break;
        }
    }
    return RESULT_OK;
}

int ComputeHistogramEndShares(const ImageDesc *image, const int32_t *histogram, int32_t *high,
                              int32_t *low) {
    if (!image || !histogram || !high || !low) return RESULT_INVALID_ARGUMENT;
    int64_t pixels = PixelsOf(*image);
    if (pixels == 0) pixels = 1;
    int64_t dark = 0;
    int64_t bright = 0;
    for (int v = 0; v < 32; ++v) dark += histogram[v];
    for (int v = 192; v < 256; ++v) bright += histogram[v];
    *low = static_cast<int32_t>(100 * dark / pixels);
    *high = static_cast<int32_t>(100 * bright / pixels);
    return RESULT_OK;
}
