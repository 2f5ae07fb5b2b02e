// The quantile analysis of the exposure statistics and its entry point.
//
// D, B and R name the darkest, brightest and reference exposure. Their 16-quantile levels
// (8-bit, then 12-bit linear) decide the scene class and flags; the reference's normalized
// curve NR is the target of all three tone tables; the indices n (high) and c (low) of the
// reference's quantiles place the threshold ramps.
#include <algorithm>
#include <cstdlib>

#include "constant_tables.h"
#include "exposure_stats.h"
#include "hdr_engine.h"
#include "session.h"

namespace {

constexpr int kLevels = kQuantileCount + 1;  // quantile 0 and the sixteen cut points
constexpr int64_t kLargeFrameSamples = 250000;
constexpr int64_t kMidFrameSamples = 59999;
constexpr int64_t kSmallFrameSamples = 199999;

// Levels of one exposure: 8-bit quantile levels q (12-bit linear after ToLinear) and the
// normalized curve nq.
struct ExposureLevels {
    int32_t q[kLevels];
    int32_t nq[kLevels];
};

struct Analysis {
    const uint16_t *expand;   // 8-bit code -> 12-bit linear (G)
    const uint8_t *compress;  // 12-bit linear -> 8-bit code (C)
    int64_t n;                // samples of the frame
    ExposureLevels d, b, r;
    int32_t highlightLevel;  // Hgh: top level of the reference's brightest 1/1000
    int32_t sumD, sumR, sumB;
    bool highlightFlag;  // F
    int32_t high;        // n
    int32_t low;         // c

