// Planar 4:2:2 kernels, refinement and fetches: the plain kernels are the packed ones with
// planar addressing; the chroma-gain kernels differ only in the chroma tail; the refinement
// keeps weakly coloured corrections and refines both ends of the overlap; the fetches take the
// chroma of the source row itself.
#include <gtest/gtest.h>

#include <random>

#include "core/session.h"
#include "fusion/fetch_planar.h"
#include "fusion/recovery_refine_planar.h"
#include "fusion/recovery_refine_planar422.h"
#include "fusion/span_normal_packed422.h"
#include "fusion/span_planar422.h"
#include "span_kernel_support.h"

namespace {

using fusion_test::KernelBench;
using fusion_test::kRowLength;

// A reference row in packed order and split into planes, a warp buffer, and outputs of both.
struct Rows {
    std::vector<uint8_t> packed = std::vector<uint8_t>(2 * kRowLength);
    std::vector<uint8_t> y = std::vector<uint8_t>(kRowLength);
    std::vector<uint8_t> u = std::vector<uint8_t>(kRowLength / 2), v = u;
    std::vector<uint8_t> warp = std::vector<uint8_t>(4 * kRowLength);
    std::vector<uint8_t> packedOut = std::vector<uint8_t>(2 * kRowLength);
    std::vector<uint8_t> outY = std::vector<uint8_t>(kRowLength);
    std::vector<uint8_t> outU = std::vector<uint8_t>(kRowLength / 2), outV = outU;

