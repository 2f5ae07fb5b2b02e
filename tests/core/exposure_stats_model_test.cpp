// The exposure statistics against a plain model of the whole analysis, over many random
// scenes: every output (flags, class, indices, ramps, chroma offsets and all three tone
// tables) must match. The model is written step by step as the analysis is stated, without
// the engine's helpers, so a slip in any one step (a wrong quantile index, a swapped operand)
// shows in some scene even where no hand-made fixture reaches it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "core/exposure_stats.h"
#include "exposure_support.h"

namespace {

using exposure_test::TestSession;

// What the analysis reads besides the session's defaults.
struct Scene {
    int32_t frameWidth, frameHeight;
    int32_t order[3];  // darkIndex, referenceIndex, brightIndex
    int32_t gainQ10[3];
    int32_t histograms[3][3][256];  // [exposure slot][luma, U, V][level]
    int32_t priorClass, priorDeepShadow;
};

struct Outputs {
    int32_t thresholds[5];
    int32_t lowRampStep, sceneClass, deepShadowFlag, darkLacksHighlights, statsLevelFlag;
    int32_t highIndex, lowIndex, valueShift, referenceValueShift, offsetU, offsetV;
    std::vector<uint16_t> luts[3];
};

// ---- The model.

int32_t Expand(int32_t level) { return kGammaExpandTable[level]; }
int32_t Compress(int64_t linear) { return kGammaCompressTable[std::clamp<int64_t>(linear, 0, 4095)]; }

uint32_t MeanLevel(const int32_t *h) {
    uint64_t sum = 0, count = 0;
    for (int v = 0; v < 256; ++v) {
        sum += uint64_t(uint32_t(h[v])) * v;
        count += uint32_t(h[v]);
    }
    return count ? uint32_t(sum / count) : 0;
}

// Step 1 for one histogram: QX[1..16]; a threshold never reached gives 255.
void ModelQuantiles(const int32_t *h, int64_t n, int32_t q[17]) {
    int64_t running = 0;
    int level = 0;  // where the next scan starts
    for (int k = 1; k <= 16; ++k) {
        const int64_t threshold = n * k / 16;
        q[k] = 255;
        for (; level < 256; ++level) {
            running += h[level];
            if (running >= threshold) {
                q[k] = level++;
                break;
            }
        }
    }
}

// Step 6 for one exposure (levels already linear); b keeps half the base.
void ModelNormalize(const int32_t q[17], bool b, int32_t nx[17]) {
    if (q[16] >= 4095 && q[0] == 0) {
        std::copy(q, q + 17, nx);
        return;
    }
    const uint32_t base = uint32_t(q[0]);
    nx[0] = b ? int32_t(base >> 1) : 0;
    nx[16] = (q[16] + 4095) >> 1;
    const uint32_t s =
        uint32_t(q[16]) > base ? (uint32_t(nx[16]) << 16) / (uint32_t(q[16]) - base) : 0;
    for (uint32_t k = 1; k <= 15; ++k) {
        const uint32_t above = uint32_t(q[k]) > base ? uint32_t(q[k]) - base : 0;
        nx[k] = int32_t((above * ((k * s + (17 - k) * 65536u) / 17)) >> 16);
    }
    if (nx[0] > nx[1]) nx[0] = nx[1] >> 1;
}

// Step 13 for one exposure.
std::vector<uint16_t> ModelTable(const int32_t q[17], const int32_t nr[17], int shift) {
    std::vector<uint32_t> t(4096, 0);
    for (int k = 0; k < 16; ++k)
        for (int32_t j = q[k]; j < q[k + 1]; ++j)
            t[j] = uint32_t(nr[k]) + (uint32_t(j - q[k]) * uint32_t(nr[k + 1] - nr[k])) /
                                         uint32_t(q[k + 1] - q[k]);
    for (int32_t j = q[16]; j < 4096; ++j) t[j] = q[16] > 0 ? t[q[16] - 1] : 0;
    std::vector<uint16_t> out(4096);
    for (int j = 0; j < 4096; ++j) out[j] = uint16_t(t[j] << shift);
    return out;
}

Outputs Model(const Scene &sc) {
    const int32_t dark = sc.order[0], ref = sc.order[1], bright = sc.order[2];
    const int32_t *hd = sc.histograms[dark][0], *hr = sc.histograms[ref][0],
                  *hb = sc.histograms[bright][0];
    Outputs o{};
    o.sceneClass = sc.priorClass;
    o.deepShadowFlag = sc.priorDeepShadow;
    o.offsetU = int32_t(MeanLevel(sc.histograms[ref][1])) - int32_t(MeanLevel(sc.histograms[bright][1]));
    o.offsetV = int32_t(MeanLevel(sc.histograms[ref][2])) - int32_t(MeanLevel(sc.histograms[bright][2]));
    const int64_t n = int64_t{sc.frameWidth} * sc.frameHeight / 64;

    // 1. Quantile levels.
    int32_t qd[17], qr[17], qb[17];
    ModelQuantiles(hd, n, qd);
    ModelQuantiles(hr, n, qr);
    ModelQuantiles(hb, n, qb);
    qd[0] = 0;
    for (int v = 255; v >= 0; --v)
        if (hd[v] != 0) qd[0] = v;
    int32_t f = -1;
    int64_t running = 0;
    for (int v = 0; v <= 254 && f < 0; ++v)
        if ((running += hb[v]) > n / 1000) f = v;
    qb[0] = f >= 5 ? f - 4 : 0;
    qr[0] = 0;
    int32_t hgh = 0;
    running = 0;
    for (int v = 255; v >= 0; --v)
        if ((running += hr[v]) > n / 1000) {
            hgh = v;
            break;
        }
    // 2. Scene class.
    const int32_t sd = qd[0] + qd[1] + qd[2] + qd[3] + qd[4];
    const int32_t sr = qr[0] + qr[1] + qr[2] + qr[3] + qr[4];
    const int32_t sb = qb[0] + qb[1] + qb[2] + qb[3] + qb[4];
    if (sd <= 24 && sr <= 54 && sb <= 239) {
        if (sb <= 63) o.sceneClass = 3;
        else if (qr[15] >= 251 && qb[12] >= 250 && qb[11] <= 250) o.sceneClass = 2;
        else o.sceneClass = 1;
    }
    // 3. Highlight flag.
    bool highlight = true;
    if (qr[15] > 223 || (hgh >= 252 && sd + sr >= 32 && qr[15] > 191)) highlight = false;
    o.darkLacksHighlights = qd[16] < 224;
    // 4. Near-black test.
    int k = 0;
    while (k <= 16 && !(qd[k] > k)) ++k;
    if (k < 13) {
        o.statsLevelFlag = 0;
    } else if (k <= 14) {
        o.statsLevelFlag = 1;
    } else {
        o.statsLevelFlag = 1;
        if (qd[15] < 32) highlight = true;
    }
    for (int k2 = 0; k2 <= 15; ++k2)
        if (qd[k2] >= 17 && qd[k2 + 1] - qd[k2] > 4) {
            if (k2 >= 14) o.statsLevelFlag = 1;
            break;
        }
    // 5, 6. Linear levels and normalized curves.
    for (int i = 0; i <= 16; ++i) {
        qd[i] = Expand(qd[i]);
        qr[i] = Expand(qr[i]);
        qb[i] = Expand(qb[i]);
    }
    int32_t nd[17], nr[17], nb[17];
    ModelNormalize(qd, false, nd);
    ModelNormalize(qr, false, nr);
    ModelNormalize(qb, true, nb);
    // 7. Deep shadows.
    if (o.sceneClass != 3 && Compress(nd[6]) <= 8) o.deepShadowFlag = n <= 250000 ? 2 : 1;
    // 8. High index.
    int32_t hi = 8;
    for (int i = 16; i >= 1; --i)
        if (qr[i] <= Expand(240)) {
            hi = i;
            break;
        }
    if (qr[hi] < Expand(192) && hi <= 13 && qr[hi + 1] < Expand(240)) ++hi;
    // 9. Low index.
    const int32_t u = n > 59999 ? Expand(192) : Expand(160);
    int32_t c = -1;
    for (int w = 1; w <= hi - 1; ++w) {
        bool found;
        if (o.sceneClass == 3 || o.deepShadowFlag > 0)
            found = ((nb[w] == 0 || uint32_t(nr[w]) * 1024u / uint32_t(nb[w]) >= 257) &&
                     qr[w] >= Expand(16)) ||
                    nb[w] >= u;
        else
            found = qr[w] >= Expand(64) || nb[w] >= u;
        if (found) {
            c = w;
            break;
        }
    }
    if (c > 0 && nb[c] >= 4095) --c;
    // 10 - 12.
    if (highlight) hi = 16;
    if (c == -1) c = std::min(hi - 1, 12);
    if (Compress(qb[0]) > 64 || (Compress(qr[1]) > 32 && sc.gainQ10[ref] <= 639)) {
        c = 0;
        if (qr[15] < Expand(192)) hi = 16;
    }
    // 13. Tone tables, darkest, reference, brightest.
    o.luts[dark] = ModelTable(qd, nr, 0);
    o.luts[ref] = ModelTable(qr, nr, 0);
    o.luts[bright] = ModelTable(qb, nr, 2);
    // 14.
    o.referenceValueShift = 0;
    o.valueShift = 2;
    // 15. Ramps (the low quantile index held at 0 or above, the shift of the deep-shadow ramp
    // at 1 or above).
    const int32_t g = std::max(o.sceneClass == 3 ? c - 1 : c, 0);
    const int32_t t0 = Compress(qr[hi]);
    int32_t *t = o.thresholds;
    t[0] = t0;
    t[1] = t0 - 16;
    t[2] = 16;
    if (o.deepShadowFlag == 2) {
        const int32_t q = Compress(qr[g]);
        int32_t l = 0;
        while (q > 1 && ((q - 1) >> l) != 0) ++l;
        l = std::max(l, 1);
        t[4] = q;
        t[3] = q - (1 << (l - 1));
        o.lowRampStep = 256 >> (l - 1);
        o.deepShadowFlag = 0;
    } else {
        t[3] = Compress(qr[g]);
        t[4] = t[3] + (o.sceneClass == 3 ? 64 : 32);
        o.lowRampStep = o.sceneClass == 3 ? 4 : 8;
        if (o.deepShadowFlag == 1 && o.sceneClass != 0) {
            t[1] = t0 - 32;
            t[2] = 8;
            t[3] = t[4] = Compress(qr[std::max(g - 2, 0)]);
        }
    }
    // 16. Reference table top.
    int32_t i = 16;
    for (int j = 16; j >= 1; --j)
        if (qr[j] <= 4094) {
            i = j;
            break;
        }
    const int32_t top = qr[i - 1] > Expand(248) ? i - 1 : i;
    if (qr[top] <= 4095 && (qr[top] > Expand(248) || (nr[top] < Expand(160) && hgh <= 247))) {
        std::vector<uint16_t> &table = o.luts[ref];
        const uint16_t value = table[std::max(qr[top] - 1, 0)];
        for (int32_t j = qr[top]; j < 4096; ++j) table[j] = value;
    }
    // 17. Overrides.
    if (highlight) t[0] = t[1] = std::max(Compress(nr[15]), 224);
    if (12 * sc.gainQ10[ref] > 10 * sc.gainQ10[dark] && sc.gainQ10[ref] > 768) t[0] = t[1] = 256;
    if (10 * sc.gainQ10[ref] < 12 * sc.gainQ10[bright]) t[3] = t[4] = 0;
    if (n <= 199999) {
        const int32_t y = std::abs(o.offsetU) + std::abs(o.offsetV);
        if ((y >= 16 && Compress(qr[1]) > 16) || (y >= 6 && Compress(qr[1]) >= 25)) {
            t[3] = t[4] = 0;
            o.offsetU = o.offsetV = 0;
        }
        if (o.sceneClass == 3) o.sceneClass = 1;
    }
    // 18.
    o.highIndex = hi;
    o.lowIndex = g;
    return o;
}

// ---- Random scenes.

// A scene as a histogram of log2 radiance over 512 bins from -12 to +4: a few bumps, now and
// then a block of deep black or of highlights. Each exposure sees it at its own gain through
// the 12-bit linear to 8-bit code table, so the three histograms stay consistent the way a
// real bracket's do. Their totals are the thumbnail's sample count, a little short of N.
void MakeScene(std::mt19937 &random, Scene &sc) {
    static const int32_t kSizes[][2] = {{640, 480},   {1000, 750},  {2000, 1500}, {2200, 1800},
                                        {3000, 4000}, {4000, 3000}, {4000, 4000}, {4096, 4000},
                                        {336, 200},   {1280, 720}};
    std::uniform_real_distribution<double> unit(0, 1);
    const auto &size = kSizes[random() % std::size(kSizes)];
    sc.frameWidth = size[0];
    sc.frameHeight = size[1];
    int32_t order[3] = {0, 1, 2};
    std::shuffle(order, order + 3, random);
    std::copy(order, order + 3, sc.order);
    sc.priorClass = random() % 4;
    sc.priorDeepShadow = random() % 3;

    std::vector<double> bins(512, 0.0);
    const int bumps = 1 + random() % 4;
    for (int b = 0; b < bumps; ++b) {
        const double centre = 512 * unit(random), width = 4 + 60 * unit(random);
        const double weight = unit(random);
        for (int i = 0; i < 512; ++i)
            bins[i] += weight * std::exp(-0.5 * std::pow((i - centre) / width, 2));
    }
    if (random() % 3 == 0) bins[random() % 40] += 4 * unit(random);       // deep black
    if (random() % 3 == 0) bins[480 + random() % 32] += 2 * unit(random);  // highlights
    double total = 0;
    for (double v : bins) total += v;

    // Exposure offsets in stops: darkest below the reference, brightest above.
    const double stops[3] = {-(0.5 + 4 * unit(random)), 0, 0.5 + 4 * unit(random)};
    const double referenceStop = -2 + 3 * unit(random);
    const int64_t samples = int64_t{sc.frameWidth / 16 * 2} * (sc.frameHeight / 16 * 2);
    for (int role = 0; role < 3; ++role) {
        const int32_t e = sc.order[role];
        int32_t *luma = sc.histograms[e][0];
        std::fill_n(luma, 256, 0);
        int64_t placed = 0;
        for (int i = 0; i < 512; ++i) {
            const double stop = -12 + 16.0 * i / 512 + stops[role] + referenceStop;
            const int64_t linear = std::clamp<int64_t>(std::llround(4095 * std::exp2(stop)), 0, 4095);
            const int64_t count = std::llround(samples * bins[i] / total);
            luma[Compress(linear)] += int32_t(count);
            placed += count;
        }
        luma[Compress(4095 * std::exp2(-12 + stops[role] + referenceStop))] +=
            int32_t(std::max<int64_t>(samples - placed, 0));
        // Chroma around grey, shifted per exposure.
        for (int ch = 1; ch <= 2; ++ch) {
            int32_t *h = sc.histograms[e][ch];
            std::fill_n(h, 256, 0);
            if (random() % 8 == 0) continue;  // empty: mean 0
            // Half the scenes keep the offsets small, where the chroma override's bounds lie.
            const int spread = random() % 2 ? 20 : 4;
            const int centre = 128 + int(random() % (2 * spread + 1)) - spread;
            h[centre] = int32_t(samples / 2);
            h[centre + int(random() % (spread + 1)) - spread / 2] += int32_t(samples - samples / 2);
        }
        // Gains in Q10 from the stops, the reference near 1024.
        const double referenceGain = 400 + 1600 * unit(random);
        sc.gainQ10[e] = int32_t(std::min(16384.0, referenceGain * std::exp2(-stops[role])));
    }
    // Now and then the gains sit close together, where the gain overrides fire.
    if (random() % 4 == 0) sc.gainQ10[sc.order[0]] = sc.gainQ10[sc.order[1]] + int(random() % 200);
    if (random() % 4 == 0) sc.gainQ10[sc.order[2]] = sc.gainQ10[sc.order[1]] - int(random() % 200);
}

Outputs RunEngine(const Scene &sc) {
    TestSession ts(sc.frameWidth, sc.frameHeight);
    HdrSession &s = *ts.get();
    s.darkIndex = sc.order[0];
    s.referenceIndex = sc.order[1];
    s.brightIndex = sc.order[2];
    s.sceneClass = sc.priorClass;
    s.deepShadowFlag = sc.priorDeepShadow;
    for (int e = 0; e < 3; ++e) {
        s.exposureGainQ10[e] = sc.gainQ10[e];
        for (int ch = 0; ch < 3; ++ch) std::copy_n(sc.histograms[e][ch], 256, ts.histograms[e][ch]);
    }
    EXPECT_EQ(ComputeExposureStatistics(0, &s), RESULT_OK);
    Outputs o{};
    std::copy_n(s.sceneThresholds, 5, o.thresholds);
    o.lowRampStep = s.lowRampStep;
    o.sceneClass = s.sceneClass;
    o.deepShadowFlag = s.deepShadowFlag;
    o.darkLacksHighlights = s.darkLacksHighlights;
    o.statsLevelFlag = s.statsLevelFlag;
    o.highIndex = s.highQuantileIndex;
    o.lowIndex = s.lowQuantileIndex;
    o.valueShift = s.valueShift;
    o.referenceValueShift = s.referenceValueShift;
    o.offsetU = s.refBrightChromaOffsetU;
    o.offsetV = s.refBrightChromaOffsetV;
    for (int e = 0; e < 3; ++e) o.luts[e] = ts.luts[e];
    return o;
}

TEST(ExposureStatisticsModelTest, WholeOutputsMatchThePlainModelOverRandomScenes) {
    std::mt19937 random(1123);
    int classes[4] = {}, deepShadowRamps = 0, levelFlags = 0, tablesFlattened = 0;
    for (int trial = 0; trial < 2000; ++trial) {
        Scene sc{};
        MakeScene(random, sc);
        const Outputs want = Model(sc);
        const Outputs got = RunEngine(sc);
        SCOPED_TRACE(::testing::Message() << "scene " << trial << " " << sc.frameWidth << "x"
                                          << sc.frameHeight);
        for (int i = 0; i < 5; ++i) ASSERT_EQ(got.thresholds[i], want.thresholds[i]) << i;
        ASSERT_EQ(got.lowRampStep, want.lowRampStep);
        ASSERT_EQ(got.sceneClass, want.sceneClass);
        ASSERT_EQ(got.deepShadowFlag, want.deepShadowFlag);
        ASSERT_EQ(got.darkLacksHighlights, want.darkLacksHighlights);
        ASSERT_EQ(got.statsLevelFlag, want.statsLevelFlag);
        ASSERT_EQ(got.highIndex, want.highIndex);
        ASSERT_EQ(got.lowIndex, want.lowIndex);
        ASSERT_EQ(got.valueShift, want.valueShift);
        ASSERT_EQ(got.referenceValueShift, want.referenceValueShift);
        ASSERT_EQ(got.offsetU, want.offsetU);
        ASSERT_EQ(got.offsetV, want.offsetV);
        for (int e = 0; e < 3; ++e) ASSERT_EQ(got.luts[e], want.luts[e]) << "table " << e;
        ++classes[want.sceneClass];
        deepShadowRamps += want.lowRampStep != 4 && want.lowRampStep != 8;
        levelFlags += want.statsLevelFlag;
        const std::vector<uint16_t> &r = want.luts[sc.order[1]];
        tablesFlattened += r[4095] == r[3000] && r[3000] != 0;
    }
    // The scenes reach every class and the rarer branches.
    for (int c = 0; c < 4; ++c) EXPECT_GT(classes[c], 0) << "class " << c;
    EXPECT_GT(deepShadowRamps, 0);
    EXPECT_GT(levelFlags, 0);
    EXPECT_GT(tablesFlattened, 0);
}

}  // namespace