    int32_t G(int level) const { return expand[std::clamp(level, 0, 255)]; }
    int32_t C(int32_t linear) const { return compress[std::clamp(linear, 0, 4095)]; }
};

int32_t LowestOccupiedLevel(const int32_t *h) {
    for (int v = 0; v < 256; ++v)
        if (h[v] != 0) return v;
    return 0;
}

// The first level (0..254) at which the running count exceeds limit, or -1.
int32_t FirstLevelAbove(const int32_t *h, int64_t limit) {
    int64_t running = 0;
    for (int v = 0; v < 255; ++v) {
        running += h[v];
        if (running > limit) return v;
    }
    return -1;
}

// The first level, counting down from 255, at which the count of it and all above exceeds
// limit; 0 when none does.
int32_t TopLevelAbove(const int32_t *h, int64_t limit) {
    int64_t running = 0;
    for (int v = 255; v >= 0; --v) {
        running += h[v];
        if (running > limit) return v;
    }
    return 0;
}

// Step 1: the quantile levels and quantile 0 of each exposure.
void FindLevels(Analysis &a, const int32_t *dark, const int32_t *bright, const int32_t *ref) {
    FindQuantileLevels(a.d.q, kQuantileCount, dark, a.n);
    FindQuantileLevels(a.b.q, kQuantileCount, bright, a.n);
    FindQuantileLevels(a.r.q, kQuantileCount, ref, a.n);
    a.d.q[0] = LowestOccupiedLevel(dark);
    const int32_t f = FirstLevelAbove(bright, a.n / 1000);
    a.b.q[0] = f >= 5 ? f - 4 : 0;
    a.r.q[0] = 0;
    a.highlightLevel = TopLevelAbove(ref, a.n / 1000);
}

int32_t SumOfFirstFive(const int32_t *q) { return q[0] + q[1] + q[2] + q[3] + q[4]; }

// Step 2: scenes whose darkest levels are all low get a class; others keep theirs.
void ClassifyScene(Analysis &a, HdrSession &s) {
    a.sumD = SumOfFirstFive(a.d.q);
    a.sumR = SumOfFirstFive(a.r.q);
    a.sumB = SumOfFirstFive(a.b.q);
    if (a.sumD > 24 || a.sumR > 54 || a.sumB > 239) return;
    if (a.sumB <= 63)
        s.sceneClass = 3;
    else if (a.r.q[15] >= 251 && a.b.q[12] >= 250 && a.b.q[11] <= 250)
        s.sceneClass = 2;
    else
        s.sceneClass = 1;
}

// Steps 3 and 4: the highlight flag and the near-black test of the darkest exposure.
void SetLevelFlags(Analysis &a, HdrSession &s) {
    const int32_t *qd = a.d.q;
    const int32_t *qr = a.r.q;
    a.highlightFlag =
        !(qr[15] > 223 || (a.highlightLevel >= 252 && a.sumD + a.sumR >= 32 && qr[15] > 191));
    s.darkLacksHighlights = qd[16] < 224 ? 1 : 0;
    int k = 0;
    while (k < kLevels && qd[k] <= k) ++k;
    if (k < 13) {
        s.statsLevelFlag = 0;
    } else {
        s.statsLevelFlag = 1;
        if (k >= 15 && qd[15] < 32) a.highlightFlag = true;
    }
    for (int k2 = 0; k2 < kQuantileCount; ++k2) {
        if (qd[k2] >= 17 && qd[k2 + 1] - qd[k2] > 4) {
            if (k2 >= 14) s.statsLevelFlag = 1;
            break;
        }
    }
}

// Steps 5 and 6: linear levels and their normalized curves.
void Linearize(const Analysis &a, ExposureLevels &e, bool keepBase) {
    for (int32_t &level : e.q) level = a.G(level);
    if (e.q[kQuantileCount] >= 4095 && e.q[0] == 0)
        std::copy(e.q, e.q + kLevels, e.nq);
    else
        NormalizeQuantileLevels(e.nq, e.q, kQuantileCount, keepBase ? 1 : 0);
}

// Step 7: very dark shadows in the darkest exposure.
void SetDeepShadowFlag(const Analysis &a, HdrSession &s) {
    if (s.sceneClass != 3 && a.C(a.d.nq[6]) <= 8)
        s.deepShadowFlag = a.n <= kLargeFrameSamples ? 2 : 1;
}

// Step 8: the high index, the last reference quantile not above level 240.
int32_t FindHighIndex(const Analysis &a) {
    const int32_t *qr = a.r.q;
    int32_t n = 8;
    for (int k = kQuantileCount; k >= 1; --k)
        if (qr[k] <= a.G(240)) {
            n = k;
            break;
        }
    if (qr[n] < a.G(192) && n <= 13 && qr[n + 1] < a.G(240)) ++n;
    return n;
}

// Step 9: the low index, where the reference leaves the shadows (or the brightest exposure
// is already bright); -1 when none is found below n.
int32_t FindLowIndex(const Analysis &a, const HdrSession &s) {
    const int32_t *qr = a.r.q;
    const int32_t *nr = a.r.nq;
    const int32_t *nb = a.b.nq;
    const int32_t bright = a.n > kMidFrameSamples ? a.G(192) : a.G(160);
    const bool shadowScene = s.sceneClass == 3 || s.deepShadowFlag > 0;
    for (int32_t w = 1; w < a.high; ++w) {
        bool found;
        if (shadowScene) {
            const bool brighterThanB =
                nb[w] == 0 ||
                static_cast<uint32_t>(nr[w]) * 1024u / static_cast<uint32_t>(nb[w]) >= 257;
            found = (brighterThanB && qr[w] >= a.G(16)) || nb[w] >= bright;
        } else {
            found = qr[w] >= a.G(64) || nb[w] >= bright;
        }
        if (found) return w > 0 && nb[w] >= 4095 ? w - 1 : w;
    }
    return -1;
}

// Steps 10 to 12.
void AdjustIndices(Analysis &a, const HdrSession &s) {
    if (a.highlightFlag) a.high = kQuantileCount;
    if (a.low == -1) a.low = std::min(a.high - 1, 12);
    const bool brightFloorHigh = a.C(a.b.q[0]) > 64;
    const bool referenceBright = a.C(a.r.q[1]) > 32 && s.exposureGainQ10[s.referenceIndex] <= 639;
    if (brightFloorHigh || referenceBright) {
        a.low = 0;
        if (a.r.q[15] < a.G(192)) a.high = kQuantileCount;
    }
}

// Step 13: each exposure's levels onto the reference's normalized curve, darkest first; the
// brightest's table on a scale of 4.
void WriteToneTables(const Analysis &a, HdrSession &s) {
    struct Write {
        int32_t index;
        const ExposureLevels *levels;
        int32_t shift;
    };
    const Write writes[3] = {
        {s.darkIndex, &a.d, 0}, {s.referenceIndex, &a.r, 0}, {s.brightIndex, &a.b, 2}};
    for (const Write &w : writes)
        if (s.exposureLuts[w.index])
            BuildQuantileToneTable(s.exposureLuts[w.index], w.levels->q, a.r.nq, kQuantileCount,
                                   w.shift);
}

// Step 15: the high ramp at the reference's quantile n, the low ramp at quantile g.
int32_t SetRamps(const Analysis &a, HdrSession &s, int32_t *t, int32_t *lowRampStep) {
    const bool classThree = s.sceneClass == 3;
    const int32_t g = std::max(classThree ? a.low - 1 : a.low, 0);
    const int32_t t0 = a.C(a.r.q[a.high]);
    t[0] = t0;
    t[1] = t0 - 16;
    t[2] = 16;
    if (s.deepShadowFlag == 2) {
        // A ramp of length 2^(L-1) ending at q; L is at least 1 so that the ramp has a step.
        const int32_t q = a.C(a.r.q[g]);
        const int32_t l = std::max(CeilLog2(q), 1);
        t[4] = q;
        t[3] = q - (1 << (l - 1));
        *lowRampStep = 256 >> (l - 1);
        s.deepShadowFlag = 0;
        return g;
    }
    t[3] = a.C(a.r.q[g]);
    t[4] = t[3] + (classThree ? 64 : 32);
    *lowRampStep = classThree ? 4 : 8;
    if (s.deepShadowFlag == 1 && s.sceneClass != 0) {
        t[1] = t0 - 32;
        t[2] = 8;
        t[3] = t[4] = a.C(a.r.q[std::max(g - 2, 0)]);
    }
    return g;
}

// Step 16: the reference's table is held flat above its highlights.
void FlattenReferenceTop(const Analysis &a, HdrSession &s) {
    uint16_t *table = s.exposureLuts[s.referenceIndex];
    if (!table) return;
    const int32_t *qr = a.r.q;
    int32_t i = kQuantileCount;
    for (int k = kQuantileCount; k >= 1; --k)
        if (qr[k] <= 4094) {
            i = k;
            break;
        }
    const int32_t k = qr[i - 1] > a.G(248) ? i - 1 : i;
    const bool flatten = qr[k] > a.G(248) || (a.r.nq[k] < a.G(160) && a.highlightLevel <= 247);
    if (qr[k] > 4095 || !flatten) return;
    const uint16_t value = table[std::max(qr[k] - 1, 0)];
    std::fill(table + qr[k], table + 4096, value);
}

// Step 17: overrides from the highlight flag, the gains and, on small frames, the chroma.
void ApplyOverrides(const Analysis &a, HdrSession &s, int32_t *t) {
    const int64_t ref = s.exposureGainQ10[s.referenceIndex];
    if (a.highlightFlag) t[0] = t[1] = std::max(a.C(a.r.nq[15]), 224);
    if (12 * ref > 10 * int64_t{s.exposureGainQ10[s.darkIndex]} && ref > 768) t[0] = t[1] = 256;
    if (10 * ref < 12 * int64_t{s.exposureGainQ10[s.brightIndex]}) t[3] = t[4] = 0;
    if (a.n > kSmallFrameSamples) return;
    const int32_t y = std::abs(s.refBrightChromaOffsetU) + std::abs(s.refBrightChromaOffsetV);
    const int32_t shadow = a.C(a.r.q[1]);
    if ((y >= 16 && shadow > 16) || (y >= 6 && shadow >= 25)) {
        t[3] = t[4] = 0;
        s.refBrightChromaOffsetU = 0;
        s.refBrightChromaOffsetV = 0;
    }
    if (s.sceneClass == 3) s.sceneClass = 1;
}

bool ValidIndex(int32_t i) { return i >= 0 && i < kMaxExposures; }

bool ValidOrder(const HdrSession &s) {
    return ValidIndex(s.darkIndex) && ValidIndex(s.brightIndex) && ValidIndex(s.referenceIndex);
}

// Mean level of a histogram (unsigned division), 0 when it is empty or absent.
uint64_t MeanLevel(const int32_t *h) {
    if (!h) return 0;
    uint64_t weighted = 0;
    uint64_t count = 0;
    for (int v = 0; v < 256; ++v) {
        const uint64_t c = static_cast<uint32_t>(h[v]);
        weighted += c * static_cast<uint64_t>(v);
        count += c;
    }
    return count ? weighted / count : 0;
}

const int32_t *HistogramOf(const HdrSession &s, int32_t e, int channel) {
    return s.histograms[e] ? (*s.histograms[e])[channel] : nullptr;
}

}  // namespace