    explicit Rows(uint32_t seed) {
        std::mt19937 random(seed);
        for (auto *bytes : {&packed, &warp})
            for (uint8_t &b : *bytes) b = uint8_t(random());
        Split();
    }
    void Split() {
        for (int x = 0; x < kRowLength; ++x) y[x] = packed[2 * x];
        for (int p = 0; p < kRowLength / 2; ++p) {
            u[p] = packed[4 * p + 1];
            v[p] = packed[4 * p + 3];
        }
    }
    PlanarRowIn In() const { return {y.data(), u.data(), v.data()}; }
    PlanarRowOut Out() { return {outY.data(), outU.data(), outV.data()}; }
};

void Randomise(KernelBench &k, uint32_t seed) {
    std::mt19937 random(seed);
    auto fill = [&](std::vector<int16_t> &row, int lo, int hi) {
        std::uniform_int_distribution<int> d(lo, hi);
        for (int16_t &v : row) v = int16_t(d(random));
    };
    fill(k.weightReference, 0, 256);
    fill(k.weightDark, 0, 256);
    fill(k.weightBright, 0, 256);
    fill(k.mask, 0, 256);
    for (auto &row : k.offsets) fill(row, -60, 60);
    std::uniform_int_distribution<int> g(600, 2000);
    for (uint16_t &v : k.gain) v = uint16_t(g(random));
}

enum Kind { kBoth, kDark, kBright, kRefOnly };

void RunPacked(Kind kind, const Rows &in, const SpanTables &t, const SpanRows &rows,
               RunningWeights *w, uint8_t *out) {
    switch (kind) {
        case kBoth: return FuseSpanBothPacked422(0, kRowLength, in.packed.data(), in.warp.data(), t, rows, w, out);
        case kDark: return FuseSpanDarkPacked422(0, kRowLength, in.packed.data(), in.warp.data(), t, rows, w, out);
        case kBright:
            return FuseSpanBrightPacked422(0, kRowLength, in.packed.data(), in.warp.data(), t, rows, 256, w, out);
        default: return FuseSpanRefOnlyPacked422(0, kRowLength, in.packed.data(), t, rows, out);
    }
}

void RunPlanar(Kind kind, bool gain, Rows &in, const SpanTables &t, const SpanRows &rows,
               RunningWeights *w) {
    const PlanarRowIn ref = in.In();
    const PlanarRowOut out = in.Out();
    const uint8_t *warp = in.warp.data();
    switch (kind) {
        case kBoth:
            return (gain ? FuseSpanBothChromaGainPlanar422 : FuseSpanBothPlanar422)(0, kRowLength, ref, warp, t, rows, w, out);
        case kDark:
            return (gain ? FuseSpanDarkChromaGainPlanar422 : FuseSpanDarkPlanar422)(0, kRowLength, ref, warp, t, rows, w, out);
        case kBright:
            return (gain ? FuseSpanBrightChromaGainPlanar422 : FuseSpanBrightPlanar422)(0, kRowLength, ref, warp, t, rows, 256, w, out);
        default:
            return (gain ? FuseSpanRefOnlyChromaGainPlanar422 : FuseSpanRefOnlyPlanar422)(0, kRowLength, ref, t, rows, out);
    }
}

RunningWeights StartWeights(Kind kind) {
    return kind == kBoth ? RunningWeights{{9000, 7000, kFusionWeightOne - 16000}}
                         : RunningWeights{{12000, kFusionWeightOne - 12000, 0}};
}

// On random rows the plain kernels write the packed kernels' bytes in planar places and leave
// the same running weights; the chroma-gain kernels write the same luma and weights.
TEST(SpanPlanar422, PlainKernelsArePackedKernelsInPlanarPlaces) {
    for (Kind kind : {kBoth, kDark, kBright, kRefOnly})
        for (uint32_t seed = 1; seed <= 6; ++seed) {
            SCOPED_TRACE(testing::Message() << "kind " << kind << " seed " << seed);
            KernelBench k;
            Randomise(k, seed);
            Rows in(seed * 11);
            const SpanTables t = k.Tables(false);
            RunningWeights packedW = StartWeights(kind), planarW = packedW, gainW = packedW;
            RunPacked(kind, in, t, k.Rows(), &packedW, in.packedOut.data());
            RunPlanar(kind, false, in, t, k.Rows(), &planarW);
            for (int x = 0; x < kRowLength; ++x) ASSERT_EQ(in.outY[x], in.packedOut[2 * x]) << x;
            for (int p = 0; p < kRowLength / 2; ++p) {
                ASSERT_EQ(in.outU[p], in.packedOut[4 * p + 1]) << p;
                ASSERT_EQ(in.outV[p], in.packedOut[4 * p + 3]) << p;
            }
            const std::vector<uint8_t> plainY = in.outY;
            RunPlanar(kind, true, in, t, k.Rows(), &gainW);
            EXPECT_EQ(in.outY, plainY);
            for (int i = 0; i < 3; ++i) {
                EXPECT_EQ(planarW.w[i], packedW.w[i]);
                EXPECT_EQ(gainW.w[i], packedW.w[i]);
            }
        }
}

// The chroma step: a neutral blend stays at index 2048 whatever the luma; U 136 (d = 512) at
// Yo = 0 has F = 4448 and lands on 2604, above the 2176 of the plain kernels; U 192 passes
// the range and reads entry 4095; a large negative deviation reads entry 0.
TEST(SpanPlanar422, ChromaGainIndexFigures) {
    for (int yo : {0, 1, 128, 254, 255}) {
        EXPECT_EQ(ChromaGainIndex(128 * 64, yo, true), 2048) << yo;
        EXPECT_EQ(ChromaGainIndex(128 * 64, yo, false), 2048) << yo;
    }
    EXPECT_EQ(ChromaGainIndex(136 * 64, 0, true), (((512 * 4448) >> 10) + 8192) >> 2);
    EXPECT_EQ(ChromaGainIndex(136 * 64, 0, true), 2604);
    EXPECT_GT(ChromaGainIndex(136 * 64, 0, true), 136 * 16);
    // V: F = ((4096 * 400) >> 10) + 2048 = 3648.
    EXPECT_EQ(ChromaGainIndex(136 * 64, 0, false), (((512 * 3648) >> 10) + 8192) >> 2);
    // Yo = 255: n = 2056, F = 3252 for U.
    EXPECT_EQ(ChromaGainIndex(136 * 64, 255, true), (((512 * 3252) >> 10) + 8192) >> 2);
    EXPECT_EQ(ChromaGainIndex(192 * 64, 0, true), 4095);
    EXPECT_EQ(ChromaGainIndex(40 * 64, 0, true), 0);
    EXPECT_EQ(ChromaGainIndex(0, 255, false), 0);
}

// The chroma-gain kernels on rows where the weights are known: the weights fall from the
// carried ones to 0 in the first group (pair 0 takes pixel 1's ramped weight, pair 1 the
// group's own), then the reference alone; its chroma after the masked highlight recovery.
TEST(SpanPlanar422, ChromaGainKernelsBlendOnA64xScale) {
    for (Kind kind : {kBoth, kDark, kBright, kRefOnly}) {
        SCOPED_TRACE(kind);
        KernelBench k;
        k.weightDark.assign(kRowLength, 0);
        k.weightBright.assign(kRowLength, 0);
        k.mask.assign(kRowLength, 255);
        k.offsets[2].assign(kRowLength, 20);   // highlight U
        k.offsets[3].assign(kRowLength, -30);  // highlight V
        Rows in(5);
        for (int x = 0; x < kRowLength; ++x) in.packed[2 * x] = uint8_t(x < 32 ? 100 : 240);
        in.Split();
        RunningWeights w = kind == kBoth ? RunningWeights{{8192, 8192, 16384}}
                                         : RunningWeights{{16384, 16384, 0}};
        RunPlanar(kind, true, in, k.Tables(false), k.Rows(), &w);
        for (int x = 0; x < kRowLength; x += 2) {
            const int p = x / 2;
            // The reference's chroma, recovered where its luma is above 224 (the bright kernel
            // never recovers chroma).
            const bool recovered = in.y[x] > 224 && kind != kBright;
            const int refU = std::clamp(in.u[p] + (recovered ? 20 : 0), 0, 255);
            const int refV = std::clamp(in.v[p] + (recovered ? -30 : 0), 0, 255);
            int u64 = 64 * refU, v64 = 64 * refV;
            if (x == 0 && kind != kRefOnly) {
                // Pair 0 of the first group: half the carried weight of each secondary.
                // One secondary: its quad first; both: the dark quad, then the bright one.
                const uint8_t *quad = in.warp.data(), *bright = in.warp.data() + 8;
                if (kind == kBoth) {
                    const uint8_t *dark = quad;
                    u64 = (4096 * dark[1] + 4096 * bright[1] + 24576 * refU) >> 9;
                    v64 = (4096 * dark[3] + 4096 * bright[3] + 24576 * refV) >> 9;
                } else {
                    u64 = (8192 * quad[1] + 24576 * refU) >> 9;
                    v64 = (8192 * quad[3] + 24576 * refV) >> 9;
                }
            }
            EXPECT_EQ(in.outU[p], k.chroma[ChromaGainIndex(u64, in.outY[x], true)]) << x;
            EXPECT_EQ(in.outV[p], k.chroma[ChromaGainIndex(v64, in.outY[x], false)]) << x;
        }
    }
}

// --- Refinement ---------------------------------------------------------------------------------

struct RefineRows {
    static constexpr int kWidth = 32, kTop = 10, kHeight = 20;
    HdrSession session = {};
    std::vector<uint8_t> darkY = std::vector<uint8_t>(kWidth, 100);
    std::vector<uint8_t> darkU = std::vector<uint8_t>(kWidth / 2, 128), darkV = darkU;
    std::vector<uint8_t> refU = std::vector<uint8_t>(kWidth / 2, 148), refV = darkU;  // t = 20
    std::vector<int16_t> mask = std::vector<int16_t>(kWidth, 256);
    std::vector<int16_t> luma = std::vector<int16_t>(kWidth, 160);
    std::vector<int16_t> u = std::vector<int16_t>(kWidth, 64), v = std::vector<int16_t>(kWidth, -64);
    RefineRows() {
        session.overlapRect = {0, kTop, kWidth, kHeight};
        session.processRect = {0, 0, kWidth, 100};
        session.globalShift[1] = 6;  // the window does not follow the shift
    }
    void Run422(int y) {
        RefineRecoveryOffsetsRowPlanar422(&session, mask.data(), y, darkY.data(), darkU.data(),
                                          darkV.data(), refU.data(), refV.data(), luma.data(),
                                          u.data(), v.data());
    }
    void Run420(int y) {
        RefineRecoveryOffsetsRowPlanar420(&session, mask.data(), y, darkY.data(), darkU.data(),
                                          darkV.data(), refU.data(), refV.data(), luma.data(),
                                          u.data(), v.data());
    }
};

// The chroma factor by the reference's distance t and the dark exposure's u from neutral,
// beside planar 4:2:0's (which drops corrections over weakly coloured highlights).
TEST(RecoveryRefinePlanar422, KeepsCorrectionsOverWeaklyColouredHighlights) {
    struct Case {
        int t, u;
        int want422, want420;  // from 64
    };
    const Case cases[] = {
        {20, 0, 64, 0},          {8, 0, 64, 0},   {32, 0, 64, 0},  {4, 40, 64, 0},
        {4, 16, (64 * 8) >> 4, (64 * 8) >> 4},    {48, 0, 32, 32}, {33, 0, 62, 62},
        {64, 0, 0, 0},           {65, 0, 0, 0},   {0, 31, (64 * 7) >> 4, (64 * 7) >> 4},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "t " << c.t << " u " << c.u);
        for (bool planar422 : {true, false}) {
            RefineRows r;
            r.session.globalShift[1] = 0;
            r.refU[4] = uint8_t(128 + c.t / 2);
            r.refV[4] = uint8_t(128 - (c.t - c.t / 2));
            r.darkU[4] = uint8_t(128 - c.u / 2);
            r.darkV[4] = uint8_t(128 + (c.u - c.u / 2));
            planar422 ? r.Run422(15) : r.Run420(15);
            const int want = planar422 ? c.want422 : c.want420;
            EXPECT_EQ(r.u[8], want);
            EXPECT_EQ(r.v[8], -want);
            EXPECT_EQ(r.u[10], want);  // the group's second pair takes the first pair's factor
            EXPECT_EQ(r.u[9], 64);     // between the pairs: untouched
        }
    }
}

