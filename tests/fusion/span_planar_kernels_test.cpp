// The SSE2 and AVX2 span kernels of the planar and semi-planar formats against their plain
// references, bit for bit: random codes, weights, offsets, masks and gains (with extremes that push every
// clamp and the hand-over to the plain kernel), every layout and span type, even and odd rows
// (local-curve mode), with and without the second chroma table (normal mode), every start
// group, odd span lengths, value shifts, luma-only outputs and the carried weights.
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

#include "core/kernel_tiers.h"
#include "fusion/span_kernel_support.h"
#include "fusion/span_planar_kernels.h"

namespace {

using fusion_test::KernelBench;
using fusion_test::kRowLength;
using fusion_test::RandomiseLocalCurve;

// Normal mode's rows: masks (none, the least, full, and beyond), shadow and highlight offsets.
void RandomiseNormal(KernelBench &k, std::mt19937 &rng) {
    std::uniform_int_distribution<int> offset(-300, 300), mask(-20, 300), pick(0, 9);
    const int16_t masks[] = {0, 1, 256};
    for (int16_t &e : k.mask) e = int16_t(pick(rng) < 4 ? masks[pick(rng) % 3] : mask(rng));
    for (auto &row : k.offsets)
        for (int16_t &v : row) v = int16_t(offset(rng));
}

// One row of a layout: luma, then U and V planes (planar 4:2:0) or the interleaved chroma in u.
struct Planes {
    std::vector<uint8_t> y, u, v;
    Planes(ChromaLayout layout, uint8_t fill)
        : y(kRowLength + 8, fill),
          u(layout == ChromaLayout::kPlanar420 ? kRowLength / 2 + 4 : kRowLength + 8, fill),
          v(layout == ChromaLayout::kPlanar420 ? kRowLength / 2 + 4 : 0, fill) {}
    bool operator==(const Planes &) const = default;
    int32_t ChromaAt(ChromaLayout layout, int32_t x) const {
        return layout == ChromaLayout::kPlanar420 ? x / 2 : x;
    }
    PlanarRowIn In(ChromaLayout layout, int32_t x) const {
        const int32_t c = ChromaAt(layout, x);
        return {y.data() + x, u.data() + c, v.empty() ? nullptr : v.data() + c};
    }
    PlanarRowOut Out(ChromaLayout layout, int32_t x, bool lumaOnly) {
        const int32_t c = ChromaAt(layout, x);
        if (lumaOnly) return {y.data() + x, nullptr, nullptr};
        return {y.data() + x, u.data() + c, v.empty() ? nullptr : v.data() + c};
    }
};

using Kernel = void (*)(ChromaLayout, PlanarSpanType, int32_t, int32_t, int32_t,
                        const PlanarRowIn &, const uint8_t *, const SpanTables &,
                        const SpanRows &, RunningWeights *, const PlanarRowOut &);

TEST(SpanPlanarKernels, MatchesThePlainKernels) {
    struct Case {
        const char *name;
        Kernel fast;
    };
    std::vector<Case> kernels = {{"sse2", FuseSpanLocalCurvePlanar_SSE2}};
    // The AVX2 kernels run wherever this processor has AVX2, whatever the environment asks.
    if (ProcessorHasAvx2()) kernels.push_back({"avx2", FuseSpanLocalCurvePlanar_AVX2});
    const ChromaLayout layouts[] = {ChromaLayout::kPlanar420, ChromaLayout::kSemiPlanar420,
                                    ChromaLayout::kSemiPlanar422};
    const PlanarSpanType types[] = {kPlanarSpanBoth, kPlanarSpanDark, kPlanarSpanBright,
                                    kPlanarSpanReference};
    std::mt19937 rng(420);
    std::uniform_int_distribution<int> byte(0, 255), carried(0, kFusionWeightOne / 2);
    for (int trial = 0; trial < 16; ++trial) {
        KernelBench k;
        RandomiseLocalCurve(k, rng, trial >= 12);
        std::vector<uint8_t> warp(4 * kRowLength);
        for (uint8_t &b : warp) b = uint8_t(byte(rng));
        for (const ChromaLayout layout : layouts) {
            Planes ref(layout, 0);
            for (auto *plane : {&ref.y, &ref.u, &ref.v})
                for (uint8_t &b : *plane) b = uint8_t(byte(rng));
            for (const Case &kernel : kernels)
            for (const PlanarSpanType type : types)
                for (const int r : {0, 1})
                    for (const int shift : {0, 2, 3, 9})
                        for (int x0 = 0; x0 < kRowLength; x0 += 4)
                            for (const int groups : {0, 1, 3, 4, 16}) {
                                const int x1 = std::min(kRowLength, x0 + 4 * groups);
                                const bool lumaOnly = groups == 3 && r == 0;
                                SpanTables tables = k.Tables(true);
                                tables.valueShift = shift;
                                const int w0 = carried(rng), w1 = carried(rng);
                                RunningWeights plainWeights = {{w0, w1, kFusionWeightOne - w0 - w1}};
                                RunningWeights fastWeights = plainWeights;
                                Planes plain(layout, 0xA5), fast(layout, 0xA5);
                                FuseSpanLocalCurvePlanar_C(layout, type, x0, x1, r,
                                                           ref.In(layout, x0), warp.data() + 4 * x0,
                                                           tables, k.Rows(), &plainWeights,
                                                           plain.Out(layout, x0, lumaOnly));
                                kernel.fast(
                                    layout, type, x0, x1, r, ref.In(layout, x0),
                                    warp.data() + 4 * x0, tables, k.Rows(), &fastWeights,
                                    fast.Out(layout, x0, lumaOnly));
                                ASSERT_TRUE(plain == fast)
                                    << kernel.name << " " << int(layout) << " type " << type
                                    << " row " << r << " trial "
                                    << trial << " x " << x0 << ".." << x1 << " shift " << shift;
                                for (int e = 0; e < 3; ++e)
                                    ASSERT_EQ(plainWeights.w[e], fastWeights.w[e])
                                        << int(layout) << " type " << type << " weight " << e;
                            }
        }
    }
}

TEST(SpanPlanarKernels, NormalAvx2MatchesThePlainKernels) {
    if (!ProcessorHasAvx2()) GTEST_SKIP() << "no AVX2 on this processor";
    const ChromaLayout layouts[] = {ChromaLayout::kPlanar420, ChromaLayout::kSemiPlanar420,
                                    ChromaLayout::kSemiPlanar422};
    const PlanarSpanType types[] = {kPlanarSpanBoth, kPlanarSpanDark, kPlanarSpanBright,
                                    kPlanarSpanReference};
    std::array<uint8_t, 4096> second{};
    for (int i = 0; i < 4096; ++i) second[i] = uint8_t(i >> 5);
    std::mt19937 rng(422);
    std::uniform_int_distribution<int> byte(0, 255), carried(0, kFusionWeightOne / 2);
    for (int trial = 0; trial < 12; ++trial) {
        KernelBench k;
        RandomiseLocalCurve(k, rng, trial >= 9);
        RandomiseNormal(k, rng);
        std::vector<uint8_t> warp(4 * kRowLength);
        for (uint8_t &b : warp) b = uint8_t(byte(rng));
        for (const ChromaLayout layout : layouts) {
            Planes ref(layout, 0);
            for (auto *plane : {&ref.y, &ref.u, &ref.v})
                for (uint8_t &b : *plane) b = uint8_t(byte(rng));
            for (const PlanarSpanType type : types)
                for (const uint8_t *table2 : {static_cast<const uint8_t *>(nullptr),
                                              static_cast<const uint8_t *>(second.data())})
                    for (const int shift : {0, 2, 9})
                        for (int x0 = 0; x0 < kRowLength; x0 += 4)
                            for (const int groups : {0, 1, 3, 4, 16}) {
                                const int x1 = std::min(kRowLength, x0 + 4 * groups);
                                const bool lumaOnly = groups == 3 && table2 == nullptr;
                                SpanTables tables = k.Tables(false);
                                tables.valueShift = shift;
                                const int w0 = carried(rng), w1 = carried(rng);
                                RunningWeights plainWeights = {{w0, w1, kFusionWeightOne - w0 - w1}};
                                RunningWeights fastWeights = plainWeights;
                                Planes plain(layout, 0xA5), fast(layout, 0xA5);
                                const int32_t segment = trial % 2 ? 0 : kFusionBrightSegment;
                                FuseSpanNormalPlanar_C(layout, type, x0, x1, ref.In(layout, x0),
                                                       warp.data() + 4 * x0, tables, table2,
                                                       k.Rows(), segment, &plainWeights,
                                                       plain.Out(layout, x0, lumaOnly));
                                FuseSpanNormalPlanar_AVX2(layout, type, x0, x1,
                                                          ref.In(layout, x0), warp.data() + 4 * x0,
                                                          tables, table2, k.Rows(), segment,
                                                          &fastWeights,
                                                          fast.Out(layout, x0, lumaOnly));
                                ASSERT_TRUE(plain == fast)
                                    << int(layout) << " type " << type << " table2 "
                                    << (table2 != nullptr) << " trial " << trial << " x " << x0
                                    << ".." << x1 << " shift " << shift;
                                for (int e = 0; e < 3; ++e)
                                    ASSERT_EQ(plainWeights.w[e], fastWeights.w[e])
                                        << int(layout) << " type " << type << " weight " << e;
                            }
        }
    }
}

}  // namespace