int AnalyzeExposureQuantiles(int64_t, HdrSession *session, const int32_t *darkest,
                             const int32_t *brightest, const int32_t *reference, int64_t pixelCount,
                             int32_t *thresholds, int32_t *lowRampStep) {
    if (!session || !darkest || !brightest || !reference || !thresholds || !lowRampStep ||
        !ValidOrder(*session))
        return RESULT_INVALID_ARGUMENT;
    HdrSession &s = *session;
    Analysis a{};
    a.expand = s.gammaExpandTable ? s.gammaExpandTable : kGammaExpandTable;
    a.compress = s.gammaCompressTable ? s.gammaCompressTable : kGammaCompressTable;
    a.n = pixelCount;
    FindLevels(a, darkest, brightest, reference);
    ClassifyScene(a, s);
    SetLevelFlags(a, s);
    Linearize(a, a.d, false);
    Linearize(a, a.r, false);
    Linearize(a, a.b, true);
    SetDeepShadowFlag(a, s);
    a.high = FindHighIndex(a);
    a.low = FindLowIndex(a, s);
    AdjustIndices(a, s);
    WriteToneTables(a, s);
    s.referenceValueShift = 0;
    s.valueShift = 2;
    const int32_t g = SetRamps(a, s, thresholds, lowRampStep);
    FlattenReferenceTop(a, s);
    ApplyOverrides(a, s, thresholds);
    s.highQuantileIndex = a.high;
    s.lowQuantileIndex = g;
    return RESULT_OK;
}