TEST(RecoveryRefinePlanar422, RefinesRowsFromTheOverlapTopToTopPlusHeight) {
    for (int y : {RefineRows::kTop - 1, RefineRows::kTop, RefineRows::kTop + RefineRows::kHeight,
                  RefineRows::kTop + RefineRows::kHeight + 1}) {
        RefineRows r;
        r.darkY[13] = 250;  // luma near clipping: the luma offset fades
        r.refU[6] = 200;    // strongly coloured: the chroma correction goes
        r.Run422(y);
        const bool inside = y >= RefineRows::kTop && y <= RefineRows::kTop + RefineRows::kHeight;
        EXPECT_EQ(r.luma[13], inside ? (160 * 6) >> 4 : 160) << y;
        EXPECT_EQ(r.luma[12], 160) << y;
        EXPECT_EQ(r.u[12], inside ? 0 : 64) << y;
        EXPECT_EQ(r.u[8], 64) << y;  // a weakly coloured group keeps its correction
    }
}

TEST(RecoveryRefinePlanar422, MaskGatesAndScales) {
    RefineRows r;
    r.mask[0] = 0;
    r.mask[4] = 128;
    r.darkY[0] = r.darkY[5] = 255;
    r.Run422(RefineRows::kTop);
    EXPECT_EQ(r.luma[0], 160);  // mask 0: nothing
    EXPECT_EQ(r.u[0], 64);
    EXPECT_EQ(r.luma[5], (160 * 1) >> 4);
    EXPECT_EQ(r.u[4], 32);  // kept, then scaled by the mask
}

// --- Fetches ------------------------------------------------------------------------------------

struct Planes422 {
    static constexpr int kWidth = 32, kHeight = 12;
    std::vector<uint8_t> y = std::vector<uint8_t>(kWidth * kHeight);
    std::vector<uint8_t> u = std::vector<uint8_t>(kWidth / 2 * kHeight), v = u;
    Planes422() {
        for (int r = 0; r < kHeight; ++r) {
            for (int x = 0; x < kWidth; ++x) y[r * kWidth + x] = uint8_t(10 * r + x);
            for (int q = 0; q < kWidth / 2; ++q) {
                u[r * kWidth / 2 + q] = uint8_t(100 + 8 * r + q);
                v[r * kWidth / 2 + q] = uint8_t(30 + 9 * r + q);
            }
        }
    }
    YuvPlanes Source() const { return {{y.data(), u.data(), v.data()}, {kWidth, kWidth / 2, kWidth / 2}}; }
    int U(int row, int q) const { return u[row * kWidth / 2 + q]; }
    int V(int row, int q) const { return v[row * kWidth / 2 + q]; }
};

// Whole-pixel: a source row past the bottom is clamped and its own chroma taken (both pairs
// from the source column on a clamped group); inside, the pairs at and after the column.
TEST(FetchPlanar422, ChromaOfTheClampedSourceRow) {
    const Planes422 p;
    constexpr int W = Planes422::kWidth, H = Planes422::kHeight;
    const ReferenceLuma ref = {p.y.data(), 1, W};
    std::vector<uint8_t> quads(16 * 4);
    // Output row H - 2 with the source 3 rows lower: clamped to row H - 1.
    FetchShiftedPlanar422(nullptr, W, H, 0, -3 * 65536, 0, 0, 8, H - 2, 16, p.Source(), &ref,
                          quads.data());
    for (int g = 0; g < 2; ++g) {
        const int q = (8 + 4 * g) >> 1;
        EXPECT_EQ(quads[16 * g + 1], p.U(H - 1, q));
        EXPECT_EQ(quads[16 * g + 3], p.V(H - 1, q));
        EXPECT_EQ(quads[16 * g + 5], p.U(H - 1, q));
        EXPECT_EQ(quads[16 * g + 7], p.V(H - 1, q));
    }
    // Inside: row 5 moved by 2 columns.
    FetchShiftedPlanar422(nullptr, W, H, 2 * 65536, 0, 0, 0, 8, 5, 12, p.Source(), &ref,
                          quads.data());
    EXPECT_EQ(quads[0], p.y[5 * W + 6]);
    EXPECT_EQ(quads[1], p.U(5, 3));
    EXPECT_EQ(quads[3], p.V(5, 3));
    EXPECT_EQ(quads[5], p.U(5, 4));
    EXPECT_EQ(quads[7], p.V(5, 4));
}

// 1/16-pixel: the upper source row is held to H - 2; the chroma comes from that row (planar
// 4:2:0 would read half of it).
TEST(FetchPlanar422, SubpelChromaOfTheUpperSourceRow) {
    const Planes422 p;
    constexpr int W = Planes422::kWidth, H = Planes422::kHeight;
    std::vector<uint8_t> quads(16);
    for (int r : {3, H - 1}) {
        FetchSubpelPlanar422(nullptr, W, H, 8 * 4096, 0, 0, 0, 8, r, 12, p.Source(), quads.data());
        const int row = std::min(r, H - 2), col = (16 * 8 - 8) >> 4;
        EXPECT_EQ(quads[1], p.U(row, col >> 1)) << r;
        EXPECT_EQ(quads[3], p.V(row, col >> 1)) << r;
        EXPECT_EQ(quads[5], p.U(row, (col >> 1) + 1)) << r;
        EXPECT_EQ(quads[7], p.V(row, (col >> 1) + 1)) << r;
    }
}

}  // namespace