int CompareChromaMeans(const HdrSession *session, const int32_t *const histograms[3], int64_t,
                       int32_t *referenceMinusDarkest, int32_t *referenceMinusBrightest,
                       int32_t *zero) {
    if (!session || !histograms || !referenceMinusDarkest || !referenceMinusBrightest || !zero ||
        !ValidOrder(*session))
        return RESULT_INVALID_ARGUMENT;
    const int32_t ref = static_cast<int32_t>(MeanLevel(histograms[session->referenceIndex]));
    *referenceMinusDarkest = ref - static_cast<int32_t>(MeanLevel(histograms[session->darkIndex]));
    *referenceMinusBrightest =
        ref - static_cast<int32_t>(MeanLevel(histograms[session->brightIndex]));
    *zero = 0;
    return RESULT_OK;
}

int ComputeExposureStatistics(int64_t, HdrSession *session) {
    if (!session) return RESULT_INVALID_ARGUMENT;
    HdrSession &s = *session;
    if (s.exposureCount < 2) {
        s.valueShift = 2;
        return RESULT_OK;
    }
    if (!ValidOrder(s)) return RESULT_INVALID_ARGUMENT;
    int32_t unused = 0;
    int32_t zero = 0;
    for (int channel = 1; channel <= 2; ++channel) {
        const int32_t *const chroma[3] = {HistogramOf(s, 0, channel), HistogramOf(s, 1, channel),
                                          HistogramOf(s, 2, channel)};
        int32_t *offset = channel == 1 ? &s.refBrightChromaOffsetU : &s.refBrightChromaOffsetV;
        CompareChromaMeans(&s, chroma, 0, &unused, offset, &zero);
    }
    const int32_t *dark = HistogramOf(s, s.darkIndex, 0);
    const int32_t *bright = HistogramOf(s, s.brightIndex, 0);
    const int32_t *ref = HistogramOf(s, s.referenceIndex, 0);
    if (!dark || !bright || !ref) return RESULT_INVALID_ARGUMENT;
    // Samples of the frame: the overlap area over the pixels one thumbnail sample stands for.
    const int64_t perSample = s.pixelsPerSample > 0 ? s.pixelsPerSample : 1;
    const int64_t area =
        static_cast<int64_t>(s.overlapRect.width) * std::max<int64_t>(s.overlapRect.height, 0);
    return AnalyzeExposureQuantiles(0, &s, dark, bright, ref, area / perSample, s.sceneThresholds,
                                    &s.lowRampStep);
}
